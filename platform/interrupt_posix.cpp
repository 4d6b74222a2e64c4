#include "platform/interrupt.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace {

// Lock-free, so that the signal handlers may touch it.
std::atomic<int> InterruptRequests{0};
static_assert(std::atomic<int>::is_always_lock_free, "signal handler needs a lock-free flag");

// Ctrl-C, Ctrl-\ and SIGTERM: a second one ends the process at once.
extern "C" void HandleInterruptSignal(int)
{
    if (InterruptRequests.fetch_add(1) > 0) _exit(InterruptedExitStatus);
}

// A closed terminal: the kernel and the shell may each send SIGHUP, so a repeat is no second
// request; the restore always runs.
extern "C" void HandleHangUpSignal(int) { InterruptRequests.fetch_add(1); }

void Install(int signal, void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal, &action, nullptr);
}

}  // namespace

void InstallInterruptHandlers()
{
    Install(SIGINT, HandleInterruptSignal);
    Install(SIGTERM, HandleInterruptSignal);
    Install(SIGQUIT, HandleInterruptSignal);
    Install(SIGHUP, HandleHangUpSignal);
    // Output to a closed pipe or terminal fails with EPIPE instead of ending the process with the
    // controller still sounding.
    Install(SIGPIPE, SIG_IGN);
}

bool IsInterruptRequested() { return InterruptRequests.load(std::memory_order_relaxed) > 0; }

void RequestInterrupt() { InterruptRequests.fetch_add(1); }

void ClearInterruptRequest() { InterruptRequests.store(0); }
