// Sends schedules' reports to controllers on time: sleeping until shortly before each is due,
// then spinning on the high-resolution counter.
#pragma once

#include "controller/connection.h"
#include "play/schedule/report_schedule.h"

#include <functional>
#include <vector>

enum class PerformOutcome { Played, Interrupted, ControllerLost };

// Called after each report with the time played so far; with several controllers from their
// threads, one call at a time.
using ProgressHandler = std::function<void(long long playedUs)>;

// How the reports went out, as the player's own counter saw it.
struct PerformTiming {
    std::vector<long long> LateNs;  // of each report sent: counter at sending minus its due time
    int PassedOver = 0;             // reports passed over after a stall
};

struct PerformedController {
    ControllerConnection* Connection;
    const Schedule* Plan;
};

// Plays each controller's schedule from one start, one interval (the connection's) after the call.
// No report to a controller goes out less than its interval after the end of the write before,
// set-up included, however late that was; after a stall, reports that are overdue by the time the
// next one may go out are passed over for the latest of them, which carries the state (a streamed
// one as a block that sets both bands to the state it leaves). Reports due together reach an
// adapter spread over the interval: controller k plays k intervals divided by the number of
// controllers behind the first; and a write that would come within 2 ms of another controller's
// waits until then. Each controller has a thread of its own, so that a write that is slow to return
// delays no other controller. Returns once the longest piece has passed (and an interval after each
// last report, so that the tear-down keeps its distance too), at an interrupt, or when a write
// fails; *lost (when given) then names the controller. With timing, records every report's
// lateness. With passes above 1 the pieces play that many times, each pass the longest piece's
// length after the one before (0: until an interrupt); a pass leaves out the reports due at its
// very end, where the next pass begins, and a pass after the first begins at the schedules'
// RepeatFromUs (the least of them). The progress handler then gets the time played over all passes.
PerformOutcome PerformSchedules(const std::vector<PerformedController>& controllers, const ProgressHandler& progress,
                                PerformTiming* timing, std::size_t* lost, int passes = 1);

// One controller.
PerformOutcome PerformSchedule(ControllerConnection& connection, const Schedule& schedule,
                               const ProgressHandler& progress, PerformTiming* timing = nullptr);
