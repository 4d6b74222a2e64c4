// The monitor's thread on Windows: started with _beginthread, ended by TerminateThread when it
// does not leave its loop in time.
#include "platform/poll_thread.h"

#include <windows.h>
#include <process.h>

#include <atomic>
#include <cstdint>

namespace {

constexpr DWORD ForcedExitCode = 0xFFFFFFFF;

// How long EndPlatformThread lets a thread that was asked to leave end by itself: one that has
// left its loop is only returning. A thread still inside its loop after that is terminated.
constexpr DWORD ThreadLeaveWaitMs = 100;

// How long a terminated thread may take to be gone; far beyond what it takes.
constexpr DWORD ThreadEndWaitMs = 2000;

// _beginthread's error result.
constexpr std::uintptr_t ThreadStartFailed = static_cast<std::uintptr_t>(-1);

std::atomic<void (*)()> ThreadBody{nullptr};

// Our own handle to the thread. The one _beginthread returns is closed by the runtime as soon
// as the thread ends, and could then name another object; a duplicate stays ours until closed.
HANDLE PollThreadHandle = nullptr;

// Set once the duplicate exists. The thread waits for it before running its body, so the
// runtime's handle cannot have been closed while it is being duplicated.
HANDLE HandleKept = nullptr;

void __cdecl RunThreadBody(void*)
{
    WaitForSingleObject(HandleKept, INFINITE);
    ThreadBody.load()();
}

}  // namespace

void StartPlatformThread(void (*body)())
{
    if (HandleKept == nullptr) HandleKept = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    ResetEvent(HandleKept);
    ThreadBody.store(body);

    std::uintptr_t started = _beginthread(RunThreadBody, 0, nullptr);
    if (started != ThreadStartFailed && started != 0) {
        HANDLE runtimeHandle = reinterpret_cast<HANDLE>(started);
        if (!DuplicateHandle(GetCurrentProcess(), runtimeHandle, GetCurrentProcess(),
                             &PollThreadHandle, 0, FALSE, DUPLICATE_SAME_ACCESS))
            PollThreadHandle = nullptr;
    }
    SetEvent(HandleKept);
}

void EndPlatformThread()
{
    if (PollThreadHandle == nullptr) return;
    if (WaitForSingleObject(PollThreadHandle, ThreadLeaveWaitMs) == WAIT_TIMEOUT) {
        // Asked to leave but still running: it must not run on after this returns.
        TerminateThread(PollThreadHandle, ForcedExitCode);
        WaitForSingleObject(PollThreadHandle, ThreadEndWaitMs);
    }
    CloseHandle(PollThreadHandle);
    PollThreadHandle = nullptr;
}
