// Feeds arbitrary bytes to the WAV reader, then what it reads to the sound analysis. Checks that
// a refusal names a byte inside the file, that the samples read are whole frames in range, and
// that the analysis makes one rumble sample each 5 ms, never above the safe maximum.
#include "fuzz/require.h"
#include "play/readers/wav_reader.h"
#include "play/sound/sound_analysis.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    WavReading reading;
    WavError error;
    if (!StartWavReading(BytesInMemory(std::string(reinterpret_cast<const char*>(data), size)), &reading, &error)) {
        Require(error.Offset <= size && !error.Message.empty(), "a fault outside the file or without a message");
        return 0;
    }
    const WavFormat& format = reading.Format;
    Require(format.Channels >= 1 && format.Channels <= MaxSoundChannels && format.Rate > 0, "a format out of range");
    SoundAnalysis analysis;
    // The analysis is slow at high rates for the fuzzer's taste: a rate from the file, bounded.
    StartSoundAnalysis(&analysis, std::min(format.Rate, 8000));
    std::vector<float> block(static_cast<std::size_t>(256 * format.Channels));
    for (;;) {
        const long long got = ReadWavFrames(&reading, block.data(), 256, &error);
        if (got < 0) {
            Require(error.Offset <= size && !error.Message.empty(), "a read fault outside the file");
            break;
        }
        if (got == 0) break;
        for (long long i = 0; i < got * format.Channels; ++i)
            Require(std::isfinite(block[i]) && block[i] >= -1.0f && block[i] <= 1.0f, "a sample out of range");
        FeedSoundAnalysis(&analysis, block.data(), static_cast<std::size_t>(got));
    }
    FinishSoundAnalysis(&analysis);
    const RumbleStream rumble = RumbleOfSound(analysis.Frames, LoudestOf(analysis.Frames));
    Require(rumble.Samples.size() == analysis.Frames.size(), "not one rumble sample a frame");
    for (const RumbleSample& s : rumble.Samples)
        Require(s.High.Amplitude <= SafeMaximumAmplitude && s.Low.Amplitude <= SafeMaximumAmplitude, "above the safe maximum");
    return 0;
}
