#include "platform/poll_thread.h"

#include <thread>

namespace {
// Handle of the polling thread started last.
std::thread PollThread;
}  // namespace

void StartPlatformThread(void (*body)())
{
    // A second start without an end in between lets go of the earlier thread, as overwriting
    // a handle does on Windows: only the thread started last is ended later.
    if (PollThread.joinable()) PollThread.detach();
    PollThread = std::thread(body);
}

void EndPlatformThread()
{
    // POSIX has no safe forcible end; the loop's reads and waits are all bounded, so joining
    // returns soon after the loop sees its stop flag.
    if (PollThread.joinable()) PollThread.join();
}
