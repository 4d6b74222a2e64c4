// Figures of how late things went out, as the timing reports print them.
#pragma once

#include <string>
#include <vector>

// "p50 0.3 us, p99 812.4 us, max 1502.0 us" of nanosecond values, in any order; not empty.
std::string FormLatencyFigures(std::vector<long long> ns);
