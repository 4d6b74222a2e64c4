#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

#include "tests/support/preview_test_log.h"
#include "tools/preview/rumble_timeline.h"
#include "tools/preview/rumble_wav.h"

namespace {

struct RenderedWav {
    std::string Bytes;
    std::vector<int> Samples;
};

std::uint32_t ReadLittleEndian(const std::string& bytes, std::size_t at, int size)
{
    std::uint32_t value = 0;
    for (int i = size - 1; i >= 0; --i) {
        value = value * 256 + static_cast<unsigned char>(bytes[at + i]);
    }
    return value;
}

RenderedWav Render(const TestLog& log)
{
    const RumbleTimeline timeline = BuildRumbleTimeline(ReadTestLog(log).Events);
    std::ostringstream out;
    EXPECT_TRUE(WriteRumbleWav(timeline, out));
    RenderedWav wav;
    wav.Bytes = out.str();
    for (std::size_t at = WavHeaderSize; at + 1 < wav.Bytes.size(); at += 2) {
        wav.Samples.push_back(static_cast<std::int16_t>(ReadLittleEndian(wav.Bytes, at, 2)));
    }
    return wav;
}

std::size_t SampleAtMs(double ms)
{
    return static_cast<std::size_t>(ms * WavSampleRate / 1000.0);
}

int PeakBetween(const RenderedWav& wav, double fromMs, double toMs)
{
    int peak = 0;
    for (std::size_t i = SampleAtMs(fromMs); i < SampleAtMs(toMs); ++i) {
        peak = std::max(peak, std::abs(wav.Samples[i]));
    }
    return peak;
}

int UpwardCrossingsBetween(const RenderedWav& wav, double fromMs, double toMs)
{
    int crossings = 0;
    for (std::size_t i = SampleAtMs(fromMs) + 1; i < SampleAtMs(toMs); ++i) {
        if (wav.Samples[i - 1] < 0 && wav.Samples[i] >= 0) ++crossings;
    }
    return crossings;
}

}  // namespace

TEST(PreviewWav, HeaderDescribesMono16BitPcmAsLongAsTheLog)
{
    TestLog log;
    AddLine(log, "open 057e 2007 ok");
    Wait(log, 100);
    AddRumble(log, 0x04, 0x75, 0x61, 0x5D);
    Wait(log, 1234);
    log.NowNs += 567;  // a span that is not a whole number of samples
    AddLine(log, "close");
    const RenderedWav wav = Render(log);

    const std::int64_t expectedSamples = (1334LL * TestMs + 567) * WavSampleRate / 1000000000;
    const std::string& b = wav.Bytes;
    ASSERT_GE(b.size(), static_cast<std::size_t>(WavHeaderSize));
    EXPECT_EQ(b.substr(0, 4), "RIFF");
    EXPECT_EQ(ReadLittleEndian(b, 4, 4), b.size() - 8);
    EXPECT_EQ(b.substr(8, 4), "WAVE");
    EXPECT_EQ(b.substr(12, 4), "fmt ");
    EXPECT_EQ(ReadLittleEndian(b, 16, 4), 16u);
    EXPECT_EQ(ReadLittleEndian(b, 20, 2), 1u);       // PCM
    EXPECT_EQ(ReadLittleEndian(b, 22, 2), 1u);       // mono
    EXPECT_EQ(ReadLittleEndian(b, 24, 4), 44100u);
    EXPECT_EQ(ReadLittleEndian(b, 28, 4), 88200u);   // bytes per second
    EXPECT_EQ(ReadLittleEndian(b, 32, 2), 2u);       // bytes per sample frame
    EXPECT_EQ(ReadLittleEndian(b, 34, 2), 16u);
    EXPECT_EQ(b.substr(36, 4), "data");
    EXPECT_EQ(ReadLittleEndian(b, 40, 4), b.size() - WavHeaderSize);
    EXPECT_NEAR(static_cast<double>(wav.Samples.size()), static_cast<double>(expectedSamples), 1.0);
}

