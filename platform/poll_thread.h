// The background thread of the input monitor.
#pragma once

// Starts body on a new thread (default stack size, no argument) and keeps its handle.
void StartPlatformThread(void (*body)());

// Ends the thread started last, once it has been asked to leave its loop and given its grace.
// A thread that has left it ends by itself; on Windows one that has not ended within a short
// wait is terminated (exit code 0xFFFFFFFF), on POSIX it is joined, which is bounded because
// every read and wait of the loop is bounded. Either way the thread runs no more after this.
void EndPlatformThread();
