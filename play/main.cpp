// tavrel-play: plays a tune written in the play-data language, or a MIDI file, on the rumble of
// every controller connected.
#include "controller/session.h"
#include "play/controller_kinds.h"
#include "play/exit_status.h"
#include "play/input_file.h"
#include "play/opened_controllers.h"
#include "play/listing.h"
#include "play/live/live_play.h"
#include "play/live/live_voices.h"
#include "play/midi_listing.h"
#include "play/midi_reader.h"
#include "play/note_selection.h"
#include "play/performer.h"
#include "play/piece_samples.h"
#include "play/piece_start.h"
#include "play/progress_line.h"
#include "play/readers/bnvib_reader.h"
#include "play/riff_midi.h"
#include "play/schedule.h"
#include "play/rumble_parts.h"
#include "play/sound/sound_listing.h"
#include "play/sound/sound_rumble.h"
#include "play/sound/sound_source.h"
#include "play/stream_listing.h"
#include "play/stream_schedule.h"
#include "play/text_reader.h"
#include "play/time_units.h"
#include "play/timing_figures.h"
#include "play/voice_allocation.h"
#include "play/voice_builder.h"
#include "platform/interrupt.h"
#include "platform/console_message.h"
#include "platform/sleep.h"
#include "platform/terminal.h"
#include "tavrel_version.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <limits>
#include <string>
#include <utility>

namespace {

constexpr int MinIntervalLowestMs = 8;
constexpr int MinIntervalHighestMs = 100;
constexpr int VolumeHighestPercent = 400;

struct Options {
    std::string File;
    std::string SideFiles[SideCount];  // --left and --right
    std::vector<std::string> Controllers;  // empty: every one connected
    bool List = false;
    bool PrintSchedule = false;
    bool Quiet = false;
    bool Timing = false;
    int VolumePercent = 100;
    int MinIntervalMs = static_cast<int>(DefaultMinIntervalUs / MicrosecondsPerMillisecond);
    std::vector<std::string> Tracks;  // as given: numbers, ranges, names
    std::string Start;                // as given; "" for the beginning
    long long StartUs = 0;
    int Loops = 1;                    // times to play; 0 until interrupted
    NoteChoice Choice;
    std::string LiveSource;
    bool ListPorts = false;
    int BendRangeSemitones = DefaultBendRangeSemitones;
    std::string Record;
    NoteShape Shape;                  // --attack and --release, in us
    std::string WriteBnvib;
    std::string Channel = "mix";      // of a sound, for controllers of one actuator
};

// The file, read and checked: a text piece or the chosen notes of a MIDI song.
struct Music {
    bool IsMidi = false;
    Piece TextPiece;
    midi_file::MidiSong Song;
    NoteChoice Choice;  // the options' choice, its tracks resolved in the song
    ChosenNotes Chosen;
    bool IsStream = false;  // rumble files, or sound
    RumbleParts Parts;
    bool IsSound = false;
    SoundRumble Sound;      // what the analysis found (its streams moved into Parts)
    int Passes = 1;         // of the whole; 0 until interrupted
};

// What plays on each controller.
struct Performance {
    std::vector<const ControllerKind*> Kinds;
    std::vector<Schedule> Schedules;
    Allocation Voices;  // MIDI only
};

void PrintTiming(const PerformTiming& timing)
{
    if (timing.LateNs.empty()) return;
    std::fprintf(stderr, "timing: %s sent, %d passed over; late against their due times by %s\n",
                 CountOf(static_cast<long long>(timing.LateNs.size()), "report").c_str(), timing.PassedOver,
                 FormLatencyFigures(timing.LateNs).c_str());
}

std::string Hex(const RumbleBytes& rumble)
{
    char text[2 * RumbleBlockSize + 1];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x", rumble.Bytes[0], rumble.Bytes[1], rumble.Bytes[2],
                  rumble.Bytes[3]);
    return text;
}

