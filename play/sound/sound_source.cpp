#include "play/sound/sound_source.h"

#include "play/readers/wav_reader.h"
#include "play/sound/wav_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

bool LooksLikeSound(const std::string& firstBytes) { return LooksLikeWav(firstBytes) || LooksLikeDecodedSound(firstBytes); }

bool OpenSoundSource(const std::string& path, const std::string& firstBytes, SoundSource* source, std::string* error)
{
    const bool standardInput = path == "-";
    if (!LooksLikeWav(firstBytes)) {
        if (!standardInput) return OpenDecodedSound(path, source, error);
        *error = "only WAV is read from standard input; give other sound as a file";
        return false;
    }
    std::FILE* in = standardInput ? stdin : std::fopen(path.c_str(), "rb");
    if (in == nullptr || (!standardInput && std::fseek(in, static_cast<long>(firstBytes.size()), SEEK_SET) != 0)) {
        *error = std::string("cannot read: ") + std::strerror(errno);
        if (in != nullptr && !standardInput) std::fclose(in);
        return false;
    }
    std::error_code code;
    const long long bytes = standardInput ? -1 : static_cast<long long>(std::filesystem::file_size(path, code));
    return OpenWavSource(in, !standardInput, firstBytes, code ? -1 : bytes, source, error);
}
