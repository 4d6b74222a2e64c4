// A SoundSource over our own WAV reader.
#pragma once

#include "play/sound/sound_source.h"

#include <cstdio>

// Reads the WAV from in (closed with the source where owned), firstBytes already taken from it.
bool OpenWavSource(std::FILE* in, bool owned, const std::string& firstBytes, SoundSource* source, std::string* error);
