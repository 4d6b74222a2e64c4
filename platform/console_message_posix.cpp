// There is no window of its own to lose the text with: the message box stand-in already writes
// it to standard error.
#include "platform/console_message.h"

#include "platform/message_box.h"

void ShowConsoleMessage(const char* text) { ShowMessageBox(text); }
