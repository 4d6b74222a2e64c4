#include "play/perform/performer.h"

#include "common/time_units.h"
#include "play/perform/report_cursor.h"
#include "play/perform/write_claims.h"

#include "controller/pacing.h"
#include "platform/clock.h"
#include "rumble/rumble_blocks.h"

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

namespace {

long long CountsFromUs(long long us, long long frequency) { return RescaleCount(us, MicrosecondsPerSecond, frequency); }

// What the controllers' threads share.
struct Stage {
    long long Start = 0;
    long long Frequency = 0;
    long long PhaseCounts = 0;   // how far each controller plays behind the one before
    WriteClaims Claims;
    std::mutex Lock;             // guards PlayedUs
    long long PlayedUs = 0;
    std::atomic<bool> Stop{false};  // a controller was lost: the others stop too
    const ProgressHandler* Progress = nullptr;
};

void ReportProgress(Stage& stage, long long playedUs)
{
    std::lock_guard<std::mutex> guard(stage.Lock);
    stage.PlayedUs = std::max(stage.PlayedUs, playedUs);
    if (*stage.Progress) (*stage.Progress)(stage.PlayedUs);
}

PerformOutcome PerformOne(Stage& stage, std::size_t c, const PerformedController& controller, long long lengthUs,
                          long long repeatFromUs, int passes, PerformTiming* timing)
{
    ControllerConnection& connection = *controller.Connection;
    const std::vector<ScheduledReport>& reports = controller.Plan->Reports;
    if (timing != nullptr) timing->LateNs.reserve(reports.size());
    // Each controller plays a fixed share of the interval after the one before it, so that
    // reports due together do not meet; the claims keep a short gap where schedules differ.
    const long long phase = stage.PhaseCounts * static_cast<long long>(c);
    const long long early = CountsFromUs(controller.Plan->WriteAllowanceUs, stage.Frequency);
    // Each pass's reports play their due time after its origin; a later pass's first report is
    // due where the pass before ends.
    const long long passUs = lengthUs - repeatFromUs;
    const long long passCounts = CountsFromUs(passUs, stage.Frequency);
    ReportCursor cursor;
    StartReportCursor(cursor, *controller.Plan, lengthUs, repeatFromUs, passes);
    const long long origin = stage.Start + phase;
    const auto passStartOf = [&](long long pass) { return origin + pass * passCounts; };
    long long lastPassStart = origin;
    while (HasNextReport(cursor)) {
        if (stage.Stop) return PerformOutcome::Interrupted;
        const long long turn = std::max(NextReportTurnOf(connection) - early, origin);
        // After a stall, reports due before the next one could go out anyway are stale: the
        // latest of them carries the state, rather than a burst of old ones.
        const long long earliest = std::max(ReadCounter(), turn);
        long long pass = 0;
        long long dueUs = 0;
        int passedOver = 0;
        const ScheduledReport report = TakeNextReport(
            cursor,
            [&](long long p, long long us) { return passStartOf(p) + CountsFromUs(us, stage.Frequency) <= earliest; },
            &pass, &dueUs, &passedOver);
        if (timing != nullptr) timing->PassedOver += passedOver;
        lastPassStart = passStartOf(pass);
        const long long due = lastPassStart + CountsFromUs(dueUs, stage.Frequency);
        const long long at = ClaimWriteTime(stage.Claims, c, std::max(due, turn));
        const long long sent = WaitUntilCounter(at, true);
        if (sent < 0) return PerformOutcome::Interrupted;
        if (timing != nullptr)
            timing->LateNs.push_back(RescaleCount(sent - due, stage.Frequency, NanosecondsPerSecond));
        SendRumbleBlocksOn(connection.Link, report.Left.Bytes, report.Right.Bytes);
        NoteReportWrittenOn(connection);
        if (connection.Link.WriteLength < 0) {
            stage.Stop = true;
            return PerformOutcome::ControllerLost;
        }
        ReportProgress(stage, pass * passUs + dueUs);
    }
    const long long end = std::max(lastPassStart + CountsFromUs(lengthUs, stage.Frequency), NextReportTurnOf(connection));
    if (WaitUntilCounter(end, true) < 0) return PerformOutcome::Interrupted;
    return stage.Stop ? PerformOutcome::Interrupted : PerformOutcome::Played;
}

}  // namespace

PerformOutcome PerformSchedules(const std::vector<PerformedController>& controllers, const ProgressHandler& progress,
                                PerformTiming* timing, std::size_t* lost, int passes)
{
    Stage stage;
    stage.Frequency = ReadCounterFrequency();
    long long lengthUs = 0;
    long long repeatFromUs = controllers.empty() ? 0 : controllers.front().Plan->RepeatFromUs;
    long long interval = 0;
    for (const PerformedController& c : controllers) {
        lengthUs = std::max(lengthUs, c.Plan->LengthUs);
        repeatFromUs = std::min(repeatFromUs, c.Plan->RepeatFromUs);
        interval = std::max(interval, c.Connection->MinIntervalCounts);
    }
    if (lengthUs - repeatFromUs <= 0) passes = 1;  // nothing to repeat
    stage.Start = ReadCounter() + interval;
    stage.PhaseCounts = controllers.empty() ? 0 : interval / static_cast<long long>(controllers.size());
    StartWriteClaims(stage.Claims, controllers.size(),
                     std::min(stage.PhaseCounts, CountsFromUs(LeastGapBetweenControllersUs, stage.Frequency)));
    stage.Progress = &progress;

    std::vector<PerformOutcome> outcomes(controllers.size(), PerformOutcome::Played);
    std::vector<PerformTiming> timings(controllers.size());
    const auto perform = [&](std::size_t c) {
        outcomes[c] = PerformOne(stage, c, controllers[c], lengthUs, repeatFromUs, passes,
                                 timing != nullptr ? &timings[c] : nullptr);
    };
    if (controllers.size() == 1) {
        perform(0);
    } else {
        std::vector<std::thread> threads;
        for (std::size_t c = 0; c < controllers.size(); ++c) threads.emplace_back(perform, c);
        for (std::thread& thread : threads) thread.join();
    }
    if (timing != nullptr) {
        for (const PerformTiming& t : timings) {
            timing->LateNs.insert(timing->LateNs.end(), t.LateNs.begin(), t.LateNs.end());
            timing->PassedOver += t.PassedOver;
        }
    }
    for (std::size_t c = 0; c < controllers.size(); ++c) {
        if (outcomes[c] != PerformOutcome::ControllerLost) continue;
        if (lost != nullptr) *lost = c;
        return PerformOutcome::ControllerLost;
    }
    for (const PerformOutcome outcome : outcomes)
        if (outcome != PerformOutcome::Played) return outcome;
    if (progress) progress(repeatFromUs + (lengthUs - repeatFromUs) * std::max(passes, 1));
    return PerformOutcome::Played;
}

PerformOutcome PerformSchedule(ControllerConnection& connection, const Schedule& schedule,
                               const ProgressHandler& progress, PerformTiming* timing)
{
    return PerformSchedules({PerformedController{&connection, &schedule}}, progress, timing, nullptr);
}
