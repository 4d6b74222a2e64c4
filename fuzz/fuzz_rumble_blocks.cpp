// Feeds arbitrary blocks to the rumble block decoder, and the samples it plays back to the
// encoder. Checks that every decoded level stays in its range, that a block plays at most three
// samples, and that the encoder never plays above the safe maximum and tracks the controller.
#include "fuzz/require.h"
#include "rumble/rumble_blocks.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>

namespace {

constexpr std::size_t BlockSize = 4;

void RequireInRange(const RumbleSample& s)
{
    for (const BandLevel* b : {&s.High, &s.Low}) {
        Require(b->Amplitude >= SilentAmplitude && b->Amplitude <= FullAmplitude, "an amplitude out of range");
        Require(b->Frequency >= LowestFrequency && b->Frequency <= HighestFrequency, "a frequency out of range");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    RumbleSample controller = RestingRumbleSample;
    RumbleSample wanted[MaxSamplesPerBlock];
    int held = 0;
    RumbleSample encoder = RestingRumbleSample;
    RumbleSample replay = RestingRumbleSample;
    for (std::size_t at = 0; at + BlockSize <= size; at += BlockSize) {
        RumbleSample samples[MaxSamplesPerBlock];
        const int count = DecodeRumbleBlock(data + at, &controller, samples);
        Require(count >= 0 && count <= MaxSamplesPerBlock, "a block of more than three samples");
        for (int k = 0; k < count; ++k) {
            RequireInRange(samples[k]);
            wanted[held++] = samples[k];
            if (held < MaxSamplesPerBlock) continue;
            held = 0;
            unsigned char block[BlockSize];
            EncodeRumbleBlock(wanted, &encoder, block);
            RumbleSample played[MaxSamplesPerBlock];
            const int playedCount = DecodeRumbleBlock(block, &replay, played);
            Require(playedCount == 1 || playedCount == MaxSamplesPerBlock, "the encoder made a two-sample block");
            for (int p = 0; p < playedCount; ++p)
                Require(played[p].High.Amplitude <= SafeMaximumAmplitude && played[p].Low.Amplitude <= SafeMaximumAmplitude,
                        "the encoder played above the safe maximum");
            Require(replay.High.Amplitude == encoder.High.Amplitude && replay.High.Frequency == encoder.High.Frequency &&
                        replay.Low.Amplitude == encoder.Low.Amplitude && replay.Low.Frequency == encoder.Low.Frequency,
                    "the encoder lost track of the controller");
        }
    }
    return 0;
}
