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
    FinishSoundAnalysis(&analysis);
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
        const double hz = 50 * std::exp2(octaves * (k + 0.5) / frames.size());
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
    // A bass at 98 Hz under a softer tone at 740 Hz, then only the tone, then silence.
    std::vector<float> sound = Sines(1.0, {{98, 0.5}, {740, 0.3}});
    const std::vector<float> alone = Sines(0.5, {{740, 0.3}});
    sound.insert(sound.end(), alone.begin(), alone.end());
    sound.resize(sound.size() + Rate / 2);
    const std::vector<SoundFrame> frames = FramesOf(sound);
    // Frames whose window holds the change at 1 s are left out.
    for (std::size_t k = 10; k < 190; ++k) {
        EXPECT_NEAR(frames[k].LowStep, StepOf(98), 1) << k;
        EXPECT_NEAR(frames[k].HighStep, StepOf(740), 1) << k;
    }
    // The tone alone is the only line: the high band holds it, the low band its octave below.
    for (std::size_t k = 210; k < 290; ++k) {
        EXPECT_NEAR(frames[k].LowStep, StepOf(370), 1) << k;
        EXPECT_NEAR(frames[k].HighStep, StepOf(740), 1) << k;
    }
    const RumbleStream rumble = RumbleOfSound(frames, LoudestOf(frames));
    // The bass at the safe maximum, the tone 0.3/0.5 of it (-0.74 octave), both sounding, and
    // as loud when alone; silence silent.
    EXPECT_NEAR(rumble.Samples[150].Low.Amplitude, SafeMaximumAmplitude, 1);
    EXPECT_NEAR(rumble.Samples[150].High.Amplitude, SafeMaximumAmplitude - 24, 2);
    EXPECT_NEAR(rumble.Samples[250].High.Amplitude, SafeMaximumAmplitude - 24, 2);
    for (std::size_t k = 310; k < rumble.Samples.size(); ++k) {
        EXPECT_LT(rumble.Samples[k].High.Amplitude, QuietestAmplitude) << k;
        EXPECT_LT(rumble.Samples[k].Low.Amplitude, QuietestAmplitude) << k;
    }
}

TEST(SoundAnalysis, TheBandsPlayFundamentalsNotOvertones)
{
    // A note of 147 Hz whose 2nd and 3rd harmonics are louder than it: both bands play 147 Hz.
    const std::vector<SoundFrame> rich = FramesOf(Sines(0.6, {{147, 0.08}, {294, 0.3}, {441, 0.25}, {588, 0.12}, {735, 0.08}, {882, 0.05}}));
    for (std::size_t k = 10; k < 110; ++k) {
        EXPECT_NEAR(rich[k].HighStep, StepOf(147), 1) << k;
        EXPECT_NEAR(rich[k].LowStep, StepOf(147), 1) << k;
    }
    // A bass of 98 Hz rich in harmonics under a melody whose partials lie among its own, the
    // fundamental first between its 3rd and 4th (330 Hz), then between its 4th and 5th (440 Hz):
    // the low band keeps the bass, the high band the melody.
    std::vector<std::pair<double, double>> bass;
    for (int h = 1; h <= 10; ++h) bass.push_back({98.0 * h, 0.3 / h});
    std::vector<float> sound = Sines(1.2, bass);
    const std::vector<float> first = Sines(1.2, {{330, 0.3}, {660, 0.15}, {990, 0.075}}, 0, 0.6);
    const std::vector<float> second = Sines(1.2, {{440, 0.3}, {880, 0.15}, {1320, 0.075}}, 0.6, 1.2);
    for (std::size_t n = 0; n < sound.size(); ++n) sound[n] += first[n] + second[n];
    const std::vector<SoundFrame> frames = FramesOf(sound);
    for (std::size_t k = 10; k < 230; ++k) {
        if (k > 105 && k < 135) continue;  // the window holds both melody notes
        EXPECT_NEAR(frames[k].LowStep, StepOf(98), 1) << k;
        EXPECT_NEAR(frames[k].HighStep, StepOf(k < 120 ? 330 : 440), 1) << k;
    }
}

TEST(SoundAnalysis, AToneSoundsFromItsOnsetAndStopsWithIt)
{
    const std::vector<SoundFrame> frames = FramesOf(Sines(1.5, {{440, 0.4}}, 0.5, 1.0));
    const RumbleStream rumble = RumbleOfSound(frames, LoudestOf(frames));
    std::size_t first = rumble.Samples.size();
    for (std::size_t k = 0; k < rumble.Samples.size() && first == rumble.Samples.size(); ++k)
        if (rumble.Samples[k].High.Amplitude >= QuietestAmplitude) first = k;
    EXPECT_GE(first, 99u);   // the sample from 495 to 500 ms ends at the onset
    EXPECT_LE(first, 101u);
    // Silent within 25 ms of the tone stopping dead.
    for (std::size_t k = 205; k < rumble.Samples.size(); ++k) {
        EXPECT_LT(rumble.Samples[k].High.Amplitude, QuietestAmplitude) << k;
        EXPECT_LT(rumble.Samples[k].Low.Amplitude, QuietestAmplitude) << k;
    }

    const std::vector<SoundFrame> quiet = FramesOf(std::vector<float>(Rate, 0.0f));
    EXPECT_EQ(LoudestOf(quiet), 0.0f);
    for (const RumbleSample& s : RumbleOfSound(quiet, 0.0f).Samples) {
        EXPECT_EQ(s.High.Amplitude, SilentAmplitude);
        EXPECT_EQ(s.Low.Amplitude, SilentAmplitude);
    }
}

}  // namespace
