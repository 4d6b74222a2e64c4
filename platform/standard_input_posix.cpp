#include "platform/standard_input.h"

void ReadStandardInputAsBytes() {}
