// Sound into rumble: the analysis on generated signals with known answers.
#include "play/sound/sound_analysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int Rate = 16000;
constexpr int FrameSamples = Rate / 200;

int StepOf(double hz) { return static_cast<int>(std::lround(32 * std::log2(hz / 10))); }

std::vector<SoundFrame> FramesOf(const std::vector<float>& sound)
{
    SoundAnalysis analysis;
    StartSoundAnalysis(&analysis, Rate);
    FeedSoundAnalysis(&analysis, sound.data(), sound.size());
    return analysis.Frames;
}

// Sines of the given frequencies and amplitudes from start to end (seconds) in a sound of length.
std::vector<float> Sines(double length, std::vector<std::pair<double, double>> tones, double start = 0, double end = 1e9)
{
    std::vector<float> sound(static_cast<std::size_t>(length * Rate));
    for (std::size_t n = 0; n < sound.size(); ++n) {
        const double t = static_cast<double>(n) / Rate;
        if (t < start || t >= end) continue;
        for (const auto& tone : tones) sound[n] += static_cast<float>(tone.second * std::sin(2 * Pi * tone.first * t));
    }
    return sound;
}

TEST(SoundAnalysis, EachBandFollowsASweepWithinItsRangeToAStep)
{
    // 50 to 1200 Hz over 10 s, evenly in octaves.
    const double seconds = 10;
    const double octaves = std::log2(1200.0 / 50.0);
    std::vector<float> sound(static_cast<std::size_t>(seconds * Rate));
    double phase = 0;
    for (std::size_t n = 0; n < sound.size(); ++n) {
        phase += 2 * Pi * 50 * std::exp2(octaves * n / sound.size()) / Rate;
        sound[n] = static_cast<float>(0.5 * std::sin(phase));
    }
    const std::vector<SoundFrame> frames = FramesOf(sound);
    ASSERT_EQ(frames.size(), 2000u);
    int lowChecked = 0;
    int highChecked = 0;
    for (std::size_t k = 40; k < frames.size(); ++k) {
        const double hz = 50 * std::exp2(octaves * (k + 1) / frames.size());
        if (hz > 45 && hz < 600) {
            EXPECT_NEAR(frames[k].LowStep, StepOf(hz), 1) << k << " at " << hz << " Hz";
            ++lowChecked;
        }
        if (hz > 85 && hz < 1200) {
            EXPECT_NEAR(frames[k].HighStep, StepOf(hz), 1) << k << " at " << hz << " Hz";
            ++highChecked;
        }
    }
    EXPECT_GT(lowChecked, 1200);
    EXPECT_GT(highChecked, 1500);
}

TEST(SoundAnalysis, TwoTonesGoOneToEachBandAndLoudnessFollowsTheSound)
{
    // A bass at 98 Hz under a softer tone at 740 Hz (the bass is the strongest component in the
    // high band's range too), then only the tone, then silence.
    std::vector<float> sound = Sines(1.0, {{98, 0.5}, {740, 0.3}});
    const std::vector<float> alone = Sines(0.5, {{740, 0.3}});
    sound.insert(sound.end(), alone.begin(), alone.end());
    sound.resize(sound.size() + Rate / 2);
    const std::vector<SoundFrame> frames = FramesOf(sound);
    for (std::size_t k = 50; k < 200; ++k) {
        EXPECT_NEAR(frames[k].LowStep, StepOf(98), 1) << k;
        EXPECT_NEAR(frames[k].HighStep, StepOf(740), 1) << k;
    }
    const RumbleStream rumble = RumbleOfSound(frames, LoudestOf(frames));
    // The bass at the safe maximum, the tone 0.3/0.5 of it (-0.74 octave), both sounding; then
    // the low band silent and the tone as loud as before; silence silent.
    EXPECT_NEAR(rumble.Samples[150].Low.Amplitude, SafeMaximumAmplitude, 1);
    EXPECT_NEAR(rumble.Samples[150].High.Amplitude, SafeMaximumAmplitude - 24, 2);
    EXPECT_LT(rumble.Samples[280].Low.Amplitude, QuietestAmplitude);
    EXPECT_NEAR(rumble.Samples[280].High.Amplitude, SafeMaximumAmplitude - 24, 2);
    for (std::size_t k = 340; k < rumble.Samples.size(); ++k) {
        EXPECT_LT(rumble.Samples[k].High.Amplitude, QuietestAmplitude) << k;
        EXPECT_LT(rumble.Samples[k].Low.Amplitude, QuietestAmplitude) << k;
    }
}

TEST(SoundAnalysis, AToneSoundsFromItsOnsetsSampleAndSilenceIsSilent)
{
    const std::vector<SoundFrame> frames = FramesOf(Sines(1.5, {{440, 0.4}}, 0.5, 1.0));
    const RumbleStream rumble = RumbleOfSound(frames, LoudestOf(frames));
    std::size_t first = rumble.Samples.size();
    for (std::size_t k = 0; k < rumble.Samples.size() && first == rumble.Samples.size(); ++k)
        if (rumble.Samples[k].High.Amplitude >= QuietestAmplitude) first = k;
    EXPECT_GE(first, 99u);   // the sample from 495 to 500 ms ends at the onset
    EXPECT_LE(first, 101u);
    EXPECT_LT(rumble.Samples[230].High.Amplitude, QuietestAmplitude);  // 150 ms after the end

    const std::vector<SoundFrame> quiet = FramesOf(std::vector<float>(Rate, 0.0f));
    EXPECT_EQ(LoudestOf(quiet), 0.0f);
    for (const RumbleSample& s : RumbleOfSound(quiet, 0.0f).Samples) {
        EXPECT_EQ(s.High.Amplitude, SilentAmplitude);
        EXPECT_EQ(s.Low.Amplitude, SilentAmplitude);
    }
}

}  // namespace
