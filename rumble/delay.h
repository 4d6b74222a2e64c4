// Busy-wait timer on the high-resolution counter.
#pragma once

// Returns once more than ms milliseconds have passed since the call began, or early, within
// a counter read, when an interrupt has been requested. Spins; never sleeps.
void DelayMs(int ms);

// The same wait, but it does not end early on an interrupt: for waits that an interrupt must
// not shorten, such as the grace time a stopping thread is given.
void DelayMsThroughInterrupt(int ms);
