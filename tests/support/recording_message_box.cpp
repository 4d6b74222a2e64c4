#include "tests/support/recording_message_box.h"

#include "platform/console_message.h"
#include "platform/message_box.h"

namespace recording_message_box {
std::vector<std::string> Texts;
}

void ShowMessageBox(const char* text)
{
    recording_message_box::Texts.push_back(text);
}

// Where a console program's message goes is the platform's choice; the tests see its text.
void ShowConsoleMessage(const char* text)
{
    recording_message_box::Texts.push_back(text);
}