// Every report's due time and bytes (the right actuator's too where it differs), then the length;
// with several controllers, each under a line that names it.
void PrintSchedules(const Performance& performance)
{
    for (std::size_t c = 0; c < performance.Schedules.size(); ++c) {
        if (performance.Schedules.size() > 1) std::printf("controller %zu %s\n", c + 1, performance.Kinds[c]->Option);
        for (const ScheduledReport& report : performance.Schedules[c].Reports) {
            const std::string left = Hex(report.Left);
            const std::string right = Hex(report.Right);
            std::printf("%lld %s%s%s\n", report.DueUs, left.c_str(), right == left ? "" : " ", right == left ? "" : right.c_str());
        }
        std::printf("end %lld\n", performance.Schedules[c].LengthUs);
    }
}

// The MIDI choices refused for a file of another kind. Returns false, for the reader to return.
bool RefuseMidiChoices(const std::string& name, const char* kind)
{
    std::fprintf(stderr, "tavrel-play: --tracks, --channels, --transpose and --tempo are for MIDI files; %s is %s\n",
                 name.c_str(), kind);
    return false;
}

// How a file is named in messages.
std::string ShownName(const std::string& path) { return path == "-" ? "standard input" : path; }

// Reads and analyses a sound file into Parts: a stereo file's sides for a Pro Controller's two
// actuators, the mix (or the channel asked for) for a controller of one. False with a message.
bool ReadSound(const Options& options, const std::string& name, const std::string& firstBytes, Music* music)
{
    SoundSource source;
    std::string failure;
    if (!OpenSoundSource(options.File, firstBytes, &source, &failure)) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), failure.c_str());
        return false;
    }
    const SoundChannel channel = options.Channel == "left"    ? SoundChannel::Left
                                 : options.Channel == "right" ? SoundChannel::Right
                                                              : SoundChannel::Mix;
    const bool showProgress = !options.Quiet && IsOutputTerminal();
    ProgressLine line(stdout, 0);
    const bool analysed = AnalyseSound(source, channel, &music->Sound, &failure, [&](double share) {
        if (showProgress) line.ShowShare("Analysing " + name, share);
    });
    line.Finish();
    if (!analysed) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), failure.c_str());
        return false;
    }
    if (music->Sound.One.Samples.empty() || music->Sound.Frames == 0) {
        std::fprintf(stderr, "%s: the file has no sound to play\n", name.c_str());
        return false;
    }
    // The streams move into the parts; the analysis keeps what --list says.
    RumbleParts& parts = music->Parts;
    SoundRumble& sound = music->Sound;
    parts.Names[LeftSide] = parts.Names[RightSide] = name;
    if (sound.Left.Samples.empty()) {
        parts.Files[LeftSide] = parts.Files[RightSide] = std::move(sound.One);
    } else {
        parts.Files[LeftSide] = std::move(sound.Left);
        parts.Files[RightSide] = std::move(sound.Right);
        parts.Same = false;
        parts.OneFile = std::move(sound.One);
    }
    music->IsStream = true;
    music->IsSound = true;
    return true;
}

