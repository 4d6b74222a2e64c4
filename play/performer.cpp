#include "play/performer.h"

#include "play/time_units.h"

#include "platform/clock.h"
#include "platform/interrupt.h"
#include "platform/sleep.h"

#include <algorithm>
#include <vector>

namespace {

// Sleeps are cut into pieces no longer than this, so that an interrupt is seen soon.
constexpr long long LongestSleepUs = 50000;

// value counted at from per second, counted at to per second, without
// overflow for any length a piece may have.
long long Rescale(long long value, long long from, long long to)
{
    return value / from * to + value % from * to / from;
}

long long CountsFromUs(long long us, long long frequency) { return Rescale(us, MicrosecondsPerSecond, frequency); }

// Waits until the counter reaches target. Returns the reading that reached it, or -1 at an
// interrupt.
long long WaitUntil(long long target, long long frequency)
{
    const long long margin = CountsFromUs(SleepMarginUs(), frequency);
    for (;;) {
        const long long now = ReadCounter();
        if (now >= target) return now;
        if (IsInterruptRequested()) return -1;
        const long long left = target - now;
        if (left > margin) {
            SleepMicroseconds(std::min(Rescale(left - margin, frequency, MicrosecondsPerSecond), LongestSleepUs));
        }
    }
}

}  // namespace

PerformOutcome PerformSchedule(ControllerLinkRecord& link, const Schedule& schedule, long long minIntervalUs,
                               const ProgressHandler& progress, PerformTiming* timing)
{
    return PerformSchedules({PerformedController{&link, &schedule}}, minIntervalUs, progress, timing, nullptr);
}

PerformOutcome PerformSchedules(const std::vector<PerformedController>& controllers, long long minIntervalUs,
                                const ProgressHandler& progress, PerformTiming* timing, std::size_t* lost)
{
    struct Cursor {
        std::size_t Next = 0;   // the next report to send
        long long LastSent = 0; // counter at the end of the last write
    };
    if (timing != nullptr)
        for (const PerformedController& c : controllers) timing->LateNs.reserve(timing->LateNs.size() + c.Plan->Reports.size());
    const long long frequency = ReadCounterFrequency();
    const long long gap = CountsFromUs(minIntervalUs, frequency);
    const long long start = ReadCounter() + gap;
    std::vector<Cursor> cursors(controllers.size());
    long long lengthUs = 0;
    for (std::size_t c = 0; c < controllers.size(); ++c) {
        cursors[c].LastSent = start - gap;
        lengthUs = std::max(lengthUs, controllers[c].Plan->LengthUs);
    }
    const auto dueOf = [&](std::size_t c, std::size_t i) {
        return start + CountsFromUs(controllers[c].Plan->Reports[i].DueUs, frequency);
    };
    long long playedUs = 0;
    for (;;) {
        // The controller whose next report may go out first; each keeps its own interval.
        std::size_t chosen = controllers.size();
        long long target = 0;
        for (std::size_t c = 0; c < controllers.size(); ++c) {
            if (cursors[c].Next == controllers[c].Plan->Reports.size()) continue;
            const long long at = std::max(dueOf(c, cursors[c].Next), cursors[c].LastSent + gap);
            if (chosen == controllers.size() || at < target) {
                chosen = c;
                target = at;
            }
        }
        if (chosen == controllers.size()) break;
        Cursor& cursor = cursors[chosen];
        const std::vector<ScheduledReport>& reports = controllers[chosen].Plan->Reports;
        // After a stall, reports due before the next one could go out anyway are stale: the
        // latest of them carries the state, rather than a burst of old ones.
        const long long earliest = std::max(ReadCounter(), cursor.LastSent + gap);
        while (cursor.Next + 1 < reports.size() && dueOf(chosen, cursor.Next + 1) <= earliest) {
            ++cursor.Next;
            if (timing != nullptr) ++timing->PassedOver;
        }
        const ScheduledReport& report = reports[cursor.Next];
        const long long due = dueOf(chosen, cursor.Next);
        const long long sent = WaitUntil(std::max(due, cursor.LastSent + gap), frequency);
        if (sent < 0) return PerformOutcome::Interrupted;
        if (timing != nullptr) timing->LateNs.push_back(Rescale(sent - due, frequency, NanosecondsPerSecond));
        ControllerLinkRecord& link = *controllers[chosen].Link;
        SendRumbleBlocksOn(link, report.Left.Bytes, report.Right.Bytes);
        if (link.WriteLength < 0) {
            if (lost != nullptr) *lost = chosen;
            return PerformOutcome::ControllerLost;
        }
        // The interval counts from the end of the write: a write held up in the system (or a
        // process stalled inside it) may have reached the controller only then.
        cursor.LastSent = ReadCounter();
        ++cursor.Next;
        playedUs = std::max(playedUs, report.DueUs);
        if (progress) progress(playedUs);
    }
    long long end = start + CountsFromUs(lengthUs, frequency);
    for (const Cursor& cursor : cursors) end = std::max(end, cursor.LastSent + gap);
    if (WaitUntil(end, frequency) < 0) return PerformOutcome::Interrupted;
    if (progress) progress(lengthUs);
    return PerformOutcome::Played;
}
