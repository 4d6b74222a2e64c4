#include "platform/interrupt.h"

#include "platform/console_control_win32.h"

#include <atomic>

namespace {

std::atomic<int> InterruptRequests{0};

}  // namespace

BOOL WINAPI HandleConsoleControl(DWORD controlType)
{
    switch (controlType) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
        // Runs on a thread of its own; the main thread may hold any lock, so end without
        // running exit-time clean-up.
        if (InterruptRequests.fetch_add(1) > 0)
            TerminateProcess(GetCurrentProcess(), InterruptedExitStatus);
        return TRUE;
    case CTRL_CLOSE_EVENT:
        // Returning would let Windows end the process before the controller is restored.
        // The run's own exit ends this thread with the process; the bound covers a run that
        // does not get there.
        InterruptRequests.fetch_add(1);
        Sleep(ConsoleCloseGraceMs);
        return TRUE;
    default:
        return FALSE;
    }
}

void InstallInterruptHandlers() { SetConsoleCtrlHandler(HandleConsoleControl, TRUE); }

bool IsInterruptRequested() { return InterruptRequests.load(std::memory_order_relaxed) > 0; }

void RequestInterrupt() { InterruptRequests.fetch_add(1); }

void ClearInterruptRequest() { InterruptRequests.store(0); }
