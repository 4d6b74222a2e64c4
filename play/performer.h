// Sends a schedule's reports to a controller on time: sleeping until shortly before each is due,
// then spinning on the high-resolution counter.
#pragma once

#include "controller/link.h"
#include "play/schedule.h"

#include <functional>
#include <vector>

enum class PerformOutcome { Played, Interrupted, ControllerLost };

// Called after each report with the time played so far.
using ProgressHandler = std::function<void(long long playedUs)>;

// How the reports went out, as the player's own counter saw it.
struct PerformTiming {
    std::vector<long long> LateNs;  // of each report sent: counter at sending minus its due time
    int PassedOver = 0;             // reports passed over after a stall
};

// Plays schedule on link. The start is one minIntervalUs after the call, so that the first
// report keeps its distance from the set-up's last one. No report goes out less than
// minIntervalUs after the write of the one before ended, however late that was; after a stall,
// reports that are overdue by the time the next one may go out are passed over for the latest
// of them, which carries the state. Returns once the piece's length has passed (and a
// minIntervalUs after the last report, so that the tear-down keeps its distance too), at an
// interrupt, or when a write fails.
// With timing, records every report's lateness.
PerformOutcome PerformSchedule(ControllerLinkRecord& link, const Schedule& schedule, long long minIntervalUs,
                               const ProgressHandler& progress, PerformTiming* timing = nullptr);

struct PerformedController {
    ControllerLinkRecord* Link;
    const Schedule* Plan;
};

// Several controllers at once from one start, each with its own schedule and under the rules
// above on its own: its interval counts from its own last write. Writes go out one at a time,
// the one that may go first first. When a write fails, *lost (when given) names the controller.
PerformOutcome PerformSchedules(const std::vector<PerformedController>& controllers, long long minIntervalUs,
                                const ProgressHandler& progress, PerformTiming* timing, std::size_t* lost);
