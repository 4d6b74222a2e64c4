#include "platform/sound_decoder.h"

bool OpenDecodedSound(const std::string&, SoundSource*, std::string* error)
{
    *error = "the Windows build reads WAV only (FLAC, Ogg, MP3 and AIFF are read on Linux)";
    return false;
}
