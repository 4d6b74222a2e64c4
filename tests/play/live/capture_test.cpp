// Sound caught live: the stream makes each sample with no more than live play's lookahead, and
// the performer carries the samples to the controller as they come, ending with the source.
#include "controller/connection.h"
#include "controller/link.h"
#include "play/live/capture_performer.h"
#include "platform/clock.h"
#include "platform/interrupt.h"
#include "rumble/tone_tables.h"
#include "tests/support/fake_hid.h"
#include "tests/support/test_clock.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int Rate = 48000;
constexpr std::size_t BlockFrames = Rate / 200;  // 5 ms
constexpr long long IntervalUs = 15000;

// Block n (5 ms) of stereo sound: silence for the first 100 ms, then 440 Hz on both sides.
std::vector<float> Block(long long n)
{
    std::vector<float> block(2 * BlockFrames);
    for (std::size_t i = 0; i < BlockFrames; ++i) {
        const long long at = n * static_cast<long long>(BlockFrames) + static_cast<long long>(i);
        const float v = at < Rate / 10 ? 0.0f : static_cast<float>(0.4 * std::sin(2 * Pi * 440 * at / Rate));
        block[2 * i] = block[2 * i + 1] = v;
    }
    return block;
}

int HighStep(const RumbleSample& s) { return ToneStepOfFrequency(s.High.Frequency, true); }

TEST(Capture, EachSampleIsMadeWithinFifteenMillisecondsOfItsSoundAndFollowsIt)
{
    BuildToneTables();
    CaptureStream stream;
    StartCaptureStream(&stream, Rate, 2, true, true);
    const int wanted = static_cast<int>(std::lround(32 * std::log2(44.0)));
    for (long long n = 0; n < 100; ++n) {
        const std::vector<float> block = Block(n);
        FeedCaptureStream(&stream, block.data(), BlockFrames);
        // After n + 1 blocks every sample whose 5 ms ended 15 ms or more before is made.
        EXPECT_GE(stream.Made, n + 1 - 3) << n;
    }
    RumbleSample sample;
    for (long long k = 30; k < stream.Made; ++k)
        for (const CaptureSide side : {CaptureSide::Mix, CaptureSide::Left, CaptureSide::Right}) {
            ASSERT_TRUE(CaptureSampleAt(stream, side, k, &sample) || k < FirstKeptCaptureSample(stream)) << k;
            if (k < FirstKeptCaptureSample(stream)) continue;
            EXPECT_NEAR(HighStep(sample), wanted, 1) << k;
            EXPECT_GE(sample.High.Amplitude, QuietestAmplitude) << k;
        }
    // Silence before the tone is silent; the recording keeps every sample of the mix.
    EXPECT_EQ(stream.Recorded[10].High.Amplitude, SilentAmplitude);
    EXPECT_EQ(static_cast<long long>(stream.Recorded.size()), stream.Made);
    EXPECT_FALSE(CaptureSampleAt(stream, CaptureSide::Mix, stream.Made, &sample));
}

TEST(Capture, ThePerformerCarriesTheSoundUntilTheSourceGoesAway)
{
    test_clock::Reset();
    test_clock::FollowRealTime();
    fake_hid::Reset();
    ClearInterruptRequest();
    BuildToneTables();
    ControllerConnection connection;
    StartConnection(connection, OpenHidHandle(ControllerVendorId, ControllerProductId), IntervalUs);
    CaptureStage stage;
    StartCaptureStage(stage, Rate, 2, false, false);
    // The source: a second of sound in 5 ms blocks, then it goes away.
    std::thread source([&stage] {
        for (long long n = 0; n < 200; ++n) {
            const std::vector<float> block = Block(n);
            ReceiveCapturedSound(stage, block.data(), BlockFrames, ReadCounter());
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        EndCapture(stage, "the sound source went away");
    });
    CaptureTiming timing;
    const LiveOutcome outcome = PerformCapture(stage, {&connection}, {{CaptureSide::Mix, CaptureSide::Mix}}, IntervalUs, &timing, nullptr);
    source.join();
    EXPECT_EQ(outcome, LiveOutcome::InputFailed);
    EXPECT_EQ(stage.Failure, "the sound source went away");
    // The reports, decoded as the controller plays them, end on the tone.
    const std::vector<fake_hid::Event> writes = fake_hid::Writes();
    ASSERT_GT(writes.size(), 20u);
    RumbleSample state = RestingRumbleSample;
    RumbleSample played[MaxSamplesPerBlock];
    int toneSamples = 0;
    const int wanted = static_cast<int>(std::lround(32 * std::log2(44.0)));
    for (const fake_hid::Event& write : writes) {
        const int count = DecodeRumbleBlock(write.bytes.data() + 2, &state, played);
        for (int i = 0; i < count; ++i)
            if (played[i].High.Amplitude >= QuietestAmplitude && std::abs(HighStep(played[i]) - wanted) <= 1) ++toneSamples;
    }
    EXPECT_GT(toneSamples, 100);
    EXPECT_EQ(timing.FromSoundNs.size(), timing.BeyondTurnNs.size());
    EXPECT_GT(timing.FromSoundNs.size(), 100u);
}

}  // namespace
