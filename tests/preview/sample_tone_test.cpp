#include <gtest/gtest.h>

#include <cmath>

#include "tools/preview/sample_tone.h"

namespace {

// The tone of a one-sample block as a controller at rest plays it.
RumbleTone ToneOfBlock(unsigned char r0, unsigned char r1, unsigned char r2, unsigned char r3)
{
    const unsigned char block[] = {r0, r1, r2, r3};
    RumbleSample state = RestingRumbleSample;
    RumbleSample samples[MaxSamplesPerBlock];
    EXPECT_EQ(DecodeRumbleBlock(block, &state, samples), 1);
    return ToneOfSample(samples[0]);
}

}  // namespace

TEST(SampleTone, TheOneSampleCodesStandForTheirTones)
{
    // The note at 329.6 Hz: high code 260 (bit 8 in r1 beside the amplitude), low code 0x61.
    RumbleTone tone = ToneOfBlock(0x04, 0x75, 0x61, 0x5D);
    EXPECT_NEAR(tone.High.FrequencyHz, 327.0, 1.0);
    EXPECT_NEAR(tone.Low.FrequencyHz, 327.0, 1.0);
    // Both bands' amplitudes at fine step 58 of 100.
    EXPECT_NEAR(tone.High.Amplitude, std::exp2((58 - 100) / 32.0), 1e-9);
    EXPECT_DOUBLE_EQ(tone.High.Amplitude, tone.Low.Amplitude);
    // The bands' lowest codes (80 and 40 Hz), and 987.8 Hz at the safe maximum.
    tone = ToneOfBlock(0x00, 0xC8, 0x00, 0x72);
    EXPECT_NEAR(tone.High.FrequencyHz, 80.0, 1e-9);
    EXPECT_NEAR(tone.Low.FrequencyHz, 40.0, 1e-9);
    EXPECT_NEAR(tone.High.Amplitude, 1.0, 1e-9);
    EXPECT_NEAR(tone.Low.Amplitude, 1.0, 1e-9);
    EXPECT_NEAR(ToneOfBlock(0xD0, 0xC9, 0x00, 0x72).High.FrequencyHz, 987.8, 2.0);
    // The silence report's codes are still, near 110.7 Hz.
    tone = ToneOfBlock(0x3C, 0x00, 0x2F, 0x40);
    EXPECT_EQ(tone.High.Amplitude, 0.0);
    EXPECT_EQ(tone.Low.Amplitude, 0.0);
    EXPECT_NEAR(tone.Low.FrequencyHz, 110.9, 0.5);
}

TEST(SampleTone, AmplitudesFollowThePublishedCurve)
{
    // r0 of 0x04 keeps every block in the one-sample form of 7-bit codes.
    const struct {
        unsigned char Code;
        double Amplitude;
        double Within;
    } points[] = {{0x02, 0.010, 0.001}, {0x1C, 0.095, 0.002}, {0x1E, 0.112, 0.002},
                  {0x20, 0.117, 0.002}, {0x40, 0.230, 0.003}, {0x88, 0.5, 0.01}};
    for (const auto& point : points) {
        EXPECT_NEAR(ToneOfBlock(0x04, point.Code, 0x00, 0x40).High.Amplitude, point.Amplitude, point.Within)
            << std::hex << int(point.Code);
    }
    // Low codes step twice as far as high ones: 0x4E is high 0x38, 0x5D is 0x74.
    EXPECT_DOUBLE_EQ(ToneOfBlock(0x04, 0x38, 0x00, 0x40).High.Amplitude, ToneOfBlock(0x04, 0x00, 0x00, 0x4E).Low.Amplitude);
    EXPECT_DOUBLE_EQ(ToneOfBlock(0x04, 0x74, 0x00, 0x40).High.Amplitude, ToneOfBlock(0x04, 0x00, 0x00, 0x5D).Low.Amplitude);
}
