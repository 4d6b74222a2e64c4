#include <gtest/gtest.h>

#include "tools/preview/rumble_codes.h"

TEST(RumbleCodes, FrequencyCodesStandForTheirTones)
{
    // The note at 329.6 Hz is coded 260 on the high band and 0x61 on the low band.
    EXPECT_NEAR(HighBandFrequency(260), 327.0, 1.0);
    EXPECT_NEAR(LowBandFrequency(0x61), 327.0, 1.0);
    // Code 0 is each band's lowest frequency: t = 96 and t = 64.
    EXPECT_NEAR(HighBandFrequency(0), 80.0, 1e-9);
    EXPECT_NEAR(LowBandFrequency(0), 40.0, 1e-9);
    // 110 Hz codes, and the silence report's codes (both near 110.7 Hz).
    EXPECT_NEAR(HighBandFrequency(0x38), 108.5, 0.5);
    EXPECT_NEAR(LowBandFrequency(0x2E), 108.5, 0.5);
    EXPECT_NEAR(HighBandFrequency(0x3C), 110.9, 0.5);
    EXPECT_NEAR(LowBandFrequency(0x2F), 110.9, 0.5);
    // 32 steps of t per octave: four high codes per step, one low code per step.
    EXPECT_NEAR(HighBandFrequency(260 + 128) / HighBandFrequency(260), 2.0, 1e-9);
    EXPECT_NEAR(LowBandFrequency(0x41) / LowBandFrequency(0x21), 2.0, 1e-9);
}

TEST(RumbleCodes, AmplitudeCodesFollowThePublishedCurve)
{
    EXPECT_EQ(HighBandAmplitude(0x00), 0.0);
    EXPECT_NEAR(HighBandAmplitude(0xC8), 1.0, 1e-9);
    EXPECT_EQ(LowBandAmplitude(0x40), 0.0);
    EXPECT_NEAR(LowBandAmplitude(0x72), 1.0, 1e-9);
    // Published points along the way.
    EXPECT_NEAR(HighBandAmplitude(0x02), 0.010, 0.001);
    EXPECT_NEAR(HighBandAmplitude(0x1C), 0.095, 0.002);
    EXPECT_NEAR(HighBandAmplitude(0x1E), 0.112, 0.002);
    EXPECT_NEAR(HighBandAmplitude(0x20), 0.117, 0.002);
    EXPECT_NEAR(HighBandAmplitude(0x40), 0.230, 0.003);
    EXPECT_NEAR(HighBandAmplitude(0x88), 0.5, 0.01);
    // Low codes under the zero level are silent too.
    EXPECT_EQ(LowBandAmplitude(0x00), 0.0);
    EXPECT_EQ(LowBandAmplitude(0x3F), 0.0);
    // Both bands agree where their codes mean the same step (high 0x74 and low 0x5D: step 58).
    EXPECT_DOUBLE_EQ(HighBandAmplitude(0x74), LowBandAmplitude(0x5D));
    EXPECT_DOUBLE_EQ(HighBandAmplitude(0x38), LowBandAmplitude(0x4E));
}

TEST(RumbleCodes, AmplitudeRisesWithEveryCode)
{
    for (int code = 2; code <= 0xFE; code += 2) {
        EXPECT_GT(HighBandAmplitude(code), HighBandAmplitude(code - 2)) << "high code " << code;
    }
    for (int code = 0x41; code <= 0x7F; ++code) {
        EXPECT_GT(LowBandAmplitude(code), LowBandAmplitude(code - 1)) << "low code " << code;
    }
    // No jump bigger than a tenth of full scale from one step to the next.
    for (int step = 1; step <= 127; ++step) {
        EXPECT_LT(AmplitudeOfStep(step) - AmplitudeOfStep(step - 1), 0.1) << "step " << step;
    }
}

TEST(RumbleCodes, RumbleBlockSplitsIntoBothBands)
{
    // High code's bit 8 sits in bit 0 of r1 beside the even amplitude code.
    RumbleTone tone = DecodeRumbleBlock(0x04, 0x75, 0x61, 0x5D);
    EXPECT_EQ(tone.High.FrequencyCode, 260);
    EXPECT_EQ(tone.High.AmplitudeCode, 0x74);
    EXPECT_EQ(tone.Low.FrequencyCode, 0x61);
    EXPECT_EQ(tone.Low.AmplitudeCode, 0x5D);
    EXPECT_NEAR(tone.High.FrequencyHz, 327.0, 1.0);
    EXPECT_NEAR(tone.Low.FrequencyHz, 327.0, 1.0);
    EXPECT_DOUBLE_EQ(tone.High.Amplitude, HighBandAmplitude(0x74));
    EXPECT_DOUBLE_EQ(tone.Low.Amplitude, LowBandAmplitude(0x5D));

    // Bit 7 of r2 is not part of the low frequency code.
    tone = DecodeRumbleBlock(0x04, 0x75, 0xE1, 0x5D);
    EXPECT_EQ(tone.Low.FrequencyCode, 0x61);
    EXPECT_EQ(tone.Low.AmplitudeCode, 0x5D);

    // 987.8 Hz at full level: high code 0x1D0, low band code 0 at full amplitude.
    tone = DecodeRumbleBlock(0xD0, 0xC9, 0x00, 0x72);
    EXPECT_EQ(tone.High.FrequencyCode, 0x1D0);
    EXPECT_EQ(tone.High.AmplitudeCode, 0xC8);
    EXPECT_NEAR(tone.High.FrequencyHz, 987.8, 2.0);
    EXPECT_NEAR(tone.High.Amplitude, 1.0, 1e-9);
    EXPECT_NEAR(tone.Low.FrequencyHz, 40.0, 1e-9);
    EXPECT_NEAR(tone.Low.Amplitude, 1.0, 1e-9);

    // The silence report: both bands silent.
    tone = DecodeRumbleBlock(0x3C, 0x00, 0x2F, 0x40);
    EXPECT_EQ(tone.High.Amplitude, 0.0);
    EXPECT_EQ(tone.Low.Amplitude, 0.0);
}
