#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/preview_test_log.h"
#include "tools/preview/event_log.h"
#include "tools/preview/rumble_lanes.h"
#include "tools/preview/rumble_timeline.h"
#include "tools/preview/tone_bars.h"

namespace {

EventLog ReadText(const std::string& text)
{
    std::istringstream in(text);
    return ReadEventLog(in);
}

}  // namespace

TEST(PreviewEventLog, ReadsEveryKindOfEvent)
{
    const EventLog log = ReadText(
        "100 open 057e 2007 ok\n"
        "200 write 3 10ab0F\n"
        "300 deliver 2 21ff\n"
        "400 timeout 50\n"
        "500 fail hid_read_timeout\n"
        "600 close\r\n"
        "700 open 057e 2007 absent\n");
    ASSERT_TRUE(log.Problems.empty()) << log.Problems.front();
    ASSERT_EQ(log.Events.size(), 7u);
    const LogEventKind kinds[] = {LogEventKind::Open,  LogEventKind::Write, LogEventKind::Deliver,
                                  LogEventKind::Timeout, LogEventKind::Fail, LogEventKind::Close,
                                  LogEventKind::Open};
    for (std::size_t i = 0; i < 7; ++i) {
        EXPECT_EQ(log.Events[i].Kind, kinds[i]) << "event " << i;
        EXPECT_EQ(log.Events[i].TimeNs, static_cast<std::int64_t>(100 * (i + 1)));
        EXPECT_EQ(log.Events[i].Line, static_cast<long>(i + 1));
    }
    EXPECT_EQ(log.Events[1].Bytes, (std::vector<unsigned char>{0x10, 0xAB, 0x0F}));
    EXPECT_EQ(log.Events[2].Bytes, (std::vector<unsigned char>{0x21, 0xFF}));
    EXPECT_TRUE(log.Events[0].Bytes.empty());
}

TEST(PreviewEventLog, SkipsMalformedLinesWithTheirNumbers)
{
    const EventLog log = ReadText(
        "1000 open 057e 2007 ok\n"              // 1 good
        "\n"                                    // 2 blank: skipped silently
        "12x4 close\n"                          // 3 bad time
        "2000 wobble\n"                         // 4 unknown event
        "2000 write 3 10ab\n"                   // 5 fewer digits than the length says
        "2000 write 2 10zz\n"                   // 6 not hex
        "2000 write 0 \n"                       // 7 zero length
        "2000 write 49\n"                       // 8 no bytes
        "99999999999999999999 close\n"          // 9 time beyond 64 bits
        "999 close\n"                           // 10 time runs backwards
        "-5 close\n"                            // 11 negative time
        "2000 open 057e 2007 maybe\n"           // 12 bad open result
        "2000 timeout soon\n"                   // 13 bad timeout
        "2000 close now\n"                      // 14 extra field
        "3000 write 2 0101\n"                   // 15 good
        "3000  close\n"                         // 16 two spaces: an empty event field
        "garbage\n");                           // 17 a lone word
    ASSERT_EQ(log.Events.size(), 2u);
    EXPECT_EQ(log.Events[0].Line, 1);
    EXPECT_EQ(log.Events[1].Line, 15);
    EXPECT_EQ(log.Events[1].Bytes, (std::vector<unsigned char>{0x01, 0x01}));
    const long badLines[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 16, 17};
    ASSERT_EQ(log.Problems.size(), sizeof badLines / sizeof badLines[0]);
    for (std::size_t i = 0; i < log.Problems.size(); ++i) {
        const std::string prefix = "line " + std::to_string(badLines[i]) + ": ";
        EXPECT_EQ(log.Problems[i].rfind(prefix, 0), 0u) << log.Problems[i];
    }
    EXPECT_NE(log.Problems[7].find("backwards"), std::string::npos) << log.Problems[7];
}

TEST(PreviewEventLog, NoEventsInAnEmptyOrJunkLog)
{
    EXPECT_TRUE(ReadText("").Events.empty());
    const EventLog log = ReadText(std::string("\x01\x02\xff binary\n", 11));
    EXPECT_TRUE(log.Events.empty());
    EXPECT_EQ(log.Problems.size(), 1u);
}

