#include "play/readers/wav_reader.h"

#include "common/byte_order.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

namespace {

constexpr std::size_t TagBytes = 4;
constexpr std::size_t ChunkHeaderBytes = 8;
constexpr std::size_t RiffHeaderBytes = 12;
constexpr std::size_t LeastFormatBytes = 16;
constexpr std::size_t MostFormatBytes = 256;   // a longer "fmt " chunk is no WAV we know
constexpr int MostChunksBeforeData = 1000;
constexpr int PcmTag = 1;
constexpr int FloatTag = 3;
constexpr int ExtensibleTag = 0xFFFE;
constexpr std::size_t ExtensibleSubformatAt = 24;  // in the "fmt " chunk: the GUID's first two bytes
constexpr int MostRate = 1000000;
constexpr std::size_t ReadBlockFrames = 4096;

bool Fail(WavError* error, std::size_t at, const std::string& message)
{
    *error = WavError{at, message};
    return false;
}

// Reads exactly count bytes; false at the end or a read error (*got says how many came).
bool Take(WavReading* r, unsigned char* bytes, std::size_t count, std::size_t* got)
{
    *got = 0;
    while (*got < count) {
        const long long n = r->Source(reinterpret_cast<char*>(bytes) + *got, count - *got);
        if (n <= 0) break;
        *got += static_cast<std::size_t>(n);
    }
    r->At += *got;
    return *got == count;
}

bool Skip(WavReading* r, std::uint64_t count)
{
    unsigned char scratch[4096];
    while (count > 0) {
        std::size_t got = 0;
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(count, sizeof scratch));
        if (!Take(r, scratch, n, &got)) return false;
        count -= n;
    }
    return true;
}

bool ReadFormat(const unsigned char* f, std::size_t size, std::size_t at, WavFormat* format, WavError* error)
{
    int tag = static_cast<int>(LittleEndianAt(f, 2));
    const int channels = static_cast<int>(LittleEndianAt(f + 2, 2));
    const std::uint32_t rate = LittleEndianAt(f + 4, 4);
    const int blockAlign = static_cast<int>(LittleEndianAt(f + 12, 2));
    const int bits = static_cast<int>(LittleEndianAt(f + 14, 2));
    if (tag == ExtensibleTag) {
        if (size < ExtensibleSubformatAt + 2) return Fail(error, at, "a WAVE_FORMAT_EXTENSIBLE \"fmt \" chunk too short for its subformat");
        tag = static_cast<int>(LittleEndianAt(f + ExtensibleSubformatAt, 2));
    }
    if (tag != PcmTag && tag != FloatTag)
        return Fail(error, at, "sample format " + std::to_string(tag) + " is not PCM or IEEE float");
    if (channels < 1 || channels > MaxSoundChannels)
        return Fail(error, at + 2, std::to_string(channels) + " channels (1 to " + std::to_string(MaxSoundChannels) + " are read)");
    if (rate == 0 || rate > MostRate) return Fail(error, at + 4, "a sample rate of " + std::to_string(rate));
    const bool pcmBits = bits == 8 || bits == 16 || bits == 24 || bits == 32;
    const bool floatBits = bits == 32 || bits == 64;
    if (tag == PcmTag ? !pcmBits : !floatBits)
        return Fail(error, at + 14, std::to_string(bits) + "-bit " + (tag == PcmTag ? "PCM" : "float") + " samples");
    if (blockAlign != channels * bits / BitsPerByte)
        return Fail(error, at + 12, "a frame of " + std::to_string(blockAlign) + " bytes for " + std::to_string(channels) +
                                        " channels of " + std::to_string(bits) + " bits");
    format->Rate = static_cast<int>(rate);
    format->Channels = channels;
    format->Bits = bits;
    format->Float = tag == FloatTag;
    return true;
}

float SampleOf(const unsigned char* b, const WavFormat& f)
{
    if (f.Float) {
        double v = 0;
        if (f.Bits == 32) {
            const std::uint32_t u = LittleEndianAt(b, 4);
            float x;
            std::memcpy(&x, &u, sizeof x);
            v = x;
        } else {
            const std::uint64_t u = static_cast<std::uint64_t>(LittleEndianAt(b + 4, 4)) << 32 | LittleEndianAt(b, 4);
            std::memcpy(&v, &u, sizeof v);
        }
        // Not a number, or far out of range: read as silence and as full scale.
        if (std::isnan(v)) return 0.0f;
        return static_cast<float>(std::clamp(v, -1.0, 1.0));
    }
    switch (f.Bits) {
    case 8: return (static_cast<int>(b[0]) - 128) / 128.0f;
    case 16: return static_cast<std::int16_t>(LittleEndianAt(b, 2)) / 32768.0f;
    case 24: return static_cast<std::int32_t>(LittleEndianAt(b, 3) << 8) / 2147483648.0f;
    default: return static_cast<std::int32_t>(LittleEndianAt(b, 4)) / 2147483648.0f;
    }
}

}  // namespace

