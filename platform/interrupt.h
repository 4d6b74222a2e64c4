// Interrupt requests (Ctrl-C, SIGTERM, closing the console; on POSIX also Ctrl-\ and a closed
// terminal). The first request is only recorded, so that the program can stop at its next wait
// and still restore the controller; a second one ends the process at once, except a repeated
// hang-up, which nobody typed.
#pragma once

// Exit status of a run that was interrupted, whatever interrupted it: one status says "stopped
// early, controller restored" on every platform.
constexpr int InterruptedExitStatus = 130;

void InstallInterruptHandlers();
bool IsInterruptRequested();

// Records a request as a signal would; lets tests and the monitor's key loop share one path.
void RequestInterrupt();
void ClearInterruptRequest();
