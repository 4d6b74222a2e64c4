#include "platform/standard_input.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

void ReadStandardInputAsBytes() { _setmode(_fileno(stdin), _O_BINARY); }
