// A sound file read as it comes, a block of frames at a time, so that an hour of sound needs no
// more memory than a block: WAV on every platform through our own reader (also from standard
// input), and where the build has a decoding library the formats it reads, from files.
#pragma once

#include "platform/sound_decoder.h"

#include <cstddef>
#include <string>

// How many first bytes tell a sound file.
constexpr std::size_t SoundSignatureBytes = 12;

// True when the first bytes are those of a sound file this build reads.
bool LooksLikeSound(const std::string& firstBytes);

// Opens path ("-" for standard input, whose first bytes were already taken: firstBytes). False
// with error: why ("byte N: why" where a byte is at fault).
bool OpenSoundSource(const std::string& path, const std::string& firstBytes, SoundSource* source, std::string* error);
