// The background thread of the input monitor.
#pragma once

// Starts body on a new thread (default stack size, no argument) and keeps its handle.
void StartPlatformThread(void (*body)());

// Ends the thread started last. forcibly: it did not leave its loop in time; on Windows it is
// terminated (exit code 0xFFFFFFFF), on POSIX it is joined, which is bounded because every read
// and wait of the loop is bounded. Either way the thread runs no more after this returns.
void EndPlatformThread(bool forcibly);
