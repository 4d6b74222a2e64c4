// Units of time, as every layer counts them: schedules in microseconds, the counter's readings
// rescaled from its own frequency, logs in nanoseconds.
#pragma once

constexpr long long MicrosecondsPerMillisecond = 1000;
constexpr long long MillisecondsPerSecond = 1000;
constexpr long long MicrosecondsPerSecond = 1000000;
constexpr long long NanosecondsPerMicrosecond = 1000;
constexpr long long NanosecondsPerMillisecond = 1000000;
constexpr long long NanosecondsPerSecond = 1000000000;
constexpr long long SecondsPerMinute = 60;
