#include "play/cli/play_file.h"

#include "play/cli/input_file.h"
#include "play/engine.h"
#include "play/perform/exit_status.h"
#include "play/perform/opened_controllers.h"
#include "play/perform/play_session.h"
#include "play/report/music_listing.h"
#include "play/report/progress_line.h"
#include "play/report/schedule_text.h"
#include "play/report/wording.h"
#include "play/report/timing_lines.h"
#include "platform/terminal.h"
#include "rumble/tone_tables.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

namespace {

// Says what the engine refused; false, for the reader to return.
bool Say(const MusicError& error)
{
    std::fprintf(stderr, "%s%s\n", error.AboutTheRun ? "tavrel-play: " : "", error.Text.c_str());
    return false;
}

bool SayAboutRun(const std::string& text) { return Say(MusicError{text, true}); }

// The MIDI choices refused for a file of another kind.
bool RefuseMidiChoices(const std::string& name, const char* kind)
{
    return SayAboutRun("--tracks, --channels, --transpose and --tempo are for MIDI files; " + name + " is " + kind);
}

// How a file is named in messages.
std::string ShownName(const std::string& path) { return path == "-" ? "standard input" : path; }

bool ReadSound(const Options& options, const std::string& name, const std::string& firstBytes, Music* music)
{
    SoundSource source;
    std::string failure;
    if (!OpenSoundSource(options.File, firstBytes, &source, &failure)) return Say(MusicError{name + ": " + failure});
    const bool showProgress = !options.Quiet && IsOutputTerminal();
    ProgressLine line(stdout, 0);
    MusicError error;
    const bool analysed = ArrangeSound(
        source, name, options.Choices,
        [&](double share) {
            if (showProgress) line.ShowShare("Analysing " + name, share);
        },
        music, &error);
    line.Finish();
    return analysed || Say(error);
}

// Reads, checks and arranges FILE. False with a message and nothing else done.
bool ReadMusic(const Options& options, const std::string& name, Music* music)
{
    const NoteChoice& choice = options.Choices.Choice;
    const bool choosing = !options.Choices.Tracks.empty() || !choice.Channels.empty() || choice.Transpose != 0 ||
                          choice.TempoPercent != NoteChoice{}.TempoPercent;
    // Sound is read as it comes, not whole.
    std::string first;
    if (PeekInputFile(options.File, SoundSignatureBytes, &first) && LooksLikeSound(first)) {
        if (choosing) return RefuseMidiChoices(name, "sound");
        return ReadSound(options, name, first, music);
    }
    std::string bytes;
    std::string failure;
    if (!ReadInputFile(options.File, &bytes, &failure)) return SayAboutRun(failure);
    MusicBytes told;
    MusicFile file;
    MusicError error;
    if (!TellMusicFormat(std::move(bytes), name, &told, &error)) return Say(error);
    if (choosing && told.Format == MusicFormat::RumbleFile) return RefuseMidiChoices(name, "a rumble file");
    if (choosing && told.Format == MusicFormat::Tune) return RefuseMidiChoices(name, "text");
    if (!ReadMusicFile(told, name, &file, &error) || !ArrangeMusic(std::move(file), name, options.Choices, music, &error))
        return Say(error);
    return true;
}

// Reads the --left and --right rumble files (with FILE, a rumble file too, on the other side).
// False with a message.
bool ReadSideFiles(const Options& options, const std::string& name, Music* music)
{
    if (!options.File.empty() && !IsStreamed(*music))
        return SayAboutRun("--left and --right play rumble files beside a rumble file; " + name + " is not one");
    for (const RumbleSide side : {LeftSide, RightSide}) {
        const std::string& path = options.SideFiles[side];
        if (path.empty()) continue;
        std::string bytes;
        std::string failure;
        if (!ReadInputFile(path, &bytes, &failure)) return SayAboutRun(failure);
        const std::string sideName = ShownName(path);
        if (!LooksLikeRumbleFile(bytes))
            return SayAboutRun(std::string(side == LeftSide ? "--left" : "--right") +
                               " takes a rumble file (.bnvib, .jcvib); " + sideName + " is not one");
        RumbleStream stream;
        MusicError error;
        if (!ReadRumbleFile(bytes, sideName, &stream, &error)) return Say(error);
        PutRumbleFileOnSide(std::move(stream), sideName, side, music);
    }
    return true;
}

// The controllers a listing or schedule is for: those named, else those connected, else one
// right Joy-Con (and a listing says so).
std::vector<const ControllerKind*> ControllersToList(const Options& options, bool lookForConnected)
{
    std::vector<const ControllerKind*> kinds;
    for (const std::string& option : options.Controllers) kinds.push_back(&KindNamed(option));
    if (kinds.empty() && lookForConnected) {
        std::vector<OpenedController> opened;
        if (OpenControllers({}, DefaultMinIntervalUs, &opened)) kinds = KindsOf(opened);
        CloseControllers(opened);
    }
    if (kinds.empty()) {
        if (lookForConnected) std::printf("no controller connected: listed as for one %s\n", ControllerKinds[0].Name);
        kinds.push_back(&ControllerKinds[0]);
    }
    return kinds;
}

// Writes what would be played as a .bnvib; needs no controller.
int WriteBnvibFile(const Options& options, const Music& music)
{
    const std::string bytes =
        FormBnvib(PlanFirstActuatorStream(options.Choices, music, ControllersToList(options, false)));
    std::ofstream out(options.WriteBnvib, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "tavrel-play: %s: %s\n", options.WriteBnvib.c_str(), std::strerror(errno));
        return ExitBadInput;
    }
    return ExitPlayed;
}

