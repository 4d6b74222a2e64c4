// The rumble block's forms: the decoder against values worked out by hand from the tables, and
// the encoder's round trips through it.
#include "rumble/rumble_blocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace {

struct Bytes {
    unsigned char B[4];
};

Bytes BlockOf(std::uint32_t v)
{
    return Bytes{{static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8), static_cast<unsigned char>(v >> 16),
                  static_cast<unsigned char>(v >> 24)}};
}

std::vector<int> Flat(const RumbleSample* samples, int count)
{
    std::vector<int> out;
    for (int k = 0; k < count; ++k)
        out.insert(out.end(), {samples[k].High.Amplitude, samples[k].High.Frequency, samples[k].Low.Amplitude,
                               samples[k].Low.Frequency});
    return out;
}

std::vector<int> Decode(std::uint32_t v, RumbleSample* state)
{
    RumbleSample samples[MaxSamplesPerBlock];
    const Bytes b = BlockOf(v);
    return Flat(samples, DecodeRumbleBlock(b.B, state, samples));
}

TEST(RumbleBlocks, EveryFormDecodesAsTheTablesSay)
{
    // tavrel's silence, 3C 00 2F 40: one sample of 7-bit codes, both amplitudes code 0 (still),
    // frequency codes 15 and 47 (64 is the centre).
    RumbleSample state = RestingRumbleSample;
    const Bytes silence{{0x3C, 0x00, 0x2F, 0x40}};
    RumbleSample samples[MaxSamplesPerBlock];
    ASSERT_EQ(DecodeRumbleBlock(silence.B, &state, samples), 1);
    EXPECT_EQ(Flat(samples, 1), (std::vector<int>{-256, 15 - 64, -256, 47 - 64}));
    // Amplitude codes 1, 15 (steps of 1/4 octave from -7.75), 16, 31 (1/16 from -3.9375... ),
    // 32, 100 (1/32 from -3.96875: 100 is -0.84375, the safe maximum), 127.
    const std::pair<int, int> amplitudes[] = {{1, -240}, {15, -128}, {16, -126}, {31, -96}, {32, -95}, {100, -27}, {127, 0}};
    for (const auto& [code, units] : amplitudes) {
        const std::uint32_t v = 1u << 30 | static_cast<std::uint32_t>(code) << 23 | 64u << 16 | static_cast<std::uint32_t>(code) << 9 | 70u << 2;
        EXPECT_EQ(Decode(v, &state), (std::vector<int>{units, 6, units, 0})) << "code " << code;
    }
    // Three samples of 5-bit commands from high (-27, 5), low (-40, 10):
    // high: 31 (-4/32 amplitude, -1/32 frequency), 23 (+1/32 frequency), 0 (reset);
    // low: 14 (frequency to the centre), 9 (amplitude -4 octaves), 28 (-1/32 both).
    state = RumbleSample{{-27, 5}, {-40, 10}};
    EXPECT_EQ(Decode(3u << 30 | 14u << 25 | 31u << 20 | 9u << 15 | 23u << 10 | 28u << 5 | 0u, &state),
              (std::vector<int>{-31, 4, -40, 0, -31, 5, -128, 0, -256, 0, -129, -1}));
    // Three samples, the first setting the low band's frequency to code 70; then high 17
    // (+4/32 amplitude, +1/32 frequency) with low 25 (-1/32 frequency); then high 12 (frequency
    // -12/32) with low 3 (amplitude -1 octave).
    state = RumbleSample{{-60, 0}, {-60, 0}};
    EXPECT_EQ(Decode(1u << 30 | 70u << 23 | 25u << 18 | 17u << 13 | 3u << 8 | 12u << 3 | 1u << 2 | 1u << 1, &state),
              (std::vector<int>{-60, 0, -60, 6, -56, 1, -60, 5, -56, -12, -32, 5}));
    // Two samples, the first setting the high band by codes (amplitude 64: -63, frequency 10:
    // -54) and stepping the low one by 21 (+1/32 amplitude); then both by 30 (-4/32 amplitude).
    EXPECT_EQ(Decode(2u << 30 | 64u << 23 | 21u << 18 | 30u << 13 | 30u << 8 | 10u << 1 | 1u, &state),
              (std::vector<int>{-63, -54, -31, 5, -67, -54, -35, 5}));
    // Two samples of 5-bit commands, and one: 16 sets the frequency +12/32, 0 resets.
    EXPECT_EQ(Decode(2u << 30 | 16u << 25 | 0u << 20 | 24u << 15 | 24u << 10, &state),
              (std::vector<int>{-256, 0, -35, 12, -256, 0, -35, 12}));
    EXPECT_EQ(Decode(1u << 30 | 5u << 25 | 4u << 20, &state), (std::vector<int>{-48, 0, -64, 12}));
    // Sums stop at the ends: full amplitude, and two octaves from the centre.
    state = RumbleSample{{-2, 63}, {-2, -63}};
    EXPECT_EQ(Decode(3u << 30 | 31u << 25 | 17u << 20 | 24u << 15 | 17u << 10 | 24u << 5 | 24u, &state),
              (std::vector<int>{0, 64, -6, -64, 0, 64, -6, -64, 0, 64, -6, -64}));
    // Form 0 carries nothing and changes nothing.
    EXPECT_TRUE(Decode(0x00ABCDEFu, &state).empty());
}