// Reads and checks the whole file. False with a message and nothing else done.
bool ReadMusic(const Options& options, const std::string& name, Music* music)
{
    const NoteChoice& choice = options.Choice;
    const bool choosing = !options.Tracks.empty() || !choice.Channels.empty() || choice.Transpose != 0 ||
                          choice.TempoPercent != NoteChoice{}.TempoPercent;
    // Sound is read as it comes, not whole.
    std::string first;
    if (PeekInputFile(options.File, SoundSignatureBytes, &first) && LooksLikeSound(first)) {
        if (choosing) return RefuseMidiChoices(name, "sound");
        return ReadSound(options, name, first, music);
    }
    std::string bytes;
    std::string failure;
    if (!ReadInputFile(options.File, &bytes, &failure)) {
        std::fprintf(stderr, "tavrel-play: %s\n", failure.c_str());
        return false;
    }
    // A RIFF MIDI file is read as the Standard MIDI File it wraps; its errors name bytes of the whole file.
    std::size_t midiOffset = 0;
    if (midi_file::LooksLikeRiffMidi(bytes)) {
        std::string midi;
        std::size_t at = 0;
        if (!midi_file::FindRiffMidiData(bytes, &midi, &midiOffset, &at, &failure)) {
            std::fprintf(stderr, "%s: byte %zu: %s\n", name.c_str(), at, failure.c_str());
            return false;
        }
        bytes.swap(midi);
        if (!midi_file::LooksLikeMidi(bytes)) {
            std::fprintf(stderr, "%s: byte %zu: the RIFF \"data\" chunk holds no Standard MIDI File\n", name.c_str(),
                         midiOffset);
            return false;
        }
    }
    if (LooksLikeRumbleFile(bytes)) {
        if (choosing) return RefuseMidiChoices(name, "a rumble file");
        RumbleParts& parts = music->Parts;
        if (!ReadRumbleFile(bytes, name, &parts.Files[LeftSide])) return false;
        parts.Files[RightSide] = parts.Files[LeftSide];
        parts.Names[LeftSide] = parts.Names[RightSide] = name;
        music->IsStream = true;
        return true;
    }
    music->IsMidi = midi_file::LooksLikeMidi(bytes);
    if (!music->IsMidi && LooksLikeBinary(bytes)) {
        std::fprintf(stderr, "tavrel-play: %s: not a MIDI file and not a tune\n", name.c_str());
        return false;
    }
    if (music->IsMidi) {
        midi_file::MidiError error{};
        if (!midi_file::ReadMidiFile(bytes, &music->Song, &error)) {
            std::fprintf(stderr, "%s: byte %zu: %s\n", name.c_str(), midiOffset + error.Offset, error.Message.c_str());
            return false;
        }
        music->Choice = choice;
        if (!ResolveTracks(options.Tracks, music->Song, &music->Choice.Tracks, &failure)) {
            std::fprintf(stderr, "%s: %s\n", name.c_str(), failure.c_str());
            return false;
        }
        music->Chosen = ChooseNotes(music->Song, music->Choice);
        if (music->Chosen.FileLengthUs > MaxPieceLengthUs) {
            std::fprintf(stderr, "%s: at %d %% tempo the song is longer than a day\n", name.c_str(), choice.TempoPercent);
            return false;
        }
        if (music->Song.Notes.empty()) {
            std::fprintf(stderr, "%s: the file has no notes to play\n", name.c_str());
            return false;
        }
        if (music->Chosen.Notes.empty()) {
            std::fprintf(stderr, "%s: no notes to play on the chosen tracks and channels (channel 10, percussion, "
                                 "plays only where --channels names it); notes are on %s\n",
                         name.c_str(), WhereNotesAre(music->Song).c_str());
            return false;
        }
        return true;
    }
    if (choosing) return RefuseMidiChoices(name, "text");
    std::vector<tune_text::Voice> voices;
    tune_text::TextError error{};
    if (!tune_text::ReadTuneText(bytes, &voices, &error) ||
        !BuildPiece(voices, options.VolumePercent, &music->TextPiece, &error)) {
        std::fprintf(stderr, "%s:%d:%d: %s\n", name.c_str(), error.Line, error.Column, error.Message.c_str());
        return false;
    }
    return true;
}

// Reads the --left and --right rumble files (with FILE, a rumble file too, on the other side).
// False with a message.
bool ReadSideFiles(const Options& options, const std::string& name, Music* music)
{
    RumbleParts& parts = music->Parts;
    if (!options.File.empty() && !music->IsStream) {
        std::fprintf(stderr, "tavrel-play: --left and --right play rumble files beside a rumble file; %s is not one\n",
                     name.c_str());
        return false;
    }
    for (int side = 0; side < SideCount; ++side) {
        const std::string& path = options.SideFiles[side];
        const char* option = side == LeftSide ? "--left" : "--right";
        if (path.empty()) continue;
        std::string bytes;
        std::string failure;
        if (!ReadInputFile(path, &bytes, &failure)) {
            std::fprintf(stderr, "tavrel-play: %s\n", failure.c_str());
            return false;
        }
        const std::string sideName = ShownName(path);
        if (!LooksLikeRumbleFile(bytes)) {
            std::fprintf(stderr, "tavrel-play: %s takes a rumble file (.bnvib, .jcvib); %s is not one\n", option,
                         sideName.c_str());
            return false;
        }
        if (!ReadRumbleFile(bytes, sideName, &parts.Files[side])) return false;
        parts.Names[side] = sideName;
    }
    parts.Same = false;
    music->IsStream = true;
    return true;
}

