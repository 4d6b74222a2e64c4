// The console control handler behind InstallInterruptHandlers on Windows, reachable for tests.
#pragma once

#include <windows.h>

// Longest time a console-close request keeps the process alive for the restore to finish.
// Windows ends a process anyway about 5 s after the close; the run ends it sooner by exiting.
constexpr DWORD ConsoleCloseGraceMs = 4000;

// Ctrl-C and Ctrl-Break: the first request is recorded and handled, a second one ends the
// process at once. Console close: recorded, then the handler waits (bounded) so that the run
// can finish its restore and exit on its own.
BOOL WINAPI HandleConsoleControl(DWORD controlType);