TEST(PreviewTimeline, EachRumbleReportReignsUntilTheNextOrTheClose)
{
    TestLog log;
    AddLine(log, "open 057e 2007 ok");
    Wait(log, 10);
    AddSubcommand(log, 0x48, 0x01);  // not rumble: no stretch, ends none
    Wait(log, 10);
    AddRumble(log, 0x04, 0x75, 0x61, 0x5D);  // at 20 ms
    Wait(log, 30);
    AddSubcommand(log, 0x30, 0x01);
    Wait(log, 20);
    AddRumble(log, 0x38, 0xC8, 0x2E, 0x72);  // at 70 ms
    Wait(log, 40);
    AddLine(log, "close");                   // at 110 ms
    Wait(log, 20);
    AddLine(log, "open 057e 2007 ok");
    AddRumble(log, 0x04, 0x39, 0x61, 0x4E);  // at 130 ms, until the last line
    Wait(log, 15);
    AddLine(log, "timeout 50");              // at 145 ms

    const RumbleTimeline timeline = BuildRumbleTimeline(ReadTestLog(log).Events);
    const std::int64_t start = 5000000000;
    EXPECT_EQ(timeline.StartNs, start);
    EXPECT_EQ(timeline.EndNs, start + 145 * TestMs);
    ASSERT_EQ(timeline.Stretches.size(), 3u);
    EXPECT_EQ(timeline.Stretches[0].StartNs, start + 20 * TestMs);
    EXPECT_EQ(timeline.Stretches[0].EndNs, start + 70 * TestMs);
    EXPECT_EQ(timeline.Stretches[0].Tone.High.Level.Frequency, 260 / 4 - 64);
    EXPECT_EQ(timeline.Stretches[1].StartNs, start + 70 * TestMs);
    EXPECT_EQ(timeline.Stretches[1].EndNs, start + 110 * TestMs);
    EXPECT_EQ(timeline.Stretches[1].Tone.High.Level.Frequency, 0x38 / 4 - 64);
    EXPECT_EQ(timeline.Stretches[2].StartNs, start + 130 * TestMs);
    EXPECT_EQ(timeline.Stretches[2].EndNs, start + 145 * TestMs);
    EXPECT_EQ(timeline.Stretches[2].Tone.High.Level.Amplitude, 2 * 0x1C - 158);
    // Nothing sounds between the close and the next rumble report.
    ASSERT_EQ(timeline.Silences.size(), 1u);
    EXPECT_EQ(timeline.Silences[0].StartNs, start + 110 * TestMs);
    EXPECT_EQ(timeline.Silences[0].EndNs, start + 130 * TestMs);
}

TEST(PreviewTimeline, BlocksPlayTheirSamples5msApartFromTheControllersRing)
{
    // Three samples of 5-bit commands: the high band set to -160, then two steps of +4 (the
    // low band reset each time); bytes little-endian.
    const std::uint32_t rise = (3u << 30) | (11u << 20) | (18u << 10) | 18u;
    const auto addRise = [&](TestLog& log) {
        AddRumble(log, rise & 0xFF, (rise >> 8) & 0xFF, (rise >> 16) & 0xFF, rise >> 24);
    };
    TestLog log;
    AddLine(log, "open 057e 2007 ok");
    Wait(log, 10);
    addRise(log);  // 10, 15, 20 ms
    Wait(log, 12);
    addRise(log);  // written at 22 ms, 3 ms early: played after the third sample, at 25, 30, 35
    Wait(log, 78);
    for (int k = 0; k < 4; ++k) addRise(log);  // at 100 ms: the ring holds 8 of the 12
    Wait(log, 100);
    AddLine(log, "close");

    const RumbleTimeline timeline = BuildRumbleTimeline(ReadTestLog(log).Events);
    EXPECT_EQ(timeline.Reports, 6u);
    ASSERT_EQ(timeline.Stretches.size(), 14u);
    const std::int64_t starts[] = {10, 15, 20, 25, 30, 35, 100, 105, 110, 115, 120, 125, 130, 135};
    for (std::size_t k = 0; k < 14; ++k) {
        EXPECT_EQ(timeline.Stretches[k].StartNs - timeline.StartNs, starts[k] * TestMs) << k;
        EXPECT_EQ(timeline.Stretches[k].Tone.High.Level.Amplitude, -160 + 4 * static_cast<int>(k % 3)) << k;
        EXPECT_EQ(timeline.Stretches[k].Tone.Low.Amplitude, 0.0) << k;
    }
    EXPECT_EQ(timeline.Stretches[5].EndNs - timeline.StartNs, 100 * TestMs);  // the last holds
    EXPECT_EQ(timeline.Problems, (std::vector<std::string>{
                                     "line 6: 1 of 3 samples lost: the controller's ring was full",
                                     "line 7: 3 of 3 samples lost: the controller's ring was full"}));
    // A note's rise stays in its bar; a rise after it fell is a new one.
    const std::vector<ToneBar> bars = BuildToneBars(timeline, RumbleBand::High);
    ASSERT_GE(bars.size(), 2u);
    EXPECT_EQ(bars[0].EndNs - timeline.StartNs, 30 * TestMs);
    EXPECT_EQ(bars[0].Steps.size(), 4u);
}