// What each controller plays: the text piece on every actuator of each, or the song's notes
// given out over all their bands.
Performance PlanPerformance(const Options& options, const Music& music, const std::vector<const ControllerKind*>& kinds)
{
    Performance performance;
    performance.Kinds = kinds;
    const long long interval = options.MinIntervalMs * MicrosecondsPerMillisecond;
    if (music.IsStream) {
        // A left Joy-Con plays the left part, a right Joy-Con the right one, a Pro Controller both.
        const RumbleParts& parts = music.Parts;
        const RumbleStream& left = parts.Played[LeftSide];
        const RumbleStream& right = parts.Same ? left : parts.Played[RightSide];
        for (const ControllerKind* kind : kinds) {
            const RumbleStream& one = HasOneFile(parts) ? parts.OnePlayed : std::string(kind->Option) == "left" ? left : right;
            const bool both = kind->Actuators > 1;
            performance.Schedules.push_back(BuildStreamSchedule(both ? left : one, both ? right : one, interval,
                                                                options.VolumePercent, parts.RepeatFromUs));
        }
        return performance;
    }
    // Shaped notes and vibrato change every 5 ms: they are streamed. The pieces' levels hold the
    // volume already.
    const bool shaped = options.Shape.AttackUs > 0 || options.Shape.ReleaseUs > 0;
    const auto scheduleOf = [&](const Piece& left, const Piece& right) {
        if (!shaped && !AsksForVibrato(left) && !AsksForVibrato(right))
            return &left == &right ? BuildSchedule(left, interval) : BuildSchedule(left, right, interval);
        const RumbleStream leftStream = RenderPieceSamples(left, options.Shape);
        if (&left == &right) return BuildStreamSchedule(leftStream, leftStream, interval, FullVolumePercent);
        return BuildStreamSchedule(leftStream, RenderPieceSamples(right, options.Shape), interval, FullVolumePercent);
    };
    if (!music.IsMidi) {
        const Piece piece = StartPieceAt(music.TextPiece, options.StartUs);
        for (std::size_t c = 0; c < kinds.size(); ++c) performance.Schedules.push_back(scheduleOf(piece, piece));
        return performance;
    }
    std::vector<int> actuators;
    for (const ControllerKind* kind : kinds) actuators.push_back(kind->Actuators);
    performance.Voices = AllocateVoices(music.Chosen.Notes, actuators, music.Chosen.LengthUs, options.VolumePercent);
    for (std::vector<Piece>& part : performance.Voices.Parts) {
        for (Piece& piece : part) {
            piece.Vibrato = music.Chosen.Vibrato;
            piece = StartPieceAt(piece, options.StartUs);
        }
        performance.Schedules.push_back(part.size() > 1 ? scheduleOf(part[0], part[1]) : scheduleOf(part[0], part[0]));
    }
    return performance;
}

// What the first controller's first actuator would play, as 5 ms samples.
RumbleStream StreamToWrite(const Options& options, const Music& music)
{
    if (music.IsStream)
        return StartStreamAt(HasOneFile(music.Parts) ? music.Parts.OneFile : music.Parts.Files[LeftSide], options.StartUs);
    if (!music.IsMidi) return RenderPieceSamples(StartPieceAt(music.TextPiece, options.StartUs), options.Shape);
    std::vector<int> actuators;
    for (const std::string& option : options.Controllers) actuators.push_back(KindNamed(option).Actuators);
    if (actuators.empty()) actuators.push_back(ControllerKinds[0].Actuators);
    Allocation voices = AllocateVoices(music.Chosen.Notes, actuators, music.Chosen.LengthUs, options.VolumePercent);
    voices.Parts[0][0].Vibrato = music.Chosen.Vibrato;
    return RenderPieceSamples(StartPieceAt(voices.Parts[0][0], options.StartUs), options.Shape);
}