ByteSource BytesInMemory(std::string bytes)
{
    auto held = std::make_shared<std::pair<std::string, std::size_t>>(std::move(bytes), 0);
    return [held](char* out, std::size_t count) -> long long {
        const std::size_t n = std::min(count, held->first.size() - held->second);
        std::memcpy(out, held->first.data() + held->second, n);
        held->second += n;
        return static_cast<long long>(n);
    };
}

bool LooksLikeWav(const std::string& firstBytes)
{
    return firstBytes.size() >= RiffHeaderBytes && firstBytes.compare(0, TagBytes, "RIFF") == 0 &&
           firstBytes.compare(2 * TagBytes, TagBytes, "WAVE") == 0;
}

bool StartWavReading(ByteSource source, WavReading* reading, WavError* error)
{
    *reading = WavReading{};
    reading->Source = std::move(source);
    WavReading* r = reading;
    unsigned char head[RiffHeaderBytes];
    std::size_t got = 0;
    if (!Take(r, head, RiffHeaderBytes, &got)) return Fail(error, got, "the file ends inside the RIFF header");
    if (std::memcmp(head, "RF64", TagBytes) == 0) return Fail(error, 0, "RF64 (a WAV file over 4 GiB) is not read");
    if (std::memcmp(head, "RIFF", TagBytes) != 0 || std::memcmp(head + 2 * TagBytes, "WAVE", TagBytes) != 0)
        return Fail(error, 0, "not a WAV file (no RIFF WAVE header)");
    bool haveFormat = false;
    for (int chunk = 0; chunk < MostChunksBeforeData; ++chunk) {
        const std::size_t at = r->At;
        unsigned char header[ChunkHeaderBytes];
        if (!Take(r, header, ChunkHeaderBytes, &got))
            return Fail(error, r->At, haveFormat ? "the file ends before its \"data\" chunk" : "the file ends before its \"fmt \" chunk");
        const std::string id(reinterpret_cast<const char*>(header), TagBytes);
        const std::uint32_t size = LittleEndianAt(header + TagBytes, 4);
        if (id == "fmt ") {
            if (size < LeastFormatBytes || size > MostFormatBytes)
                return Fail(error, at + TagBytes, "a \"fmt \" chunk of " + std::to_string(size) + " bytes");
            unsigned char format[MostFormatBytes];
            if (!Take(r, format, size, &got)) return Fail(error, r->At, "the file ends inside the \"fmt \" chunk");
            if (!ReadFormat(format, size, at + ChunkHeaderBytes, &r->Format, error)) return false;
            if (size % 2 != 0 && !Skip(r, 1)) return Fail(error, r->At, "the file ends after the \"fmt \" chunk");
            haveFormat = true;
            continue;
        }
        if (id == "data") {
            if (!haveFormat) return Fail(error, at, "a \"data\" chunk before the \"fmt \" chunk");
            WavFormat& f = r->Format;
            const long long frameBytes = WavFrameBytes(f);
            f.UntilEnd = size == 0 || size >= LeastUnknownWavDataSize;
            f.Frames = f.UntilEnd ? 0 : size / frameBytes;
            if (f.Frames > MaxSoundSeconds * f.Rate)
                return Fail(error, at + TagBytes, std::string("the data is longer than ") + LongestSoundText);
            r->FramesLeft = f.Frames;
            return true;
        }
        if (!Skip(r, size + (size % 2)))
            return Fail(error, r->At, "the file ends inside the \"" + std::string(id.c_str()) + "\" chunk");
    }
    return Fail(error, r->At, "no \"data\" chunk among the first " + std::to_string(MostChunksBeforeData) + " chunks");
}

long long ReadWavFrames(WavReading* reading, float* samples, long long frames, WavError* error)
{
    WavReading* r = reading;
    const WavFormat& f = r->Format;
    if (r->Ended) return 0;
    const std::size_t sampleBytes = static_cast<std::size_t>(f.Bits / BitsPerByte);
    const std::size_t frameBytes = static_cast<std::size_t>(WavFrameBytes(f));
    long long wanted = std::min<long long>(frames, static_cast<long long>(ReadBlockFrames));
    if (!f.UntilEnd) wanted = std::min(wanted, r->FramesLeft);
    if (wanted <= 0) {
        r->Ended = true;
        return 0;
    }
    std::vector<unsigned char> bytes(static_cast<std::size_t>(wanted) * frameBytes);
    std::size_t got = 0;
    const std::size_t before = r->At;
    Take(r, bytes.data(), bytes.size(), &got);
    const long long whole = static_cast<long long>(got / frameBytes);
    if (whole < wanted) {
        if (!f.UntilEnd) {
            *error = WavError{before + got, "the data ends " + std::to_string(r->FramesLeft - whole) +
                                                " frames before the end its header gives"};
            return -1;
        }
        r->Ended = true;
    }
    r->FramesLeft -= whole;
    if (f.UntilEnd) {
        r->Format.Frames += whole;
        if (r->Format.Frames > MaxSoundSeconds * f.Rate) {
            *error = WavError{r->At, std::string("the data is longer than ") + LongestSoundText};
            return -1;
        }
    }
    for (long long k = 0; k < whole * f.Channels; ++k)
        samples[k] = SampleOf(bytes.data() + static_cast<std::size_t>(k) * sampleBytes, f);
    return whole;
}
