#include "platform/message_box.h"

#include <windows.h>

namespace {
// MessageBoxA style: a single OK button, no icon.
constexpr UINT OkButtonOnly = 0;
}

void ShowMessageBox(const char* text)
{
    // No owner window and no caption of its own: the system's default caption is shown.
    MessageBoxA(nullptr, text, nullptr, OkButtonOnly);
}
