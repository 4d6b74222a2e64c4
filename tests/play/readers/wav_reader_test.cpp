// The WAV reader: every sample format from bytes laid out by hand, and the byte a fault names.
#include "play/readers/wav_reader.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// A WAV file's bytes: a "fmt " chunk, an unknown chunk, then data.
std::string Wav(int tag, int channels, int rate, int bits, const std::string& data, long long dataSize = -1)
{
    const auto u16 = [](int v) { return std::string{char(v & 0xFF), char(v >> 8 & 0xFF)}; };
    const auto u32 = [](long long v) {
        return std::string{char(v & 0xFF), char(v >> 8 & 0xFF), char(v >> 16 & 0xFF), char(v >> 24 & 0xFF)};
    };
    const std::string fmt = u16(tag) + u16(channels) + u32(rate) + u32(rate * channels * bits / 8) +
                            u16(channels * bits / 8) + u16(bits);
    const std::string body = "WAVE" + std::string("fmt ") + u32(16) + fmt + "LIST" + u32(3) + "abc" + std::string(1, '\0') +
                             "data" + u32(dataSize < 0 ? static_cast<long long>(data.size()) : dataSize) + data;
    return "RIFF" + u32(static_cast<long long>(body.size())) + body;
}

struct Read {
    bool Started;
    std::vector<float> Samples;
    WavError Error;
    WavFormat Format;
};

Read ReadAll(const std::string& bytes)
{
    Read read{};
    WavReading reading;
    read.Started = StartWavReading(BytesInMemory(bytes), &reading, &read.Error);
    if (!read.Started) return read;
    read.Format = reading.Format;
    float block[64];
    for (;;) {
        const long long got = ReadWavFrames(&reading, block, 64 / reading.Format.Channels, &read.Error);
        if (got <= 0) {
            if (got < 0) read.Started = false;
            break;
        }
        read.Samples.insert(read.Samples.end(), block, block + got * reading.Format.Channels);
    }
    return read;
}

TEST(WavReader, ReadsEverySampleFormatAndNamesTheByteOfAFault)
{
    // 16-bit stereo: full negative and half positive; 8-bit unsigned; 24-bit; 32-bit float.
    Read r = ReadAll(Wav(1, 2, 8000, 16, std::string("\x00\x80\x00\x40", 4)));
    ASSERT_TRUE(r.Started) << r.Error.Message;
    EXPECT_EQ(r.Format.Rate, 8000);
    EXPECT_EQ(r.Samples, (std::vector<float>{-1.0f, 0.5f}));
    r = ReadAll(Wav(1, 1, 8000, 8, std::string("\x80\xC0\x00", 3)));
    EXPECT_EQ(r.Samples, (std::vector<float>{0.0f, 0.5f, -1.0f}));
    r = ReadAll(Wav(1, 1, 8000, 24, std::string("\x00\x00\x40\x00\x00\xC0", 6)));
    EXPECT_EQ(r.Samples, (std::vector<float>{0.5f, -0.5f}));
    const float quarter = 0.25f;
    std::string bits(4, '\0');
    std::memcpy(&bits[0], &quarter, 4);
    r = ReadAll(Wav(3, 1, 44100, 32, bits));
    EXPECT_EQ(r.Samples, (std::vector<float>{0.25f}));
    // A data size of 0xFFFFFFFF (written to a pipe): to the end, whole frames only.
    r = ReadAll(Wav(1, 1, 8000, 16, std::string("\x00\x40\x00\x20\x01", 5), 0xFFFFFFFF));
    EXPECT_TRUE(r.Started);
    EXPECT_EQ(r.Samples, (std::vector<float>{0.5f, 0.25f}));

    const std::string good = Wav(1, 1, 8000, 16, std::string(8, '\0'));
    // Faults: the data cut short (its header says 100 bytes), a rate of 0, 12-bit samples, not a
    // WAV at all, cut inside the unknown chunk, RF64.
    r = ReadAll(Wav(1, 1, 8000, 16, std::string(8, '\0'), 100));
    EXPECT_FALSE(r.Started);
    EXPECT_EQ(r.Error.Offset, good.size());
    EXPECT_EQ(r.Error.Message, "the data ends 46 frames before the end its header gives");
    r = ReadAll(Wav(1, 1, 0, 16, ""));
    EXPECT_EQ(r.Error.Offset, 24u);
    EXPECT_EQ(r.Error.Message, "a sample rate of 0");
    EXPECT_EQ(ReadAll(Wav(1, 1, 8000, 12, "")).Error.Offset, 34u);
    EXPECT_EQ(ReadAll("RIFX" + good.substr(4)).Error.Message, "not a WAV file (no RIFF WAVE header)");
    EXPECT_EQ(ReadAll(good.substr(0, 46)).Error.Message, "the file ends inside the \"LIST\" chunk");
    EXPECT_EQ(ReadAll("RF64" + good.substr(4)).Error.Message, "RF64 (a WAV file over 4 GiB) is not read");
}

}  // namespace