// Encodes wanted sample by sample, three to a block, and decodes the blocks afresh as a
// controller would: the samples played (a one-sample block's holding for its three times).
std::vector<RumbleSample> RoundTrip(const std::vector<RumbleSample>& wanted)
{
    RumbleSample encoder = RestingRumbleSample;
    RumbleSample controller = RestingRumbleSample;
    std::vector<RumbleSample> played;
    for (std::size_t i = 0; i + MaxSamplesPerBlock <= wanted.size(); i += MaxSamplesPerBlock) {
        unsigned char block[4];
        EncodeRumbleBlock(&wanted[i], &encoder, block);
        RumbleSample samples[MaxSamplesPerBlock];
        const int count = DecodeRumbleBlock(block, &controller, samples);
        for (int k = 0; k < MaxSamplesPerBlock; ++k) played.push_back(samples[k < count ? k : count - 1]);
        EXPECT_EQ(Flat(&encoder, 1), Flat(&controller, 1)) << "the encoder lost track of the controller at " << i;
    }
    return played;
}

TEST(RumbleBlocks, AStateBlockSetsBothBandsAndIsNeverLouderThanTheState)
{
    // From any state: levels the codes hold exactly; an amplitude between two coarse codes
    // (-235, between -240 and -232) and one above the safe maximum.
    const std::vector<std::pair<RumbleSample, std::vector<int>>> cases = {
        {{{-60, 17}, {-95, -30}}, {-60, 17, -95, -30}},
        {{{-235, 3}, {-20, 0}}, {-240, 3, SafeMaximumAmplitude, 0}},
    };
    for (const auto& [target, expected] : cases) {
        unsigned char block[4];
        EncodeStateRumbleBlock(target, block);
        EXPECT_TRUE(IsAbsoluteRumbleBlock(block));
        RumbleSample state = {{-30, 60}, {SilentAmplitude, -64}};
        RumbleSample samples[MaxSamplesPerBlock];
        ASSERT_EQ(DecodeRumbleBlock(block, &state, samples), 1);
        EXPECT_EQ(Flat(&state, 1), expected);
    }
    // Blocks of 5-bit commands step on from the state before them; tavrel's silence does not.
    EXPECT_FALSE(IsAbsoluteRumbleBlock(BlockOf(0xC0000000u | (24u << 20) | (24u << 25)).B));
    EXPECT_FALSE(IsAbsoluteRumbleBlock(BlockOf(0x40000000u | (24u << 20) | (24u << 25)).B));
    EXPECT_TRUE(IsAbsoluteRumbleBlock(BlockOf(0x402F003Cu).B));
}

struct Errors {
    double Mean;
    int Worst;
};

Errors ErrorsOf(const std::vector<RumbleSample>& wanted, const std::vector<RumbleSample>& played)
{
    long long sum = 0;
    int worst = 0;
    for (std::size_t i = 0; i < played.size(); ++i) {
        RumbleSample safe = wanted[i];
        for (BandLevel* b : {&safe.High, &safe.Low}) b->Amplitude = std::min(b->Amplitude, SafeMaximumAmplitude);
        const int e = SampleError(safe, played[i]);
        sum += e;
        worst = std::max(worst, e);
        EXPECT_LE(played[i].High.Amplitude, SafeMaximumAmplitude);
        EXPECT_LE(played[i].Low.Amplitude, SafeMaximumAmplitude);
    }
    return Errors{static_cast<double>(sum) / static_cast<double>(played.size()), worst};
}

TEST(RumbleBlocks, TheEncoderFollowsSweepsStepsEnvelopesAndNoiseWithinBoundsNeverAboveTheSafeMaximum)
{
    std::vector<RumbleSample> sweep, steps, envelope, noise;
    std::mt19937 random(5);
    for (int i = 0; i < 600; ++i) {
        // Both bands sweeping up a semitone-ish every few samples, at a steady level.
        sweep.push_back({{-40, -60 + i / 5}, {-50, 60 - i / 5}});
        // A note every 55 ms, mostly within a block: both bands jump together.
        const int note = (i / 11) % 7 * 9 - 30;
        steps.push_back({{-30, note}, {-45, -note}});
        // Attack, hold and release of 50 ms each, louder than the safe maximum at its peak.
        const int phase = i % 40;
        const int amplitude = phase < 10 ? -200 + phase * 19 : phase < 20 ? -10 : phase < 30 ? -10 - (phase - 20) * 19 : SilentAmplitude;
        envelope.push_back({{amplitude, 0}, {amplitude, 20}});
        noise.push_back({{static_cast<int>(random() % 257) - 256, static_cast<int>(random() % 129) - 64},
                         {static_cast<int>(random() % 257) - 256, static_cast<int>(random() % 129) - 64}});
    }
    const Errors a = ErrorsOf(sweep, RoundTrip(sweep));
    EXPECT_LE(a.Mean, 0.5);
    EXPECT_LE(a.Worst, 4);
    const Errors b = ErrorsOf(steps, RoundTrip(steps));
    EXPECT_LE(b.Mean, 3.0);
    const Errors c = ErrorsOf(envelope, RoundTrip(envelope));
    EXPECT_LE(c.Mean, 8.0);
    ErrorsOf(noise, RoundTrip(noise));  // only safe, and tracked
    // Just below the safe maximum, with the frequency rising: a step of +4/32 would follow it
    // best, and would go above the maximum.
    RumbleSample state{{-30, 0}, {-30, 0}};
    const RumbleSample rising[MaxSamplesPerBlock] = {{{-27, 1}, {-27, 1}}, {{-27, 2}, {-27, 2}}, {{-27, 3}, {-27, 3}}};
    unsigned char block[4];
    EncodeRumbleBlock(rising, &state, block);
    RumbleSample controller{{-30, 0}, {-30, 0}};
    RumbleSample played[MaxSamplesPerBlock];
    const int count = DecodeRumbleBlock(block, &controller, played);
    for (int k = 0; k < count; ++k) {
        EXPECT_LE(played[k].High.Amplitude, SafeMaximumAmplitude);
        EXPECT_LE(played[k].Low.Amplitude, SafeMaximumAmplitude);
    }
}

}  // namespace
