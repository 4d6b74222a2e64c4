#include "platform/sound_decoder.h"

#include <sndfile.h>

#include <cstring>

namespace {

std::string FormatName(int format)
{
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_TYPEMASK;
    std::string name = sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name != nullptr ? info.name : "sound";
    info = SF_FORMAT_INFO{};
    info.format = format & SF_FORMAT_SUBMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) == 0 && info.name != nullptr)
        name += std::string(", ") + info.name;
    return name;
}

}  // namespace

bool OpenDecodedSound(const std::string& path, SoundSource* source, std::string* error)
{
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        *error = sf_strerror(nullptr);
        return false;
    }
    std::shared_ptr<SNDFILE> handle(file, [](SNDFILE* f) { sf_close(f); });
    if (info.samplerate <= 0 || info.channels <= 0 || info.channels > MaxSoundChannels) {
        *error = "a rate of " + std::to_string(info.samplerate) + " with " + std::to_string(info.channels) + " channels";
        return false;
    }
    if (info.frames > MaxSoundSeconds * info.samplerate) {
        *error = std::string("longer than ") + LongestSoundText;
        return false;
    }
    source->Info = SoundInfo{FormatName(info.format), info.samplerate, info.channels, info.frames};
    source->Handle = handle;
    source->Read = [file](float* samples, long long frames, std::string* readError) -> long long {
        const sf_count_t got = sf_readf_float(file, samples, frames);
        if (got <= 0 && sf_error(file) != SF_ERR_NO_ERROR) {
            *readError = sf_strerror(file);
            return -1;
        }
        return got;
    };
    return true;
}
