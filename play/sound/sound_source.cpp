#include "play/sound/sound_source.h"

#include "play/readers/wav_reader.h"
#include "play/sound/wav_source.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

namespace {

constexpr std::size_t LeastSignatureBytes = 4;
constexpr std::size_t AiffTypeAt = 8;
constexpr unsigned char MpegSync = 0xFF;
constexpr unsigned char MpegSyncMask = 0xE0;

bool StartsWith(const std::string& bytes, const char* tag) { return bytes.compare(0, std::strlen(tag), tag) == 0; }

}  // namespace

bool LooksLikeSound(const std::string& firstBytes)
{
    if (LooksLikeWav(firstBytes)) return true;
    if (firstBytes.size() < LeastSignatureBytes) return false;
    // FLAC, Ogg, MP3 (with a tag or from its first frame's sync), AIFF: told here on every build,
    // so that one that cannot read them says so.
    const auto b = [&](std::size_t i) { return static_cast<unsigned char>(firstBytes[i]); };
    return StartsWith(firstBytes, "fLaC") || StartsWith(firstBytes, "OggS") || StartsWith(firstBytes, "ID3") ||
           (StartsWith(firstBytes, "FORM") && firstBytes.compare(AiffTypeAt, 3, "AIF") == 0) ||
           (b(0) == MpegSync && (b(1) & MpegSyncMask) == MpegSyncMask);
}

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
