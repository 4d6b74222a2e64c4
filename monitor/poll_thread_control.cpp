#include "monitor/poll_thread_control.h"

#include "monitor/input_report.h"
#include "platform/poll_thread.h"
#include "rumble/delay.h"

namespace {

constexpr int PollIntervalMs = 16;
constexpr int StopGraceMs = 100;
constexpr int AliveWindowMs = 100;

void RunPollLoop()
{
    while (PollRun != 0) {
        PollRunning = 1;
        PollInputReport();
        DelayMs(PollIntervalMs);
    }
    PollRunning = 0;
}

}  // namespace

std::atomic<unsigned char> PollRun{0};
std::atomic<unsigned char> PollRunning{0};

void StartPollThread()
{
    // One polling thread at most: a thread still running from an earlier start is ended first,
    // as a stop ends it, so that StopPollThread never leaves one behind.
    PollRun = 0;
    EndPlatformThread();
    PollRun = 1;
    StartPlatformThread(RunPollLoop);
}

void StopPollThread()
{
    PollRun = 0;
    // Not shortened by an interrupt: a thread ended forcibly may be holding a lock (the
    // console's, the heap's) that the tear-down then waits for forever.
    DelayMsThroughInterrupt(StopGraceMs);
    // No polling after return: a thread that left its loop is joined; one still inside it is
    // terminated on Windows after a short wait, and on POSIX joined, which ends within one bounded read
    // (HidReadTimeoutMs) and one wait, since it sees PollRun at 0 at the top of its next pass.
    EndPlatformThread();
}

int CheckInputAlive()
{
    ControllerState.ReportSeen = 0;
    DelayMs(AliveWindowMs);
    return ControllerState.ReportSeen != 0 ? 1 : 0;
}
