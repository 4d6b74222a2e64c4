// Without a desktop message box the text goes to standard error, so that standard output
// stays empty and nothing waits for a user.
#include "platform/message_box.h"

#include <cstdio>

void ShowMessageBox(const char* text)
{
    std::fprintf(stderr, "%s\n", text);
    std::fflush(stderr);
}
