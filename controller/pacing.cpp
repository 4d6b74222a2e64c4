#include "controller/pacing.h"

#include "common/time_units.h"
#include "platform/clock.h"
#include "platform/interrupt.h"
#include "platform/sleep.h"

#include <algorithm>

namespace {

// Sleeps are cut into pieces no longer than this, so that an interrupt is seen soon.
constexpr long long LongestSleepUs = 50000;

}  // namespace

long long RescaleCount(long long value, long long from, long long to)
{
    return value / from * to + value % from * to / from;
}

long long WaitUntilCounter(long long target, bool stopAtInterrupt)
{
    const long long frequency = ReadCounterFrequency();
    const long long margin = RescaleCount(SleepMarginUs(), MicrosecondsPerSecond, frequency);
    for (;;) {
        const long long now = ReadCounter();
        if (now >= target) return now;
        if (stopAtInterrupt && IsInterruptRequested()) return -1;
        const long long left = target - now;
        if (left > margin)
            SleepMicroseconds(std::min(RescaleCount(left - margin, frequency, MicrosecondsPerSecond), LongestSleepUs));
    }
}

long long NextReportTurnOf(const ControllerConnection& connection)
{
    return connection.HasWritten ? connection.LastWriteCounter + connection.MinIntervalCounts : ReadCounter();
}

void WaitForReportTurnOn(const ControllerConnection& connection)
{
    if (connection.HasWritten) WaitUntilCounter(NextReportTurnOf(connection), false);
}

void NoteReportWrittenOn(ControllerConnection& connection)
{
    connection.LastWriteCounter = ReadCounter();
    connection.HasWritten = true;
}
