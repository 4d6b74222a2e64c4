// The high-resolution monotonic counter that all waits are measured on.
#pragma once

// Counts per second of ReadCounter.
long long ReadCounterFrequency();

// Current count; only differences between two readings mean anything.
long long ReadCounter();