TEST(PreviewTimeline, ShortRumbleReportIsReportedAndSkipped)
{
    TestLog log;
    AddLine(log, "write 5 1001047561");
    Wait(log, 10);
    AddRumble(log, 0x04, 0x75, 0x61, 0x5D);
    Wait(log, 10);
    AddLine(log, "close");
    const RumbleTimeline timeline = BuildRumbleTimeline(ReadTestLog(log).Events);
    ASSERT_EQ(timeline.Problems.size(), 1u);
    EXPECT_EQ(timeline.Problems[0], "line 1: rumble report too short");
    ASSERT_EQ(timeline.Stretches.size(), 1u);
    EXPECT_EQ(timeline.Stretches[0].StartNs, timeline.StartNs + 10 * TestMs);
}

TEST(PreviewTimeline, RestsAreWhereSilenceWasSentBetweenNotes)
{
    TestLog log;
    AddLine(log, "open 057e 2007 ok");
    Wait(log, 5);
    AddNote(log, NoteE, 4, 25);  // 5 to 105 ms
    Wait(log, 100);              // the soft report held to 205 ms: still sounding, no rest
    AddNote(log, NoteA, 2, 25);  // 205 to 255 ms
    AddSilence(log);             // 255 ms: a rest until the next note
    Wait(log, 20);
    AddNote(log, NoteE, 1, 25);  // 275 to 300 ms
    AddRumble(log, NoteA.Loud[0], NoteA.Loud[1], NoteA.Loud[2], NoteA.Loud[3]);
    Wait(log, 60);
    AddRumble(log, NoteA.Soft[0], NoteA.Soft[1], NoteA.Soft[2], NoteA.Soft[3]);
    Wait(log, 12 + 25);
    AddSilence(log);             // 397 ms: silence to the end, no rest
    Wait(log, 10);
    AddLine(log, "close");       // 407 ms

    const RumbleTimeline timeline = BuildRumbleTimeline(ReadTestLog(log).Events);
    const std::int64_t start = timeline.StartNs;
    ASSERT_EQ(timeline.Rests.size(), 1u);
    EXPECT_EQ(timeline.Rests[0].StartNs, start + 255 * TestMs);
    EXPECT_EQ(timeline.Rests[0].EndNs, start + 275 * TestMs);
    ASSERT_EQ(timeline.Silences.size(), 1u);
    EXPECT_EQ(timeline.Silences[0].StartNs, start + 397 * TestMs);
    EXPECT_EQ(timeline.Silences[0].EndNs, start + 407 * TestMs);
}

TEST(PreviewTimeline, APlayersRightBlockIsAnActuatorOfItsOwn)
{
    TestLog log;
    AddLine(log, "open 057e 2009 ok");
    AddWrite(log, {0x10, 1, NoteE.Loud[0], NoteE.Loud[1], NoteE.Loud[2], NoteE.Loud[3], NoteA.Loud[0],
                   NoteA.Loud[1], NoteA.Loud[2], NoteA.Loud[3]});
    Wait(log, 30);
    AddLine(log, "close");
    const std::vector<LogEvent> events = ReadTestLog(log).Events;
    const std::vector<RumbleLane> lanes = LanesOfLog(events, "controller 1");
    ASSERT_EQ(lanes.size(), 2u);
    EXPECT_EQ(lanes[0].Name, "controller 1, left actuator");
    EXPECT_EQ(lanes[0].Timeline.Stretches[0].Tone.Low.Level.Frequency, NoteE.Loud[2] - 64);
    EXPECT_EQ(lanes[1].Pan, LanePan::Right);
    EXPECT_EQ(lanes[1].Timeline.Stretches[0].Tone.Low.Level.Frequency, NoteA.Loud[2] - 64);
    // A right Joy-Con plays its right block alone.
    TestLog joycon;
    AddLine(joycon, "open 057e 2007 ok");
    AddRumble(joycon, NoteE.Loud[0], NoteE.Loud[1], NoteE.Loud[2], NoteE.Loud[3]);
    EXPECT_EQ(LanesOfLog(ReadTestLog(joycon).Events, "").size(), 1u);
}
