// Rumble files: .bnvib and .jcvib read from bytes laid out by hand, their faults, and .bnvib
// written back.
#include "play/readers/bnvib_reader.h"
#include "play/readers/jcvib_reader.h"
#include "play/schedule/piece_samples.h"
#include "play/arrange/stream_loops.h"
#include "play/schedule/stream_schedule.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <string>
#include <vector>

namespace {

std::string Bytes(const std::vector<int>& values)
{
    std::string out;
    for (int v : values) out += static_cast<char>(v);
    return out;
}

std::vector<int> Flat(const std::vector<RumbleSample>& samples)
{
    std::vector<int> out;
    for (const RumbleSample& s : samples) out.insert(out.end(), {s.High.Amplitude, s.High.Frequency, s.Low.Amplitude, s.Low.Frequency});
    return out;
}

TEST(RumbleFiles, ABnvibReadsItsLoopAndSamplesLowersWhatIsTooLoudAndSaysWhereAFaultIs)
{
    // Metadata 0x10 (a loop with a wait), format 3, 200 a second, loop 1 to 2, wait 5; three
    // samples: (low amplitude, low frequency, high amplitude, high frequency).
    const std::string file = Bytes({0x10, 0, 0, 0, 3, 0, 200, 0, 1, 0, 0, 0, 2, 0, 0, 0, 5, 0, 0, 0, 12, 0, 0, 0,
                                    128, 128, 0, 160,      // low at half (-1 octave: -32) at 160 Hz; high still
                                    255, 96, 64, 192,      // low full: lowered to the safe maximum; high a quarter
                                    0, 0, 16, 255});       // high 16/255 at 10 x 2^(255/32) Hz: off its scale
    RumbleStream stream;
    RumbleFileError error{};
    ASSERT_TRUE(ReadBnvib(file, &stream, &error)) << error.Message;
    EXPECT_EQ(stream.SamplePeriodUs, 5000);
    EXPECT_TRUE(stream.Loops);
    EXPECT_EQ(std::vector<std::size_t>({stream.LoopStart, stream.LoopEnd, stream.LoopWait}), (std::vector<std::size_t>{1, 2, 5}));
    // Amplitude 32 x log2(byte / 255); frequency: the byte is the tone step (10 x 2^(b/32) Hz),
    // the high band's centre at 160 (320 Hz), the low band's at 128 (160 Hz).
    EXPECT_EQ(Flat(stream.Samples), (std::vector<int>{-256, 0, -32, 0,          //
                                                      -64, 32, SafeMaximumAmplitude, -32,  //
                                                      -128, 63, -256, -128 + 64}));
    EXPECT_EQ(stream.Lowered, 1);
    EXPECT_EQ(stream.PeakAmplitude, 0);
    // Written back and read again: the same samples and loop.
    RumbleStream again;
    ASSERT_TRUE(ReadBnvib(FormBnvib(stream), &again, &error)) << error.Message;
    EXPECT_EQ(Flat(again.Samples), Flat(stream.Samples));
    EXPECT_EQ(again.LoopWait, 5u);

    const auto faultAt = [&](std::string bytes) {
        RumbleStream s;
        RumbleFileError e{};
        EXPECT_FALSE(ReadBnvib(bytes, &s, &e));
        EXPECT_FALSE(e.Message.empty());
        return e.Offset;
    };
    std::string bad = file;
    bad[0] = 8;  // no such metadata size
    EXPECT_EQ(faultAt(bad), 0u);
    bad = file;
    bad[4] = 2;  // format 2
    EXPECT_EQ(faultAt(bad), 4u);
    bad = file;
    bad[12] = 4;  // the loop ends after the last sample
    EXPECT_EQ(faultAt(bad), 12u);
    bad = file;
    bad[20] = 16;  // four samples said, three there
    EXPECT_EQ(faultAt(bad), 20u);
    EXPECT_EQ(faultAt(file.substr(0, 10)), 10u);  // the file ends in its header
}

TEST(RumbleFiles, AJcvibPlaysItsBlocksOntoTheFiveMillisecondGrid)
{
    // Two blocks 15 ms apart: tavrel's one-sample form (high band amplitude code 100, frequency
    // code 64; low still), held for 15 ms; then three 5-bit samples stepping the high band's
    // amplitude down 4/32 each time (command 30) while the low band keeps (24).
    const std::string file = Bytes({'R', 'R', 'A', 'W', 0, 15, 0, 0, 0, 2,
                                    0x00, 0xC9, 0x40, 0x40,   // 64 << 2 | 100 << 9 | 64 << 16 | 0 << 23 | 1 << 30
                                    0x1E, 0x7B, 0xEC, 0xF1}); // 3 << 30 | 24 << 25 | 30 << 20 | 24 << 15 | 30 << 10 | 24 << 5 | 30
    RumbleStream stream;
    RumbleFileError error{};
    ASSERT_TRUE(ReadJcvib(file, &stream, &error)) << error.Message;
    EXPECT_EQ(Flat(stream.Samples), (std::vector<int>{-27, 0, -256, 0, -27, 0, -256, 0, -27, 0, -256, 0,  //
                                                      -31, 0, -256, 0, -35, 0, -256, 0, -39, 0, -256, 0}));
    std::string bad = file;
    bad[9] = 3;  // three blocks said, two there
    RumbleStream s;
    EXPECT_FALSE(ReadJcvib(bad, &s, &error));
    EXPECT_EQ(error.Offset, 6u);
}

}  // namespace

