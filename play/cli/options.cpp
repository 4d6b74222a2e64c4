#include "play/cli/options.h"

#include "common/time_units.h"
#include "play/report/wording.h"
#include "play/perform/exit_status.h"
#include "tavrel_version.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cstdio>
#include <limits>

namespace {

constexpr int MinIntervalLowestMs = 8;
constexpr int MinIntervalHighestMs = 100;
constexpr int VolumeHighestPercent = 400;

// --live, --capture and --loop alone take what they mean alone (the default port; the default
// output; until interrupted), which CLI11 cannot say of an option's value: they are given it here.
std::vector<std::string> WithOptionalValues(int argc, char** argv)
{
    std::vector<std::string> arguments(argv + 1, argv + argc);
    for (std::size_t i = 0; i < arguments.size() && arguments[i] != "--"; ++i) {
        if (arguments[i] == "--live" || arguments[i] == "--capture") {
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
    return arguments;
}

// FILE is required unless the input is live or captured, or --left and --right name the files.
bool NeedsFile(const std::vector<std::string>& arguments)
{
    const std::vector<std::string> withoutFile = {"--live", "--live-ports", "--capture", "--capture-sources", "--left", "--right"};
    return std::none_of(arguments.begin(), std::find(arguments.begin(), arguments.end(), "--"),
                        [&](const std::string& a) {
                            return std::any_of(withoutFile.begin(), withoutFile.end(), [&](const std::string& option) {
                                return a == option || a.rfind(option + "=", 0) == 0;
                            });
                        });
}

// Says why an argument is refused; false, for ReadOptions to return.
bool Refuse(const std::string& why, int* exitStatus)
{
    std::fprintf(stderr, "tavrel-play: %s\n", why.c_str());
    *exitStatus = ExitBadInput;
    return false;
}

}  // namespace

bool ReadOptions(int argc, char** argv, Options* options, int* exitStatus)
{
    PlayChoices& choices = options->Choices;
    std::string channel = "mix";
    CLI::App app{"Plays a tune written in the play-data language, a Standard MIDI File, a rumble file or a sound "
                 "file on the rumble of every controller connected, MIDI as it arrives (--live), or sound as the "
                 "computer plays it (--capture)."};
    CLI::Option* file = app.add_option("FILE", options->File,
                                       "the tune as text, a MIDI file, a rumble file (.bnvib, .jcvib) or a sound file "
                                       "(WAV; also FLAC, Ogg, MP3 and AIFF on Linux); - for standard input");
    app.add_option("--controller", options->Controllers,
                   "the controllers to play on, in order: right, left or pro, comma-separated or repeated "
                   "(default: every one connected, up to 4)")
        ->delimiter(',')
        ->allow_extra_args(false)  // one list a time, so that a file named after it stays the file
        ->check(CLI::IsMember({"right", "left", "pro"}));
    app.add_flag("--list", options->List, "print what would be played and where; needs no controller");
    app.add_flag("--schedule", options->PrintSchedule,
                 "print every report's due time (us) and rumble bytes, then the length; needs no controller");
    app.add_flag("-q,--quiet", options->Quiet, "no start line and no progress line");
    app.add_flag("--timing", options->Timing,
                 "after playing, print to standard error how late the reports went out against their due times");
    app.add_option("--volume", choices.VolumePercent, "scales every level, in per cent (default 100); never above level 10")
        ->check(CLI::Range(0, VolumeHighestPercent));
    app.add_option("--min-interval", options->MinIntervalMs,
                   "least time between two reports to a controller, set-up included, in ms (default 15)")
        ->check(CLI::Range(MinIntervalLowestMs, MinIntervalHighestMs));
    app.add_option("--tracks", choices.Tracks,
                   "MIDI: the tracks to play, comma-separated: numbers from 1, ranges (2-5) or track names (default: all)")
        ->delimiter(',');
    app.add_option("--channels", choices.Choice.Channels,
                   "MIDI: the channels to play, 1-16, comma-separated (default: all but the percussion channel 10)")
        ->delimiter(',')
        ->allow_extra_args(false)
        ->check(CLI::Range(1, 16));
    app.add_option("--transpose", choices.Choice.Transpose, "MIDI: semitones up (or down, negative)")
        ->check(CLI::Range(-MaxTransposeSemitones, MaxTransposeSemitones));
    app.add_option("--tempo", choices.Choice.TempoPercent, "MIDI: tempo in per cent of the file's (default 100)")
        ->check(CLI::Range(LowestTempoPercent, HighestTempoPercent));
    app.add_option("--start", options->Start, "begin partway, at a time: seconds (95.5) or minutes and seconds (1:35.5)")
        ->type_name("TIME");
    app.add_option("--loop", choices.Loops,
                   "play N times (a rumble file's own loop N times); --loop alone: again and again until interrupted")
        ->type_name("[N]")
        ->check(CLI::Range(0, std::numeric_limits<int>::max()).description(""));
    app.add_option("--live", options->LiveSource,
                   "play MIDI as it arrives, instead of a file: from a MIDI port (CLIENT:PORT, a number or a "
                   "name; alone: a port of our own named Tavrel on Linux, the only port on Windows), or from a "
                   "byte stream (a raw MIDI device, a named pipe, - for standard input)")
        ->type_name("[SOURCE]");
    app.add_flag("--live-ports", options->ListPorts, "list the MIDI input ports --live can read, and exit");
    app.add_option("--bend-range", options->BendRangeSemitones,
                   "live: semitones a full pitch bend moves, until the sender sets it (default 2)")
        ->check(CLI::Range(0, MaxBendRangeSemitones));
    app.add_option("--capture", options->CaptureSource,
                   "play sound as the computer plays it, instead of a file: alone, what the default output plays; "
                   "else a sound source (a microphone, another output) by its name or a part of its description")
        ->type_name("[SOURCE]");
    app.add_flag("--capture-sources", options->ListCaptureSources, "list the sound sources --capture can read, and exit");
    app.add_option("--record", options->Record,
                   "live: also write what was played to a MIDI file; --capture: to a .bnvib rumble file")
        ->type_name("FILE");
    long long attackMs = 0;
    long long releaseMs = 0;
    app.add_option("--attack", attackMs, "notes rise from silence over this many ms (default 0: at once)")
        ->check(CLI::Range(0LL, LongestShapeUs / MicrosecondsPerMillisecond));
    app.add_option("--release", releaseMs, "notes fade over this many ms after they end (default 0: at once)")
        ->check(CLI::Range(0LL, LongestShapeUs / MicrosecondsPerMillisecond));
    app.add_option("--left", options->SideFiles[LeftSide],
                   "a rumble file for the left actuators (a left Joy-Con's, a Pro Controller's left); FILE, if "
                   "given, plays where neither --left nor --right does")
        ->type_name("FILE");
    app.add_option("--right", options->SideFiles[RightSide],
                   "a rumble file for the right actuators (a right Joy-Con's, a Pro Controller's right)")
        ->type_name("FILE");
    app.add_option("--channel", channel,
                   "sound: what a controller of one actuator plays of a stereo file: mix (default), left or right")
        ->check(CLI::IsMember({"mix", "left", "right"}));
    app.add_option("--write-bnvib", options->WriteBnvib,
                   "write what would be played (the first actuator's) as a .bnvib rumble file instead of playing it")
        ->type_name("FILE");
    app.set_version_flag("--version", std::string("tavrel-play ") + TavrelVersion, "print the version and exit");
    std::vector<std::string> arguments = WithOptionalValues(argc, argv);
    if (NeedsFile(arguments)) file->required();
    std::reverse(arguments.begin(), arguments.end());  // CLI11 takes them last first
    app.name("tavrel-play");
    try {
        app.parse(arguments);
    } catch (const CLI::ParseError& e) {
        *exitStatus = app.exit(e) == 0 ? ExitPlayed : ExitBadInput;
        return false;
    }
    if (!options->Start.empty() && !ParsePlayTime(options->Start, &choices.StartUs))
        return Refuse("--start " + options->Start + " is not a time: write seconds (95.5) or minutes and seconds (1:35.5)",
                      exitStatus);
    if (options->Controllers.size() > MaxControllers)
        return Refuse("at most " + std::to_string(MaxControllers) + " controllers play at once", exitStatus);
    choices.Shape = NoteShape{attackMs * MicrosecondsPerMillisecond, releaseMs * MicrosecondsPerMillisecond};
    choices.Channel = channel == "left" ? SoundChannel::Left : channel == "right" ? SoundChannel::Right : SoundChannel::Mix;
    choices.MinIntervalUs = options->MinIntervalMs * MicrosecondsPerMillisecond;
    options->Live = app.count("--live") > 0;
    options->Capture = app.count("--capture") > 0;
    if (options->ListPorts || options->ListCaptureSources) return true;
    if (options->Live && options->Capture) return Refuse("--live and --capture are two inputs: give one", exitStatus);
    if (options->Capture) {
        // Only the options that make sense for captured sound.
        for (const char* fileOnly : {"FILE", "--list", "--schedule", "--tracks", "--channels", "--transpose", "--tempo",
                                     "--start", "--loop", "--attack", "--release", "--write-bnvib", "--left", "--right",
                                     "--channel", "--bend-range", "--volume"})
            if (app.count(fileOnly) > 0) return Refuse(std::string(fileOnly) + " is not for --capture", exitStatus);
        return true;
    }
    if (options->Live) {
        // Only the options that make sense for live input.
        for (const char* fileOnly : {"FILE", "--list", "--schedule", "--tracks", "--tempo", "--start", "--loop",
                                     "--attack", "--release", "--write-bnvib", "--left", "--right", "--channel"})
            if (app.count(fileOnly) > 0) return Refuse(std::string(fileOnly) + " is for files, not --live", exitStatus);
        return true;
    }
    if (!options->Record.empty() || app.count("--bend-range") > 0)
        return Refuse("--record is for --live and --capture, --bend-range for --live", exitStatus);
    const bool sides = !options->SideFiles[LeftSide].empty() || !options->SideFiles[RightSide].empty();
    if (sides && !options->WriteBnvib.empty())
        return Refuse("--write-bnvib writes one part; give it FILE without --left or --right", exitStatus);
    return true;
}

LiveOptions LiveOptionsOf(const Options& options)
{
    LiveOptions live;
    live.Source = options.LiveSource;
    live.Controllers = options.Controllers;
    live.Channels = options.Choices.Choice.Channels;
    live.Transpose = options.Choices.Choice.Transpose;
    live.VolumePercent = options.Choices.VolumePercent;
    live.MinIntervalMs = options.MinIntervalMs;
    live.BendRangeSemitones = options.BendRangeSemitones;
    live.Quiet = options.Quiet;
    live.Timing = options.Timing;
    live.Record = options.Record;
    return live;
}

CaptureOptions CaptureOptionsOf(const Options& options)
{
    CaptureOptions capture;
    capture.Source = options.CaptureSource;
    capture.Controllers = options.Controllers;
    capture.MinIntervalMs = options.MinIntervalMs;
    capture.Quiet = options.Quiet;
    capture.Timing = options.Timing;
    capture.Record = options.Record;
    return capture;
}