// Writes what would be played as a .bnvib; needs no controller.
int WriteBnvibFile(const Options& options, const Music& music)
{
    const std::string bytes = FormBnvib(StreamToWrite(options, music));
    std::ofstream out(options.WriteBnvib, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "tavrel-play: %s: %s\n", options.WriteBnvib.c_str(), std::strerror(errno));
        return ExitBadInput;
    }
    return ExitPlayed;
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

int Play(const Options& options, const Music& music, const std::string& name)
{
    InstallInterruptHandlers();
    const long long intervalUs = options.MinIntervalMs * MicrosecondsPerMillisecond;
    std::vector<OpenedController> opened;
    if (!OpenControllers(options.Controllers, intervalUs, &opened)) {
        ShowConsoleMessage(ControllerNotFoundText);
        return ExitNoController;
    }
    const Performance performance = PlanPerformance(options, music, KindsOf(opened));
    long long lengthUs = 0;
    std::vector<PerformedController> performed;
    for (std::size_t c = 0; c < opened.size(); ++c) {
        performed.push_back(PerformedController{&opened[c].Connection, &performance.Schedules[c]});
        lengthUs = std::max(lengthUs, performance.Schedules[c].LengthUs);
    }
    const bool showProgress = !options.Quiet && IsOutputTerminal();
    BeginPreciseSleep();
    const SetUpResult setUp = SetUpControllers(opened);
    PerformOutcome outcome = PerformOutcome::Interrupted;
    PerformTiming timing;
    std::size_t lost = 0;
    if (setUp == SetUpResult::Ready && !IsInterruptRequested()) {
        if (!options.Quiet) {
            std::string length = FormatPlayTime(lengthUs);
            if (options.StartUs > 0) length += " from " + FormatPlayTime(options.StartUs);
            if (music.Passes == 0)
                length += music.Parts.OwnLoop ? ", its loop until interrupted" : " each time, until interrupted";
            if (music.Passes > 1) length += ", " + std::to_string(music.Passes) + " times";
            std::printf("Playing %s on %s (%s).\n", name.c_str(), NamesOf(performance.Kinds).c_str(), length.c_str());
            if (music.IsMidi && performance.Voices.Dropped > 0)
                std::printf("%s dropped: more at once than there are bands (see --list).\n",
                            CountOf(performance.Voices.Dropped, "note").c_str());
            std::fflush(stdout);
        }
        ProgressLine line(stdout, lengthUs, music.Passes);
        outcome = PerformSchedules(
            performed,
            [&](long long playedUs) {
                if (showProgress) line.Show(playedUs);
            },
            options.Timing ? &timing : nullptr, &lost, music.Passes);
        line.Finish();
    }
    RestoreControllers(opened);
    EndPreciseSleep();
    if (options.Timing) PrintTiming(timing);
    if (outcome == PerformOutcome::ControllerLost)
        std::fprintf(stderr, "tavrel-play: %s stopped taking reports\n", NameOf(opened, lost).c_str());
    CloseControllers(opened);
    if (setUp == SetUpResult::Failed || outcome == PerformOutcome::ControllerLost) return ExitControllerLost;
    return IsInterruptRequested() ? InterruptedExitStatus : ExitPlayed;
}

