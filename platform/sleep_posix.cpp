#include "platform/sleep.h"

#include "common/time_units.h"

#include <ctime>

namespace {

// A nanosleep on an idle Linux machine wakes some 50-100 us late; a busy one can add more.
constexpr long long PosixSleepMarginUs = 1000;

}  // namespace

void BeginPreciseSleep() {}
void EndPreciseSleep() {}

void SleepMicroseconds(long long us)
{
    if (us <= 0) return;
    timespec span{};
    span.tv_sec = static_cast<time_t>(us / MicrosecondsPerSecond);
    span.tv_nsec = static_cast<long>(us % MicrosecondsPerSecond * NanosecondsPerMicrosecond);
    nanosleep(&span, nullptr);  // a signal ends it early: the caller reads the counter again
}

long long SleepMarginUs() { return PosixSleepMarginUs; }