TEST(PreviewWav, SilentUntilTheFirstRumbleAndWhereAmplitudesAreZero)
{
    TestLog log;
    AddLine(log, "open 057e 2007 ok");
    Wait(log, 100);
    AddSubcommand(log, 0x48, 0x01);
    Wait(log, 100);
    AddRumble(log, 0x38, 0xC8, 0x2E, 0x72);  // 200 ms: 108.5 Hz, both bands full
    Wait(log, 200);
    AddSilence(log);                         // 400 ms
    Wait(log, 200);
    AddRumble(log, 0x38, 0x00, 0x2E, 0x72);  // 600 ms: low band only
    Wait(log, 200);
    AddRumble(log, 0x38, 0xC8, 0x2E, 0x40);  // 800 ms: high band only
    Wait(log, 200);
    AddLine(log, "close");                   // 1000 ms
    Wait(log, 100);
    AddLine(log, "open 057e 2007 absent");   // 1100 ms
    const RenderedWav wav = Render(log);
    ASSERT_NEAR(static_cast<double>(wav.Samples.size()), 1.1 * WavSampleRate, 1.0);

    EXPECT_EQ(PeakBetween(wav, 0, 200), 0);
    // Normalised: the loudest sample reaches 90 % of full scale and nothing clips.
    EXPECT_NEAR(PeakBetween(wav, 0, 1100), 0.9 * 32767, 2);
    EXPECT_GT(PeakBetween(wav, 210, 400), 25000);
    EXPECT_EQ(PeakBetween(wav, 410, 600), 0);   // after a short fade
    // One band at full amplitude is half as loud as both.
    EXPECT_NEAR(PeakBetween(wav, 610, 800), PeakBetween(wav, 210, 400) / 2.0, 400);
    EXPECT_NEAR(PeakBetween(wav, 810, 1000), PeakBetween(wav, 210, 400) / 2.0, 400);
    EXPECT_EQ(PeakBetween(wav, 1010, 1100), 0);  // after the close
}

TEST(PreviewWav, TonesSoundAtTheirFrequenciesWithoutClicks)
{
    TestLog log;
    AddRumble(log, 0x04, 0x75, 0x61, 0x40);  // high band alone, code 260: 327 Hz
    Wait(log, 500);
    AddRumble(log, 0x04, 0x00, 0x21, 0x72);  // low band alone, code 0x21: 81.6 Hz
    Wait(log, 500);
    AddRumble(log, 0x04, 0x75, 0x61, 0x40);
    Wait(log, 13);                           // many reports, odd spacings: phase runs on
    AddRumble(log, 0x04, 0x75, 0x61, 0x40);
    Wait(log, 7);
    AddRumble(log, 0x04, 0x75, 0x61, 0x40);
    Wait(log, 480);
    AddLine(log, "close");
    const RenderedWav wav = Render(log);

    EXPECT_NEAR(UpwardCrossingsBetween(wav, 0, 500), 0.5 * 327.0, 2);
    EXPECT_NEAR(UpwardCrossingsBetween(wav, 500, 1000), 0.5 * 81.6, 2);
    EXPECT_NEAR(UpwardCrossingsBetween(wav, 1000, 1500), 0.5 * 327.0, 2);
    // A sine at 327 Hz moves at most peak x 2 pi f / rate from one sample to the next; a
    // phase restart would jump by up to twice the peak.
    const double peak = PeakBetween(wav, 0, 1500);
    const double steepest = peak * 6.2832 * 327.0 / WavSampleRate;
    int largestStep = 0;
    for (std::size_t i = 1; i < wav.Samples.size(); ++i) {
        largestStep = std::max(largestStep, std::abs(wav.Samples[i] - wav.Samples[i - 1]));
    }
    EXPECT_LT(largestStep, steepest * 1.1);
}

TEST(PreviewWav, SubcommandReportsChangeNothing)
{
    TestLog plain;
    TestLog mixed;
    AddLine(plain, "open 057e 2007 ok");
    Wait(plain, 20);
    AddNote(plain, NoteE, 3, 25);
    // The same run with subcommand reports in between (carrying rumble bytes of their own).
    AddLine(mixed, "open 057e 2007 ok");
    Wait(mixed, 20);
    for (int k = 0; k < 3; ++k) {
        AddRumble(mixed, NoteE.Loud[0], NoteE.Loud[1], NoteE.Loud[2], NoteE.Loud[3]);
        Wait(mixed, k < 2 ? 10 : 6);
        AddWrite(mixed, {0x01, 0x00, 0x38, 0xC8, 0x2E, 0x72, 0x38, 0xC8, 0x2E, 0x72, 0x48, 0x01});
        Wait(mixed, k < 2 ? 15 : 6);
        if (k == 2) {
            AddRumble(mixed, NoteE.Soft[0], NoteE.Soft[1], NoteE.Soft[2], NoteE.Soft[3]);
            Wait(mixed, 13);
        }
    }
    ASSERT_EQ(plain.NowNs, mixed.NowNs);
    AddLine(plain, "close");
    AddLine(mixed, "close");
    EXPECT_EQ(Render(plain).Bytes, Render(mixed).Bytes);
}

TEST(PreviewWav, RefusesSpansBeyondTheLimit)
{
    TestLog log;
    AddRumble(log, 0x04, 0x75, 0x61, 0x5D);
    log.NowNs += MaxRenderedSpanNs + 1;
    AddLine(log, "close");
    const RumbleTimeline timeline = BuildRumbleTimeline(ReadTestLog(log).Events);
    std::ostringstream out;
    EXPECT_FALSE(WriteRumbleWav(timeline, out));
    EXPECT_TRUE(out.str().empty());
}