// --live: the options that make sense for it handed over, the others refused.
int PlayLiveWith(const CLI::App& app, const Options& options)
{
    for (const char* fileOnly : {"FILE", "--list", "--schedule", "--tracks", "--tempo", "--start", "--loop", "--attack",
                                 "--release", "--write-bnvib", "--left", "--right", "--channel"}) {
        if (app.count(fileOnly) == 0) continue;
        std::fprintf(stderr, "tavrel-play: %s is for files, not --live\n", fileOnly);
        return ExitBadInput;
    }
    LiveOptions live;
    live.Source = options.LiveSource;
    live.Controllers = options.Controllers;
    live.Channels = options.Choice.Channels;
    live.Transpose = options.Choice.Transpose;
    live.VolumePercent = options.VolumePercent;
    live.MinIntervalMs = options.MinIntervalMs;
    live.BendRangeSemitones = options.BendRangeSemitones;
    live.Quiet = options.Quiet;
    live.Timing = options.Timing;
    live.Record = options.Record;
    BuildToneTables();
    return PlayLive(live);
}

int Run(int argc, char** argv)
{
    Options options;
    CLI::App app{"Plays a tune written in the play-data language, or a Standard MIDI File, on the rumble of "
                 "every controller connected."};
    CLI::Option* file = app.add_option("FILE", options.File,
                                       "the tune as text, a MIDI file or a rumble file (.bnvib, .jcvib); - for standard input");
    app.add_option("--controller", options.Controllers,
                   "the controllers to play on, in order: right, left or pro, comma-separated or repeated "
                   "(default: every one connected, up to 4)")
        ->delimiter(',')
        ->allow_extra_args(false)  // one list a time, so that a file named after it stays the file
        ->check(CLI::IsMember({"right", "left", "pro"}));
    app.add_flag("--list", options.List, "print what would be played and where; needs no controller");
    app.add_flag("--schedule", options.PrintSchedule,
                 "print every report's due time (us) and rumble bytes, then the length; needs no controller");
    app.add_flag("-q,--quiet", options.Quiet, "no start line and no progress line");
    app.add_flag("--timing", options.Timing,
                 "after playing, print to standard error how late the reports went out against their due times");
    app.add_option("--volume", options.VolumePercent, "scales every level, in per cent (default 100); never above level 10")
        ->check(CLI::Range(0, VolumeHighestPercent));
    app.add_option("--min-interval", options.MinIntervalMs, "least time between two reports to a controller, set-up included, in ms (default 15)")
        ->check(CLI::Range(MinIntervalLowestMs, MinIntervalHighestMs));
    app.add_option("--tracks", options.Tracks,
                   "MIDI: the tracks to play, comma-separated: numbers from 1, ranges (2-5) or track names (default: all)")
        ->delimiter(',');
    app.add_option("--channels", options.Choice.Channels,
                   "MIDI: the channels to play, 1-16, comma-separated (default: all but the percussion channel 10)")
        ->delimiter(',')
        ->allow_extra_args(false)
        ->check(CLI::Range(1, 16));
    app.add_option("--transpose", options.Choice.Transpose, "MIDI: semitones up (or down, negative)")
        ->check(CLI::Range(-MaxTransposeSemitones, MaxTransposeSemitones));
    app.add_option("--tempo", options.Choice.TempoPercent, "MIDI: tempo in per cent of the file's (default 100)")
        ->check(CLI::Range(LowestTempoPercent, HighestTempoPercent));
    app.add_option("--start", options.Start, "begin partway, at a time: seconds (95.5) or minutes and seconds (1:35.5)")
        ->type_name("TIME");
    app.add_option("--loop", options.Loops,
                   "play N times (a rumble file's own loop N times); --loop alone: again and again until interrupted")
        ->type_name("[N]")
        ->check(CLI::Range(0, std::numeric_limits<int>::max()).description(""));
    app.add_option("--live", options.LiveSource,
                   "play MIDI as it arrives, instead of a file: from a MIDI port (CLIENT:PORT, a number or a "
                   "name; alone: a port of our own named Tavrel on Linux, the only port on Windows), or from a "
                   "byte stream (a raw MIDI device, a named pipe, - for standard input)")
        ->type_name("[SOURCE]");
    app.add_flag("--live-ports", options.ListPorts, "list the MIDI input ports --live can read, and exit");
    app.add_option("--bend-range", options.BendRangeSemitones,
                   "live: semitones a full pitch bend moves, until the sender sets it (default 2)")
        ->check(CLI::Range(0, MaxBendRangeSemitones));
    app.add_option("--record", options.Record, "live: also write what was played to a MIDI file")->type_name("FILE.mid");
    long long attackMs = 0;
    long long releaseMs = 0;
    app.add_option("--attack", attackMs, "notes rise from silence over this many ms (default 0: at once)")
        ->check(CLI::Range(0LL, LongestShapeUs / MicrosecondsPerMillisecond));
    app.add_option("--release", releaseMs, "notes fade over this many ms after they end (default 0: at once)")
        ->check(CLI::Range(0LL, LongestShapeUs / MicrosecondsPerMillisecond));
    app.add_option("--left", options.SideFiles[LeftSide],
                   "a rumble file for the left actuators (a left Joy-Con's, a Pro Controller's left); FILE, if "
                   "given, plays where neither --left nor --right does")
        ->type_name("FILE");
    app.add_option("--right", options.SideFiles[RightSide],
                   "a rumble file for the right actuators (a right Joy-Con's, a Pro Controller's right)")
        ->type_name("FILE");
    app.add_option("--channel", options.Channel,
                   "sound: what a controller of one actuator plays of a stereo file: mix (default), left or right")
        ->check(CLI::IsMember({"mix", "left", "right"}));
    app.add_option("--write-bnvib", options.WriteBnvib,
                   "write what would be played (the first actuator's) as a .bnvib rumble file instead of playing it")
        ->type_name("FILE");
    app.set_version_flag("--version", std::string("tavrel-play ") + TavrelVersion, "print the version and exit");
    // --live and --loop alone take what they mean alone: the default port, until interrupted.
    std::vector<std::string> arguments(argv + 1, argv + argc);
    for (std::size_t i = 0; i < arguments.size() && arguments[i] != "--"; ++i) {
        if (arguments[i] == "--live") {
            const bool sourced =
                i + 1 < arguments.size() && (arguments[i + 1] == "-" || arguments[i + 1].rfind('-', 0) != 0);
            if (!sourced) arguments.insert(arguments.begin() + static_cast<std::ptrdiff_t>(i) + 1, "");
            ++i;
            continue;
        }
        if (arguments[i] != "--loop") continue;
        // A count, or a negative number for CLI11 to refuse as one.
        const std::string next = i + 1 < arguments.size() ? arguments[i + 1] : "";
        const std::size_t digits = next.rfind('-', 0) == 0 ? 1 : 0;
        const bool counted = next.size() > digits && next.find_first_not_of("0123456789", digits) == std::string::npos;
        if (!counted) arguments[i] = "--loop=0";
    }
    // FILE is required unless the input is live or --left and --right name the files.
    const std::vector<std::string> withoutFile = {"--live", "--live-ports", "--left", "--right"};
    const bool needsFile = std::none_of(arguments.begin(), std::find(arguments.begin(), arguments.end(), "--"),
                                        [&](const std::string& a) {
                                            return std::any_of(withoutFile.begin(), withoutFile.end(),
                                                               [&](const std::string& option) {
                                                                   return a == option || a.rfind(option + "=", 0) == 0;
                                                               });
                                        });
    if (needsFile) file->required();
    std::reverse(arguments.begin(), arguments.end());  // CLI11 takes them last first
    app.name("tavrel-play");
    try {
        app.parse(arguments);
    } catch (const CLI::ParseError& e) {
        return app.exit(e) == 0 ? ExitPlayed : ExitBadInput;
    }
    if (!options.Start.empty() && !ParsePlayTime(options.Start, &options.StartUs)) {
        std::fprintf(stderr, "tavrel-play: --start %s is not a time: write seconds (95.5) or minutes and seconds "
                             "(1:35.5)\n", options.Start.c_str());
        return ExitBadInput;
    }
    if (options.Controllers.size() > MaxControllers) {
        std::fprintf(stderr, "tavrel-play: at most %d controllers play at once\n", MaxControllers);
        return ExitBadInput;
    }
    options.Shape = NoteShape{attackMs * MicrosecondsPerMillisecond, releaseMs * MicrosecondsPerMillisecond};
    if (options.ListPorts) return ListLivePorts();
    if (app.count("--live") > 0) return PlayLiveWith(app, options);
    if (!options.Record.empty() || app.count("--bend-range") > 0) {
        std::fprintf(stderr, "tavrel-play: --record and --bend-range are for --live\n");
        return ExitBadInput;
    }

    std::string name = ShownName(options.File);
    const bool sides = !options.SideFiles[LeftSide].empty() || !options.SideFiles[RightSide].empty();
    if (sides && !options.WriteBnvib.empty()) {
        std::fprintf(stderr, "tavrel-play: --write-bnvib writes one part; give it FILE without --left or --right\n");
        return ExitBadInput;
    }
    BuildToneTables();
    Music music;
    if (!options.File.empty() && !ReadMusic(options, name, &music)) return ExitBadInput;
    if (sides && !ReadSideFiles(options, name, &music)) return ExitBadInput;
    if (options.File.empty()) {
        const std::string* names = music.Parts.Names;
        name = names[LeftSide].empty() || names[RightSide].empty() ? names[LeftSide] + names[RightSide]
                                                                    : names[LeftSide] + " and " + names[RightSide];
    }
    const long long lengthUs = music.IsStream ? RumblePartsLengthUs(music.Parts)
                               : music.IsMidi ? music.Chosen.LengthUs : music.TextPiece.LengthUs;
    if (options.StartUs > 0 && options.StartUs >= lengthUs) {
        std::fprintf(stderr, "tavrel-play: --start %s is not before the end of %s (%s)\n", options.Start.c_str(),
                     name.c_str(), FormatPlayTime(lengthUs).c_str());
        return ExitBadInput;
    }
    music.Passes = options.Loops;
    const long long periodUs = std::max(StreamReportPeriodUs, options.MinIntervalMs * MicrosecondsPerMillisecond);
    if (music.IsStream && !PrepareRumbleParts(options.StartUs, options.Loops, periodUs, &music.Parts, &music.Passes))
        return ExitBadInput;
    if (!options.WriteBnvib.empty()) return WriteBnvibFile(options, music);
    if (options.PrintSchedule) {
        PrintSchedules(PlanPerformance(options, music, ControllersToList(options, false)));
        return ExitPlayed;
    }
    if (options.List) {
        const Performance performance = PlanPerformance(options, music, ControllersToList(options, true));
        if (music.IsSound) {
            PrintSoundListing(stdout, name, NamesOf(performance.Kinds), music.Sound, performance.Schedules[0]);
        } else if (music.IsStream) {
            const RumbleParts& parts = music.Parts;
            for (int side = 0; side < (parts.Same ? 1 : SideCount); ++side) {
                if (parts.Files[side].Samples.empty()) continue;
                const std::string label = parts.Same ? name : (side == LeftSide ? "left: " : "right: ") + parts.Names[side];
                PrintStreamListing(stdout, label, NamesOf(performance.Kinds), parts.Files[side], performance.Schedules[0]);
            }
        } else if (!music.IsMidi) {
            PrintListing(stdout, name, NamesOf(performance.Kinds), music.TextPiece, performance.Schedules[0]);
        } else {
            std::vector<std::string> names;
            for (const ControllerKind* kind : performance.Kinds) names.push_back(kind->Name);
            PrintMidiListing(stdout, name, music.Song, music.Choice, music.Chosen, performance.Voices, names,
                             performance.Schedules);
        }
        return ExitPlayed;
    }
    return Play(options, music, name);
}

}  // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavrel-play: %s\n", e.what());
        return ExitControllerLost;
    }
}
