// A SoundSource over our own WAV reader.
#pragma once

#include "play/sound/sound_source.h"

#include <cstdio>

// Reads the WAV from in (closed with the source where owned), firstBytes already taken from it.
// fileBytes, where known (a file, not a pipe), checks the header's sizes against the file's
// before any sample is read.
bool OpenWavSource(std::FILE* in, bool owned, const std::string& firstBytes, long long fileBytes, SoundSource* source,
                   std::string* error);
