#include "rumble/delay.h"

#include "common/time_units.h"
#include "platform/clock.h"
#include "platform/interrupt.h"

namespace {

void WaitMs(int ms, bool interruptible)
{
    const double frequency = static_cast<double>(ReadCounterFrequency());
    const double start = static_cast<double>(ReadCounter());
    for (;;) {
        double elapsed = (static_cast<double>(ReadCounter()) - start) / frequency * MillisecondsPerSecond;
        // Strict: DelayMs(0) still waits for the counter to move on.
        if (elapsed > ms) return;
        if (interruptible && IsInterruptRequested()) return;
    }
}

}  // namespace

void DelayMs(int ms) { WaitMs(ms, true); }

void DelayMsThroughInterrupt(int ms) { WaitMs(ms, false); }
