// Reads a .bnvib file, the rumble files of Nintendo's own games: little-endian; a u32 metadata
// size (4, 0xC with a loop start and end, 0x10 with a loop wait as well); u16 format 3; u16
// sample rate (200); the loop fields; a u32 data size; then 4-byte samples: low band amplitude,
// low band frequency, high band amplitude, high band frequency (amplitude byte/255 of full,
// frequency 10 x 2^(byte/32) Hz). The layout as the switchbrew wiki page BNVIB gives it.
#pragma once

#include "play/readers/rumble_stream.h"

#include <string>

// True when the bytes start as a .bnvib does (a metadata size of 4, 0xC or 0x10, format 3).
bool LooksLikeBnvib(const std::string& bytes);

// Reads the whole file into stream, amplitudes above the safe maximum lowered to it. False
// with error at the first fault.
bool ReadBnvib(const std::string& bytes, RumbleStream* stream, RumbleFileError* error);

// The bytes of a .bnvib of the stream (its loop too), at 200 samples a second.
std::string FormBnvib(const RumbleStream& stream);
