#include "play/live/live_play.h"

#include "common/time_units.h"
#include "controller/session.h"
#include "play/perform/exit_status.h"
#include "play/report/wording.h"
#include "play/live/live_performer.h"
#include "play/live/live_recording.h"
#include "play/live/live_status.h"
#include "play/readers/midi_reader.h"
#include "play/readers/riff_midi.h"
#include "play/report/name_list.h"
#include "play/perform/opened_controllers.h"
#include "play/perform/play_session.h"
#include "play/report/timing_lines.h"
#include "controller/pacing.h"
#include "platform/clock.h"
#include "platform/console_message.h"
#include "platform/interrupt.h"
#include "platform/midi_input.h"
#include "platform/sleep.h"
#include "platform/terminal.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace {


void PrintSummary(const LiveVoices& voices, long long skipped)
{
    const LiveCounts& counts = voices.Counts;
    std::printf("Played %s", CountOf(counts.Played, "note").c_str());
    std::string details;
    const auto add = [&](long long n, const char* what) {
        if (n == 0) return;
        details += (details.empty() ? "" : ", ") + std::to_string(n) + " " + what;
    };
    add(counts.Moved, "moved by octaves");
    add(counts.GaveWay, "cut short for a newer note, every band taken");
    add(counts.Joined, "joined to their key already sounding");
    add(counts.Dropped, "out of every band's reach");
    add(counts.Ignored, "on channels not chosen");
    if (!details.empty()) std::printf(" (%s)", details.c_str());
    std::printf(".\n");
    if (skipped > 0) std::printf("%s that are not MIDI skipped.\n", CountOf(skipped, "byte").c_str());
}

// Enough of a file's start to tell a MIDI file.
constexpr std::size_t MidiHeadBytes = 12;

// A Standard or RIFF MIDI file given as a live source would be read as junk: say what to do.
bool IsMidiFile(const std::string& source)
{
    std::error_code error;
    if (source == "-" || !std::filesystem::is_regular_file(source, error)) return false;
    std::ifstream file(source, std::ios::binary);
    std::string head(MidiHeadBytes, '\0');
    file.read(&head[0], static_cast<std::streamsize>(head.size()));
    head.resize(static_cast<std::size_t>(file.gcount()));
    return midi_file::LooksLikeMidi(head) || midi_file::LooksLikeRiffMidi(head);
}

}  // namespace

bool IsByteStreamSource(const std::string& source)
{
    if (source == "-" || source.find('/') != std::string::npos || source.find('\\') != std::string::npos) return true;
    std::error_code error;
    return !source.empty() && std::filesystem::exists(source, error);
}

int ListLivePorts()
{
    std::vector<MidiPortName> ports;
    std::string failure;
    const bool listed = ListMidiInputPorts(&ports, &failure);
    PrintNames("MIDI input ports", listed, failure, ports);
    return ExitPlayed;
}

int PlayLive(const LiveOptions& options)
{
    if (IsMidiFile(options.Source)) {
        std::fprintf(stderr, "tavrel-play: %s is a MIDI file, not live input: play it without --live\n",
                     options.Source.c_str());
        return ExitBadInput;
    }
    // The recording's file is made before anything is played, so that a path that cannot be
    // written is found before the music, not after it.
    std::ofstream record;
    if (!options.Record.empty()) {
        record.open(options.Record, std::ios::binary | std::ios::trunc);
        if (!record) {
            std::fprintf(stderr, "tavrel-play: %s: %s\n", options.Record.c_str(), std::strerror(errno));
            return ExitBadInput;
        }
    }
    LiveStage stage;
    const bool stream = IsByteStreamSource(options.Source);
    std::string reading = options.Source == "-" ? "standard input" : options.Source;
    LiveTiming timing;
    bool prepared = false;
    SessionSteps steps;
    // The voices are made for the controllers found, and the input starts before they are set up.
    steps.Prepare = [&](const std::vector<OpenedController>& opened) {
        std::vector<int> actuators;
        for (const OpenedController& controller : opened) actuators.push_back(controller.Kind->Actuators);
        StartLiveVoices(stage.Voices, actuators, options.Channels, options.Transpose, options.VolumePercent,
                        options.BendRangeSemitones, !options.Record.empty());
        StartLiveStage(stage);
        const MidiBytesHandler bytes = [&stage](const unsigned char* data, std::size_t count, long long arrivedAt) {
            ReceiveLiveBytes(stage, data, count, arrivedAt);
        };
        const MidiEndHandler end = [&stage](const std::string& failure) { EndLiveInput(stage, failure); };
        std::string failure;
        const bool started = stream ? StartByteStreamInput(options.Source, bytes, end, &failure)
                                    : StartMidiPortInput(options.Source, bytes, end, &reading, &failure);
        if (!started) std::fprintf(stderr, "tavrel-play: %s\n", failure.c_str());
        prepared = started;
        return started;
    };
    steps.Perform = [&](std::vector<OpenedController>& opened) {
        if (!options.Quiet) {
            std::printf("Playing %s live on %s; Ctrl-C stops.\n", reading.c_str(), NamesOf(KindsOf(opened)).c_str());
            std::fflush(stdout);
        }
        std::vector<std::string> names;
        std::vector<ControllerConnection*> connections;
        for (OpenedController& controller : opened) {
            names.push_back(controller.Kind->Name);
            connections.push_back(&controller.Connection);
        }
        std::size_t shownLength = 0;
        const bool showStatus = !options.Quiet && IsOutputTerminal();
        SessionResult result;
        const LiveOutcome outcome = PerformLive(
            stage, connections,
            showStatus ? LiveStatusHandler([&](const std::vector<LiveBand>& bands) {
                ShowStatusLine(stdout, FormLiveStatus(bands, names), &shownLength);
            })
                       : LiveStatusHandler(),
            options.Timing ? &timing : nullptr, &result.Lost);
        if (shownLength > 0) std::printf("\n");
        result.Outcome = outcome == LiveOutcome::Ended          ? SessionOutcome::Played
                         : outcome == LiveOutcome::InputFailed    ? SessionOutcome::InputFailed
                         : outcome == LiveOutcome::ControllerLost ? SessionOutcome::ControllerLost
                                                                  : SessionOutcome::Interrupted;
        return result;
    };
    steps.Stop = [stream] {
        if (stream)
            StopByteStreamInput();
        else
            StopMidiPortInput();
    };
    steps.Report = [&](const SessionResult& result) {
        if (options.Timing) PrintLiveTiming(stderr, timing);
        if (result.Outcome == SessionOutcome::InputFailed)
            std::fprintf(stderr, "tavrel-play: %s: %s\n", reading.c_str(), stage.Failure.c_str());
    };
    bool setUp = false;
    const int exitStatus =
        RunPlaySession(options.Controllers, options.MinIntervalMs * MicrosecondsPerMillisecond, steps, &setUp);
    if (!prepared) return exitStatus;  // no controller, or the input never started: nothing played

    // Nothing reads the voices any more.
    SilenceLiveVoices(stage.Voices, RescaleCount(ReadCounter() - stage.Start, stage.Frequency, MicrosecondsPerSecond));
    if (!options.Quiet && setUp) PrintSummary(stage.Voices, stage.Reader.Skipped);
    if (record.is_open()) {
        const std::string file = FormRecordingMidi(stage.Voices.Played, 0);
        record.write(file.data(), static_cast<std::streamsize>(file.size()));
        record.close();
        if (!record) std::fprintf(stderr, "tavrel-play: %s: could not write the recording\n", options.Record.c_str());
    }
    return exitStatus;
}
