#include "platform/sleep.h"

#include <windows.h>

#include <mmsystem.h>

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace {

constexpr long long MicrosecondsPerMillisecond = 1000;
constexpr long long HundredNanosecondsPerMicrosecond = 10;
// A high-resolution timer wakes within about half a millisecond; Sleep with a 1 ms period
// within about two.
constexpr long long TimerMarginUs = 1000;
constexpr long long PeriodMarginUs = 2500;
constexpr UINT SystemTimerPeriodMs = 1;

HANDLE Timer = nullptr;
bool PeriodRaised = false;

}  // namespace

void BeginPreciseSleep()
{
    if (Timer != nullptr || PeriodRaised) return;
    // Windows 10 1803 and later; elsewhere the call fails and the system timer is raised.
    Timer = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, TIMER_ALL_ACCESS);
    if (Timer == nullptr) PeriodRaised = timeBeginPeriod(SystemTimerPeriodMs) == TIMERR_NOERROR;
}

void EndPreciseSleep()
{
    if (Timer != nullptr) CloseHandle(Timer);
    Timer = nullptr;
    if (PeriodRaised) timeEndPeriod(SystemTimerPeriodMs);
    PeriodRaised = false;
}

void SleepMicroseconds(long long us)
{
    if (us <= 0) return;
    if (Timer != nullptr) {
        LARGE_INTEGER due;
        due.QuadPart = -us * HundredNanosecondsPerMicrosecond;  // negative: relative to now
        if (SetWaitableTimer(Timer, &due, 0, nullptr, nullptr, FALSE)) {
            WaitForSingleObject(Timer, INFINITE);
            return;
        }
    }
    Sleep(static_cast<DWORD>(us / MicrosecondsPerMillisecond));
}

long long SleepMarginUs() { return Timer != nullptr ? TimerMarginUs : PeriodMarginUs; }
