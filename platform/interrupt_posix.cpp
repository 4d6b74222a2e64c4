#include "platform/interrupt.h"

#include <atomic>
#include <csignal>
#include <unistd.h>

namespace {

// Lock-free, so that the signal handler may touch it.
std::atomic<int> InterruptRequests{0};
static_assert(std::atomic<int>::is_always_lock_free, "signal handler needs a lock-free flag");

extern "C" void HandleInterruptSignal(int)
{
    if (InterruptRequests.fetch_add(1) > 0) _exit(InterruptedExitStatus);
}

}  // namespace

void InstallInterruptHandlers()
{
    struct sigaction action = {};
    action.sa_handler = HandleInterruptSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool IsInterruptRequested() { return InterruptRequests.load(std::memory_order_relaxed) > 0; }

void RequestInterrupt() { InterruptRequests.fetch_add(1); }

void ClearInterruptRequest() { InterruptRequests.store(0); }
