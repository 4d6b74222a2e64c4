// Busy-wait timer on the high-resolution counter.
#pragma once

// Returns once more than ms milliseconds have passed since the call began, or early, within
// a counter read, when an interrupt has been requested. Spins; never sleeps.
void DelayMs(int ms);
