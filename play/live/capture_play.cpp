#include "play/live/capture_play.h"

#include "common/time_units.h"
#include "controller/pacing.h"
#include "play/live/capture_cursor.h"
#include "play/live/capture_performer.h"
#include "play/perform/exit_status.h"
#include "play/perform/opened_controllers.h"
#include "play/perform/play_session.h"
#include "play/readers/bnvib_reader.h"
#include "play/report/name_list.h"
#include "play/report/timing_lines.h"
#include "play/report/wording.h"
#include "platform/sound_capture.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>

int ListCaptureSourcesCommand()
{
    std::vector<CaptureSource> sources;
    std::string failure;
    const bool listed = ListCaptureSources(&sources, &failure);
    PrintNames("sound sources", listed, failure, sources);
    return ExitPlayed;
}

int PlayCapture(const CaptureOptions& options)
{
    // The recording's file is made first, so that a path that cannot be written is found before
    // anything plays.
    std::ofstream record;
    if (!options.Record.empty()) {
        record.open(options.Record, std::ios::binary | std::ios::trunc);
        if (!record) {
            std::fprintf(stderr, "tavrel-play: %s: %s\n", options.Record.c_str(), std::strerror(errno));
            return ExitBadInput;
        }
    }
    CaptureStage stage;
    CaptureTiming timing;
    std::string reading;
    bool prepared = false;
    std::vector<std::pair<CaptureSide, CaptureSide>> sides;
    SessionSteps steps;
    // The capture starts once the controllers are found, before they are set up: its format says
    // whether a Pro Controller plays the two sides.
    steps.Prepare = [&](const std::vector<OpenedController>& opened) {
        CaptureFormat format;
        std::string failure;
        const CaptureHandler sound = [&stage](const float* samples, std::size_t frames, long long arrivedAt) {
            ReceiveCapturedSound(stage, samples, frames, arrivedAt);
        };
        const CaptureEndHandler end = [&stage](const std::string& why) { EndCapture(stage, why); };
        // The format is known only once the capture runs; what comes before the stage is started
        // for it is dropped.
        prepared = StartSoundCapture(options.Source, sound, end, &format, &reading, &failure);
        if (!prepared) {
            std::fprintf(stderr, "tavrel-play: %s\n", failure.c_str());
            return false;
        }
        bool bothSides = false;
        for (const OpenedController& controller : opened) {
            sides.push_back(CaptureSidesOf(controller.Kind->Actuators, format.Channels));
            bothSides = bothSides || sides.back().first != CaptureSide::Mix;
        }
        StartCaptureStage(stage, format.Rate, format.Channels, bothSides, !options.Record.empty());
        return true;
    };
    steps.Perform = [&](std::vector<OpenedController>& opened) {
        if (!options.Quiet) {
            std::printf("Playing %s on %s; Ctrl-C stops.\n", reading.c_str(), NamesOf(KindsOf(opened)).c_str());
            std::fflush(stdout);
        }
        std::vector<ControllerConnection*> connections;
        for (OpenedController& controller : opened) connections.push_back(&controller.Connection);
        SessionResult result;
        const LiveOutcome outcome = PerformCapture(stage, connections, sides, options.MinIntervalMs * MicrosecondsPerMillisecond,
                                                   options.Timing ? &timing : nullptr, &result.Lost);
        result.Outcome = outcome == LiveOutcome::Ended          ? SessionOutcome::Played
                         : outcome == LiveOutcome::InputFailed    ? SessionOutcome::InputFailed
                         : outcome == LiveOutcome::ControllerLost ? SessionOutcome::ControllerLost
                                                                  : SessionOutcome::Interrupted;
        return result;
    };
    steps.Stop = [] { StopSoundCapture(); };
    steps.Report = [&](const SessionResult& result) {
        if (options.Timing) PrintCaptureTiming(stderr, timing);
        if (result.Outcome == SessionOutcome::InputFailed)
            std::fprintf(stderr, "tavrel-play: %s: %s\n", reading.c_str(), stage.Failure.c_str());
    };
    const int exitStatus = RunPlaySession(options.Controllers, options.MinIntervalMs * MicrosecondsPerMillisecond, steps);
    StopSoundCapture();
    if (record.is_open() && prepared) {
        RumbleStream played;
        played.Format = "BNVIB";
        played.Samples = stage.Stream.Recorded;
        const std::string file = FormBnvib(played);
        record.write(file.data(), static_cast<std::streamsize>(file.size()));
        record.close();
        if (!record)
            std::fprintf(stderr, "tavrel-play: %s: could not write the recording\n", options.Record.c_str());
        else if (!options.Quiet)
            std::printf("Wrote %s of rumble to %s.\n", CountOf(static_cast<long long>(played.Samples.size()), "sample").c_str(),
                        options.Record.c_str());
    }
    return exitStatus;
}
