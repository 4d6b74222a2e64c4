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
    if (timing != nullptr) timing->LateNs.reserve(schedule.Reports.size());
    const long long frequency = ReadCounterFrequency();
    const long long gap = CountsFromUs(minIntervalUs, frequency);
    const long long start = ReadCounter() + gap;
    long long lastSent = start - gap;
    const std::vector<ScheduledReport>& reports = schedule.Reports;
    for (std::size_t i = 0; i < reports.size(); ++i) {
        // After a stall, reports due before the next one could go out anyway are stale: the
        // latest of them carries the state, rather than a burst of old ones.
        const long long earliest = std::max(ReadCounter(), lastSent + gap);
        while (i + 1 < reports.size() && start + CountsFromUs(reports[i + 1].DueUs, frequency) <= earliest) {
            ++i;
            if (timing != nullptr) ++timing->PassedOver;
        }
        const ScheduledReport& report = reports[i];
        const long long due = start + CountsFromUs(report.DueUs, frequency);
        const long long sent = WaitUntil(std::max(due, lastSent + gap), frequency);
        if (sent < 0) return PerformOutcome::Interrupted;
        if (timing != nullptr)
            timing->LateNs.push_back(Rescale(sent - due, frequency, NanosecondsPerSecond));
        SendRumbleBlocksOn(link, report.Rumble.Bytes, report.Rumble.Bytes);
        if (link.WriteLength < 0) return PerformOutcome::ControllerLost;
        // The interval counts from the end of the write: a write held up in the system (or a
        // process stalled inside it) may have reached the controller only then.
        lastSent = ReadCounter();
        if (progress) progress(report.DueUs);
    }
    if (WaitUntil(std::max(start + CountsFromUs(schedule.LengthUs, frequency), lastSent + gap), frequency) < 0)
        return PerformOutcome::Interrupted;
    if (progress) progress(schedule.LengthUs);
    return PerformOutcome::Played;
}
