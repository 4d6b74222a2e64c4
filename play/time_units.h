// Units of time as tavrel-play counts them (schedules in microseconds).
#pragma once

constexpr long long MicrosecondsPerMillisecond = 1000;
constexpr long long MillisecondsPerSecond = 1000;
constexpr long long MicrosecondsPerSecond = 1000000;
constexpr long long NanosecondsPerMicrosecond = 1000;
constexpr long long NanosecondsPerSecond = 1000000000;
constexpr long long SecondsPerMinute = 60;
