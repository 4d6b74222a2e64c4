// tavrel-play FILE: the file read through the engine, then written as a .bnvib, printed as a
// schedule or a listing, or played on the controllers.
#pragma once

#include "play/cli/options.h"

// Returns the exit status.
int PlayFile(const Options& options);
