// Reads a .jcvib file, rumble recorded as it was sent: "RRAW", a big-endian u16 period in
// milliseconds between blocks, a big-endian u32 count of blocks, then the 4-byte rumble blocks,
// each of any form. They are played through the block decoder, as a controller would, onto the
// 5 ms sample grid.
#pragma once

#include "play/readers/rumble_stream.h"

#include <string>

bool LooksLikeJcvib(const std::string& bytes);

bool ReadJcvib(const std::string& bytes, RumbleStream* stream, RumbleFileError* error);
