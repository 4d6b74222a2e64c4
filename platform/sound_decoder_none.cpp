#include "platform/sound_decoder.h"

const char* DecodedSoundFormats() { return ""; }

bool LooksLikeDecodedSound(const std::string&) { return false; }

bool OpenDecodedSound(const std::string&, SoundSource*, std::string* error)
{
    *error = "this build reads WAV only";
    return false;
}