namespace {

TEST(RumbleFiles, AStreamGoesOutThreeSamplesAReportEveryFifteenMillisecondsAndDecodesBackToItsSamples)
{
    RumbleStream stream;
    stream.Format = "BNVIB";
    for (int i = 0; i < 95; ++i)  // a rising tone on the high band, a pulse on the low one
        stream.Samples.push_back({{-40, -50 + i}, {i % 20 < 10 ? -60 : SilentAmplitude, 10}});
    const Schedule schedule = BuildStreamSchedule(stream, stream, DefaultMinIntervalUs, 100);
    ASSERT_EQ(schedule.Reports.size(), 33u);  // 32 reports of three samples, then silence
    // A report may follow a slow write by less than the interval, so that the stream keeps its times.
    EXPECT_EQ(schedule.WriteAllowanceUs, StreamWriteAllowanceUs);
    RumbleSample controller = RestingRumbleSample;
    std::vector<RumbleSample> played;
    for (std::size_t k = 0; k < schedule.Reports.size(); ++k) {
        const ScheduledReport& report = schedule.Reports[k];
        EXPECT_EQ(report.DueUs, static_cast<long long>(k) * 15000);
        RumbleSample samples[MaxSamplesPerBlock];
        const int count = DecodeRumbleBlock(report.Left.Bytes, &controller, samples);
        // Every tenth report sets both bands outright: one sample of 7-bit codes.
        if (k % KeyReportEvery == 0) {
            EXPECT_EQ(count, 1) << "report " << k;
        }
        for (int s = 0; s < MaxSamplesPerBlock; ++s) played.push_back(samples[s < count ? s : count - 1]);
    }
    long long error = 0;
    for (std::size_t i = 0; i < stream.Samples.size(); ++i) error += SampleError(stream.Samples[i], played[i]);
    EXPECT_LE(error, static_cast<long long>(stream.Samples.size()));  // a step in 1/32 octave a sample at most, on average
    EXPECT_EQ(Flat({played.back()}), Flat({RumbleSample{{SilentAmplitude, 15 - 64}, {SilentAmplitude, 47 - 64}}}));
    // At half the volume each amplitude is an octave lower.
    const Schedule half = BuildStreamSchedule(stream, stream, DefaultMinIntervalUs, 50);
    RumbleSample quiet = RestingRumbleSample;
    RumbleSample first[MaxSamplesPerBlock];
    DecodeRumbleBlock(half.Reports[0].Left.Bytes, &quiet, first);
    EXPECT_EQ(first[0].High.Amplitude, -40 - LogStepsPerOctave);
}

}  // namespace

