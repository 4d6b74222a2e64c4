#include "platform/sleep.h"

#include "common/time_units.h"

#include <windows.h>

#include <mmsystem.h>

#include <atomic>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

constexpr long long HundredNanosecondsPerMicrosecond = 10;
// A high-resolution timer wakes within about half a millisecond; Sleep with a 1 ms period
// within about two.
constexpr long long TimerMarginUs = 1000;
constexpr long long PeriodMarginUs = 2500;
constexpr UINT SystemTimerPeriodMs = 1;

// A waitable timer wakes one waiting thread when it fires: each thread that sleeps has a timer
// of its own, or two sleeping at once would leave one of them waiting for good.
constexpr int MostTimers = 16;

HANDLE CreateTimer() { return CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS); }

std::atomic<bool> HighResolution{false};
bool PeriodRaised = false;
HANDLE Timers[MostTimers] = {};
std::atomic<int> TimerCount{0};
// Each Begin and End starts a new generation: a thread's timer of an earlier one is closed.
std::atomic<int> Generation{0};
thread_local HANDLE ThreadTimer = nullptr;
thread_local int ThreadTimerGeneration = -1;

// This thread's timer, made at its first sleep; nullptr when there is none to be had.
HANDLE TimerOfThisThread()
{
    if (!HighResolution) return nullptr;
    if (ThreadTimer != nullptr && ThreadTimerGeneration == Generation) return ThreadTimer;
    const int slot = TimerCount.fetch_add(1);
    if (slot >= MostTimers) return nullptr;
    Timers[slot] = CreateTimer();
    ThreadTimer = Timers[slot];
    ThreadTimerGeneration = Generation;
    return ThreadTimer;
}

}  // namespace

void BeginPreciseSleep()
{
    if (HighResolution || PeriodRaised) return;
    // Windows 10 1803 and later; elsewhere the call fails and the system timer is raised.
    HANDLE probe = CreateTimer();
    if (probe == nullptr) {
        PeriodRaised = timeBeginPeriod(SystemTimerPeriodMs) == TIMERR_NOERROR;
        return;
    }
    ++Generation;
    Timers[0] = probe;
    TimerCount = 1;
    ThreadTimer = probe;
    ThreadTimerGeneration = Generation;
    HighResolution = true;
}

// Called once no other thread sleeps any more.
void EndPreciseSleep()
{
    if (HighResolution) {
        HighResolution = false;
        ++Generation;
        const int count = TimerCount < MostTimers ? TimerCount.load() : MostTimers;
        for (int i = 0; i < count; ++i)
            if (Timers[i] != nullptr) CloseHandle(Timers[i]);
        TimerCount = 0;
    }
    if (PeriodRaised) timeEndPeriod(SystemTimerPeriodMs);
    PeriodRaised = false;
}

void SleepMicroseconds(long long us)
{
    if (us <= 0) return;
    HANDLE timer = TimerOfThisThread();
    if (timer != nullptr) {
        LARGE_INTEGER due;
        due.QuadPart = -us * HundredNanosecondsPerMicrosecond;  // negative: relative to now
        if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE)) {
            WaitForSingleObject(timer, INFINITE);
            return;
        }
    }
    Sleep(static_cast<DWORD>(us / MicrosecondsPerMillisecond));
}

long long SleepMarginUs() { return HighResolution ? TimerMarginUs : PeriodMarginUs; }
