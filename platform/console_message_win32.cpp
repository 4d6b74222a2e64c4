#include "platform/console_message.h"

#include "platform/message_box.h"

#include <windows.h>

#include <cstdio>

namespace {

// True when the console window was made for this process alone (started from Explorer, or by
// a program that gave it a console of its own) and standard error shows on it. A console shared
// with cmd or PowerShell lists their process too; a program started without a console, or with
// standard error redirected to a file or pipe, has its reader elsewhere.
bool IsAloneOnItsOwnConsoleWindow()
{
    if (GetConsoleWindow() == nullptr) return false;
    DWORD processes[2];
    if (GetConsoleProcessList(processes, 2) != 1) return false;
    DWORD mode = 0;
    return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}

}  // namespace

void ShowConsoleMessage(const char* text)
{
    if (IsAloneOnItsOwnConsoleWindow()) {
        ShowMessageBox(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
}