namespace {

TEST(RumbleFiles, AFilesLoopPlaysItsPassesWithItsWaitBetweenThenTheRest)
{
    // Samples marked by their high band's frequency: 0 1 | 2 3 4 | 5 6, the loop 2 to 5, a wait of one.
    RumbleStream file;
    for (int i = 0; i < 7; ++i) file.Samples.push_back({{-40, i}, {SilentAmplitude, 0}});
    file.Loops = true;
    file.LoopStart = 2;
    file.LoopEnd = 5;
    file.LoopWait = 1;
    const auto marks = [](const RumbleStream& stream) {
        std::vector<int> out;
        for (const RumbleSample& s : stream.Samples) out.push_back(s.High.Amplitude == SilentAmplitude ? -1 : s.High.Frequency);
        return out;
    };
    RumbleStream played;
    ASSERT_TRUE(UnrollStreamLoop(file, 3, &played));
    EXPECT_EQ(marks(played), (std::vector<int>{0, 1, 2, 3, 4, -1, 2, 3, 4, -1, 2, 3, 4, 5, 6}));
    EXPECT_FALSE(played.Loops);
    EXPECT_FALSE(UnrollStreamLoop(file, 1 << 20, &played));  // far more than an hour

    // Until interrupted: passes begin on the first 15 ms report from the loop's start (sample 3),
    // and last whole reports of whole cycles of four samples (60 ms: three cycles).
    long long from = 0;
    ASSERT_TRUE(RepeatStreamLoop(file, 15000, &played, &from));
    EXPECT_EQ(from, 15000);
    EXPECT_EQ(marks(played), (std::vector<int>{0, 1, 2, 3, 4, -1, 2, 3, 4, -1, 2, 3, 4, -1, 2}));
    // Played from the start once, then from there on over and over, it is the loop for ever;
    // the report where the passes begin sets both bands outright (a one-sample block).
    const Schedule schedule = BuildStreamSchedule(played, played, 15000, 100, from);
    EXPECT_EQ(schedule.RepeatFromUs, 15000);
    ASSERT_GE(schedule.Reports.size(), 2u);
    EXPECT_EQ(schedule.Reports[1].DueUs, 15000);
    EXPECT_EQ(schedule.Reports[1].Left.Bytes[3] >> 6, 1);
    EXPECT_EQ(schedule.Reports[1].Left.Bytes[0] & 3, 0);
    EXPECT_NE(schedule.Reports[2].Left.Bytes[3] >> 6, 1);
}

TEST(RumbleFiles, ShapedNotesRiseFromTheirSampleAndFadeAfterTheyEnd)
{
    BuildToneTables();
    // A4 at level 10 on both bands from 12 ms (nearest sample: 10 ms) to 112 ms.
    Piece piece;
    piece.Voices.resize(1);
    piece.Voices[0].Steps = {{12000, 36, 10, 10}, {112000, RestNote, 0, 0}};
    piece.LengthUs = 200000;
    const RumbleStream plain = RenderPieceSamples(piece, NoteShape{});
    const RumbleStream shaped = RenderPieceSamples(piece, NoteShape{20000, 40000});
    const int full = plain.Samples[5].High.Amplitude;
    EXPECT_EQ(full, SafeMaximumAmplitude);  // level 10: amplitude code 100
    EXPECT_LT(plain.Samples[1].High.Amplitude, QuietestAmplitude);  // 5 ms: not yet
    EXPECT_EQ(plain.Samples[2].High.Amplitude, full);               // 10 ms: the onset's sample
    EXPECT_LT(plain.Samples[23].High.Amplitude, QuietestAmplitude);  // 115 ms: over
    // Attack of 20 ms: a quarter, a half, three quarters, then full (-2, -1, -0.4 octaves).
    EXPECT_EQ(shaped.Samples[2].High.Amplitude, full - 64);
    EXPECT_EQ(shaped.Samples[3].High.Amplitude, full - 32);
    EXPECT_EQ(shaped.Samples[4].High.Amplitude, full - 13);
    EXPECT_EQ(shaped.Samples[5].High.Amplitude, full);
    EXPECT_EQ(shaped.Samples[5].Low.Amplitude, plain.Samples[5].Low.Amplitude);
    // Release of 40 ms from 110 ms (the end's sample): half way at 130 ms, silent from 150 ms.
    EXPECT_EQ(shaped.Samples[26].High.Amplitude, full - 32);
    EXPECT_EQ(shaped.Samples[26].High.Frequency, plain.Samples[5].High.Frequency);
    EXPECT_LT(shaped.Samples[30].High.Amplitude, QuietestAmplitude);
}

TEST(RumbleFiles, ANoteWaversAsItsChannelsModulationWheelAsks)
{
    BuildToneTables();
    // Channel 2's note from 0 to 1 s; its wheel full from 0.5 s, half from 0.8 s. Channel 1's wheel stays away.
    Piece piece;
    piece.Voices.resize(1);
    piece.Voices[0].Steps = {{0, 36, 10, 10, 2}, {1000000, RestNote, 0, 0}};
    piece.LengthUs = 1000000;
    piece.Vibrato = {{0, 1, 127}, {500000, 2, 127}, {800000, 2, 64}};
    ASSERT_TRUE(AsksForVibrato(piece));
    const RumbleStream stream = RenderPieceSamples(piece, NoteShape{});
    const int pitch = stream.Samples[0].High.Frequency;
    const auto offsets = [&](int from, int to) {
        std::vector<int> out;
        for (int i = from; i < to; ++i) out.push_back(stream.Samples[i].High.Frequency - pitch);
        return out;
    };
    EXPECT_EQ(offsets(0, 100), std::vector<int>(100, 0));
    // 5.5 Hz from the note's onset, two steps either way: at 0.5 s, 2.75 cycles in, at its
    // trough; half a cycle (18 samples) later at its peak.
    const std::vector<int> full = offsets(100, 160);
    EXPECT_EQ(full[0], -2);
    EXPECT_EQ(full[18], 2);
    EXPECT_EQ(*std::max_element(full.begin(), full.end()), 2);
    EXPECT_EQ(*std::min_element(full.begin(), full.end()), -2);
    const std::vector<int> half = offsets(160, 200);
    EXPECT_EQ(*std::max_element(half.begin(), half.end()), 1);
    EXPECT_EQ(*std::min_element(half.begin(), half.end()), -1);
    EXPECT_EQ(stream.Samples[118].Low.Frequency - stream.Samples[0].Low.Frequency, 2);  // both bands
}

}  // namespace
