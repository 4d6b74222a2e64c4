// Walking a controller's schedule as a performer sends it, pass after pass: which report is next,
// when it is due, and what goes out when the performer can send only later than that. Holds no
// clock and waits for nothing, so the command line's threads and the browser's timer send the
// same bytes in the same order.
#pragma once

#include "play/schedule/report_schedule.h"
#include "rumble/rumble_blocks.h"

#include <cstddef>
#include <functional>

struct ReportCursor {
    const Schedule* Plan = nullptr;
    long long PassUs = 0;        // how far each pass begins after the one before
    long long RepeatFromUs = 0;  // where a pass after the first begins in the schedule
    long long LengthUs = 0;      // the longest piece's, that every controller plays together
    int Passes = 1;              // 0: until stopped
    long long Pass = 0;
    std::size_t Next = 0;        // the next report of this pass
    std::size_t Count = 0;       // reports this pass plays
    // What the actuators would play had every report so far reached them.
    RumbleSample Left = RestingRumbleSample;
    RumbleSample Right = RestingRumbleSample;
};

// A cursor at the first report of plan, played passes times (0: until stopped) as one of the
// controllers whose longest piece is lengthUs long and whose passes after the first begin at
// repeatFromUs. A pass leaves out the reports due at its very end, where the next pass begins.
void StartReportCursor(ReportCursor& cursor, const Schedule& plan, long long lengthUs, long long repeatFromUs,
                       int passes);

// Whether a report is left to send.
bool HasNextReport(const ReportCursor& cursor);

// The next report's due time within its pass (cursor.Pass, which begins Pass * PassUs after the
// start).
long long NextReportDueUs(const ReportCursor& cursor);

// Whether the report due at dueUs in pass could no longer go out on time.
using OverdueCheck = std::function<bool(long long pass, long long dueUs)>;

// Takes the next report to send. Reports after it that are overdue already are passed over (never
// the last of a pass): the latest of them goes out instead, and a streamed block in it becomes one
// that sets both bands to the state the passed-over ones would have left. *dueUs gets the due
// time of the report taken within its pass, *pass its pass, *passedOver how many were passed.
ScheduledReport TakeNextReport(ReportCursor& cursor, const OverdueCheck& overdue, long long* pass, long long* dueUs,
                               int* passedOver);
