// The schedule of reports for tunes: merging, refresh, two voices, a start partway.
#include "play/arrange/piece_start.h"
#include "play/report/wording.h"
#include "play/schedule/report_schedule.h"
#include "tests/support/text_schedules.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::vector<long long> DueTimes(const Schedule& s)
{
    std::vector<long long> due;
    for (const ScheduledReport& r : s.Reports) due.push_back(r.DueUs);
    return due;
}

std::string Hex(const RumbleBytes& r)
{
    char text[9];
    std::snprintf(text, sizeof text, "%02x%02x%02x%02x", r.Bytes[0], r.Bytes[1], r.Bytes[2], r.Bytes[3]);
    return text;
}

const std::string Silence = "3c002f40";

TEST(PlaySchedule, HeldTonesAreRefreshedAndSilenceKeptAlive)
{
    // c of octave 4 (index 39) for 3 units of 100 ms: full until 250 ms, softer until 300 ms,
    // then 2.5 s of rest.
    const Schedule s = ScheduleOf("t100 c3 r25");
    EXPECT_EQ(DueTimes(s), (std::vector<long long>{0, 50000, 100000, 150000, 200000, 250000, 300000, 1300000,
                                                    2300000}));
    const RumbleBytes full = FormRumbleBytes(39, 10, 10);
    const RumbleBytes soft = FormRumbleBytes(39, 5, 5);
    EXPECT_EQ(Hex(s.Reports[4].Left), Hex(full));
    EXPECT_EQ(Hex(s.Reports[5].Left), Hex(soft));
    EXPECT_EQ(Hex(s.Reports[6].Left), Silence);
    EXPECT_EQ(Hex(s.Reports[8].Left), Silence);
    EXPECT_EQ(s.LengthUs, 2800000);
}

TEST(PlaySchedule, ChangesCloserThanTheIntervalMergeTheLaterWinning)
{
    // Notes of 4 ms (unit 5): full, softer from 2 ms. c at 0, d at 4, e at 8, f at 12, silence
    // from 16: 8 ms apart, only c, e and the silence go out.
    const Schedule s = ScheduleOf("t5 o3 c1 d1 e1 f1 r1");
    EXPECT_EQ(DueTimes(s), (std::vector<long long>{0, 8000, 16000}));
    EXPECT_EQ(Hex(s.Reports[1].Left), Hex(FormRumbleBytes(31, HighLevelByNote[31], LowLevelByNote[31])));
    EXPECT_EQ(Hex(s.Reports[2].Left), Silence);
    // A larger interval keeps every report that far apart, refresh included.
    for (long long interval : {30000LL, 100000LL}) {
        const std::vector<long long> due = DueTimes(ScheduleOf("t100 c8 r30", interval));
        for (std::size_t i = 1; i < due.size(); ++i) EXPECT_GE(due[i] - due[i - 1], interval);
    }
}

TEST(PlaySchedule, ARefreshNeverPutsAChangeOff)
{
    // One tone from 0, another from changeUs, silence from 200 ms.
    BuildToneTables();
    const auto scheduleWithChangeAt = [](long long changeUs, long long interval) {
        Piece piece;
        piece.Voices.push_back(PieceVoice{{{0, 39, 10, 10}, {changeUs, 41, 10, 10}, {200000, RestNote, 0, 0}}});
        piece.LengthUs = 300000;
        return DueTimes(BuildSchedule(piece, interval));
    };
    // The refresh due at 50 ms would hold the change at 58 ms back to 65: it comes at 43 instead.
    EXPECT_EQ(scheduleWithChangeAt(58000, 15000), (std::vector<long long>{0, 43000, 58000, 108000, 158000, 200000}));
    // There is no room for it before a change at 55 ms with a 30 ms interval: it is left out.
    EXPECT_EQ(scheduleWithChangeAt(55000, 30000), (std::vector<long long>{0, 55000, 105000, 155000, 200000}));
}

TEST(PlaySchedule, TwoVoicesTakeOneBandEachAndRestSilently)
{
    // Voice 1: e (index 31) until 30 ms, softer until 40, then rest. Voice 2: c (index 15) from
    // 20 ms until 90, softer until 100.
    const Schedule s = ScheduleOf("t20 o3 e2 r2 ; t20 r1 o2 c4");
    const RumbleBytes e = FormRumbleBytes(31, HighLevelByNote[31], 0);
    const RumbleBytes c = FormRumbleBytes(15, 0, LowLevelByNote[15]);
    EXPECT_EQ(DueTimes(s), (std::vector<long long>{0, 20000, 30000, 40000, 90000, 100000}));
    EXPECT_EQ(Hex(s.Reports[0].Left), Hex(e).substr(0, 4) + Silence.substr(4));
    EXPECT_EQ(Hex(s.Reports[1].Left), Hex(e).substr(0, 4) + Hex(c).substr(4));
    EXPECT_EQ(Hex(s.Reports[3].Left), Silence.substr(0, 4) + Hex(c).substr(4));
    EXPECT_EQ(Hex(s.Reports.back().Left), Silence);
}

TEST(PlaySchedule, AHighNoteLeavesTheLowBandSilent)
{
    // g of octave 5 (index 58, 1568 Hz) is beyond the low band's reach.
    const Schedule s = ScheduleOf("o5 g2");
    ASSERT_FALSE(LowBandReaches[58]);
    EXPECT_EQ(Hex(s.Reports[0].Left).substr(4), Silence.substr(4));
}

TEST(PlaySchedule, APieceFromPartwayHoldsWhatSoundsThenAndTimesAreReadAsWritten)
{
    Piece piece;
    piece.LengthUs = 3000000;
    piece.Voices.resize(1);
    piece.Voices[0].Steps = {{0, 10, 5, 5}, {1000000, 12, 6, 6}, {2000000, RestNote, 0, 0}};
    const Piece started = StartPieceAt(piece, 1500000);
    EXPECT_EQ(started.LengthUs, 1500000);
    ASSERT_EQ(started.Voices[0].Steps.size(), 2u);
    EXPECT_EQ(started.Voices[0].Steps[0].AtUs, 0);
    EXPECT_EQ(started.Voices[0].Steps[0].Note, 12);
    EXPECT_EQ(started.Voices[0].Steps[1].AtUs, 500000);

    long long us = 0;
    const std::pair<const char*, long long> read[] = {
        {"95", 95000000}, {"95.5", 95500000}, {"1:35.25", 95250000}, {"1:02:03", 3723000000}, {"0:05.000001", 5000001}};
    for (const auto& r : read) {
        EXPECT_TRUE(ParsePlayTime(r.first, &us)) << r.first;
        EXPECT_EQ(us, r.second) << r.first;
    }
    for (const char* wrong : {"", "1:5", "1:60", "1.", ".5", "-3", "1:2:3:4", "90000:00", "5s", "1.2345678"})
        EXPECT_FALSE(ParsePlayTime(wrong, &us)) << wrong;
}

}  // namespace
