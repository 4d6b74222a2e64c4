#include "platform/clock.h"

#include "common/time_units.h"

#include <ctime>

long long ReadCounterFrequency() { return NanosecondsPerSecond; }

long long ReadCounter()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * NanosecondsPerSecond + now.tv_nsec;
}