// "Playing NAME on the right Joy-Con (0:12.000)." and any notes dropped.
void SayPlaying(const Options& options, const Music& music, const std::string& name, const Performance& performance,
                long long lengthUs)
{
    std::string length = FormatPlayTime(lengthUs);
    if (options.Choices.StartUs > 0) length += " from " + FormatPlayTime(options.Choices.StartUs);
    if (music.Passes == 0) length += music.Parts.OwnLoop ? ", its loop until interrupted" : " each time, until interrupted";
    if (music.Passes > 1) length += ", " + std::to_string(music.Passes) + " times";
    std::printf("Playing %s on %s (%s).\n", name.c_str(), NamesOf(performance.Kinds).c_str(), length.c_str());
    if (music.Kind == MusicKind::Midi && performance.Voices.Dropped > 0)
        std::printf("%s dropped: more at once than there are bands (see --list).\n",
                    CountOf(performance.Voices.Dropped, "note").c_str());
    std::fflush(stdout);
}

int Play(const Options& options, const Music& music, const std::string& name)
{
    Performance performance;
    PerformTiming timing;
    SessionSteps steps;
    steps.Prepare = [&](const std::vector<OpenedController>& opened) {
        performance = PlanPerformance(options.Choices, music, KindsOf(opened));
        return true;
    };
    steps.Perform = [&](std::vector<OpenedController>& opened) {
        long long lengthUs = 0;
        std::vector<PerformedController> performed;
        for (std::size_t c = 0; c < opened.size(); ++c) {
            performed.push_back(PerformedController{&opened[c].Connection, &performance.Schedules[c]});
            lengthUs = std::max(lengthUs, performance.Schedules[c].LengthUs);
        }
        if (!options.Quiet) SayPlaying(options, music, name, performance, lengthUs);
        const bool showProgress = !options.Quiet && IsOutputTerminal();
        ProgressLine line(stdout, lengthUs, music.Passes);
        SessionResult result;
        const PerformOutcome outcome = PerformSchedules(
            performed,
            [&](long long playedUs) {
                if (showProgress) line.Show(playedUs);
            },
            options.Timing ? &timing : nullptr, &result.Lost, music.Passes);
        line.Finish();
        result.Outcome = outcome == PerformOutcome::Played        ? SessionOutcome::Played
                         : outcome == PerformOutcome::Interrupted ? SessionOutcome::Interrupted
                                                                  : SessionOutcome::ControllerLost;
        return result;
    };
    steps.Report = [&](const SessionResult&) {
        if (options.Timing) PrintPlayTiming(stderr, timing);
    };
    return RunPlaySession(options.Controllers, options.Choices.MinIntervalUs, steps);
}

}  // namespace

int PlayFile(const Options& options)
{
    std::string name = ShownName(options.File);
    const bool sides = !options.SideFiles[LeftSide].empty() || !options.SideFiles[RightSide].empty();
    BuildToneTables();
    Music music;
    if (!options.File.empty() && !ReadMusic(options, name, &music)) return ExitBadInput;
    if (sides && !ReadSideFiles(options, name, &music)) return ExitBadInput;
    if (options.File.empty()) {
        const std::string* names = music.Parts.Names;
        name = names[LeftSide].empty() || names[RightSide].empty() ? names[LeftSide] + names[RightSide]
                                                                    : names[LeftSide] + " and " + names[RightSide];
    }
    const long long lengthUs = MusicLengthUs(music);
    if (options.Choices.StartUs > 0 && options.Choices.StartUs >= lengthUs) {
        SayAboutRun("--start " + options.Start + " is not before the end of " + name + " (" + FormatPlayTime(lengthUs) + ")");
        return ExitBadInput;
    }
    MusicError error;
    if (!PrepareMusic(options.Choices, &music, &error)) {
        Say(error);
        return ExitBadInput;
    }
    if (!options.WriteBnvib.empty()) return WriteBnvibFile(options, music);
    if (options.PrintSchedule) {
        PrintSchedules(stdout, PlanPerformance(options.Choices, music, ControllersToList(options, false)));
        return ExitPlayed;
    }
    if (options.List) {
        PrintMusicListing(stdout, name, music, PlanPerformance(options.Choices, music, ControllersToList(options, true)));
        return ExitPlayed;
    }
    return Play(options, music, name);
}
