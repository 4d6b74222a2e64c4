// In the browser the page decodes sound other than WAV itself (decodeAudioData) and hands the
// engine frames; the engine opens no path.
#include "platform/sound_decoder.h"

bool OpenDecodedSound(const std::string&, SoundSource*, std::string* error)
{
    *error = "the page decodes this sound itself";
    return false;
}
