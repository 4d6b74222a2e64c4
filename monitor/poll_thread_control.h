// The polling thread: reads and decodes input reports in the background, 16 ms apart, and the
// check that reports are arriving.
#pragma once

#include <atomic>

// 1 while the polling thread is asked to go on; written by the main thread.
extern std::atomic<unsigned char> PollRun;
// 1 while the polling thread is inside its loop; written by the polling thread. Left at 1 when
// the thread had to be ended forcibly. The thread's handle (PollThread) is kept by
// platform/poll_thread.
extern std::atomic<unsigned char> PollRunning;

// Sets PollRun and starts the polling thread. Does not wait for its first pass.
void StartPollThread();

// Asks the polling thread to stop and gives it 100 ms; a thread still in its loop then is ended
// forcibly. No report is read by the polling thread after this returns.
void StopPollThread();

// Clears ReportSeen, waits 100 ms and returns 1 when a report with a nonzero ID arrived in the
// meantime (read by another thread, normally the polling thread), else 0.
int CheckInputAlive();
