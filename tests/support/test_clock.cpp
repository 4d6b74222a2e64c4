#include "tests/support/test_clock.h"

#include "platform/clock.h"
#include "platform/sleep.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace test_clock {
namespace {

std::atomic<long long> Counter{0};
std::atomic<long long> Step{DefaultStepNs};
std::atomic<long long> Frequency{NanosecondsPerSecond};
std::atomic<long long> Readings{0};
std::atomic<long long> FrequencyReads{0};
std::atomic<long long> JumpReading{0};
std::atomic<long long> JumpCount{0};
std::atomic<bool> RealTime{false};
std::atomic<long long> Sleeps{0};

long long SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

void Reset()
{
    Counter = 0;
    Step = DefaultStepNs;
    Frequency = NanosecondsPerSecond;
    Readings = 0;
    FrequencyReads = 0;
    JumpReading = 0;
    JumpCount = 0;
    RealTime = false;
    Sleeps = 0;
}

void FollowRealTime() { RealTime = true; }

bool FollowsRealTime() { return RealTime.load(); }

void SetStep(long long step) { Step = step; }

void JumpAtReading(long long reading, long long count)
{
    JumpCount = count;
    JumpReading = reading;
}

void Advance(long long count) { Counter += count; }

void SetFrequency(long long countsPerSecond) { Frequency = countsPerSecond; }
long long Now() { return RealTime ? SteadyNs() : Counter.load(); }
long long CounterReadings() { return Readings.load(); }
long long FrequencyReadings() { return FrequencyReads.load(); }
long long SleepCount() { return Sleeps.load(); }

long long DelayCounts(int ms, long long stepNs)
{
    // The readings after the first until one is more than ms past it, judged in milliseconds
    // as a double, and the step after each of them and after the first.
    long long after = ms > 0 ? ms * NanosecondsPerMillisecond / stepNs - 1 : 1;
    if (after < 1) after = 1;
    while (static_cast<double>(after * stepNs) / NanosecondsPerSecond * 1000.0 <= ms) ++after;
    return (after + 1) * stepNs;
}

}  // namespace test_clock

long long ReadCounterFrequency()
{
    ++test_clock::FrequencyReads;
    return test_clock::RealTime ? NanosecondsPerSecond : test_clock::Frequency.load();
}

long long ReadCounter()
{
    const long long reading = ++test_clock::Readings;
    if (test_clock::RealTime) return test_clock::SteadyNs();
    const long long value = test_clock::Counter.fetch_add(test_clock::Step.load());
    if (reading == test_clock::JumpReading.load()) test_clock::Counter += test_clock::JumpCount.load();
    return value;
}

// Sleeping moves the counter on by the time slept (at the set frequency), and a sleep is
// counted; following real time, it sleeps for real.
void BeginPreciseSleep() {}
void EndPreciseSleep() {}

void SleepMicroseconds(long long us)
{
    if (us <= 0) return;
    ++test_clock::Sleeps;
    if (test_clock::RealTime) {
        std::this_thread::sleep_for(std::chrono::microseconds(us));
        return;
    }
    test_clock::Counter += us * test_clock::Frequency.load() / 1000000;
}

long long SleepMarginUs() { return test_clock::SleepMarginUs; }
