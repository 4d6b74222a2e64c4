#include "platform/terminal.h"

#include <unistd.h>

bool IsOutputTerminal() { return isatty(STDOUT_FILENO) != 0; }
