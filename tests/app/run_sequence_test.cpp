// The whole run on the fake controller and the test clock: console output, report order, every
// rumble report's bytes and time, the tear-down, and the path without a controller (the message
// box itself is recorded; the executables' own message is checked end to end).
#include "app/run_sequence.h"
#include "app/tune.h"
#include "controller/link.h"
#include "playdata/player_state.h"
#include "rumble/tone_tables.h"
#include "tests/support/core_state_reset.h"
#include "tests/support/fake_hid.h"
#include "tests/support/recording_message_box.h"
#include "tests/support/test_clock.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

// A step of 10 us keeps the whole tune's counter readings few; every wait is whole ms.
constexpr long long TuneStepNs = 10000;

// A rumble report as the tune's commands ask for it: when, and its four bytes.
struct ExpectedRumble {
    long long At;
    std::vector<int> Bytes;
};

// The note index a command of the tune plays in octave (its letter, then a sharp or flat), or -1
// for a command that is no note.
int NoteIndexOf(const std::string& command, int octave)
{
    const std::string letters = "cdefgab";
    const int steps[] = {3, 5, 7, 8, 10, 12, 14};
    const std::size_t letter = letters.find(command[0]);
    if (letter == std::string::npos) return -1;
    const char accidental = command.size() > 1 ? command[1] : ' ';
    return (octave - 1) * 12 + steps[letter] + (accidental == '+' ? 1 : accidental == '-' ? -1 : 0);
}

// The rumble reports of the echoed commands and the counts at which they are due, read again
// from the play-data rules for the forms the tune uses (t, l, o, <, >, rests, notes with an
// accidental and a length): a note sends one report per unit and a softer one half a unit into
// its last; waits are DelayMs calls alone on the test clock. *end receives the count at which
// the last command ends.
std::vector<ExpectedRumble> ExpectedTune(const std::vector<std::string>& commands, long long* end)
{
    int unit = 80;
    int length = 4;
    int octave = 4;
    long long at = 0;
    std::vector<ExpectedRumble> reports;
    auto wait = [&](int ms) { at += test_clock::DelayCounts(ms, TuneStepNs); };
    auto bytes = [](int note, int level) {
        const RumbleBytes rumble = FormRumbleBytes(note, level, level);
        return std::vector<int>(rumble.Bytes, rumble.Bytes + 4);
    };
    for (const std::string& command : commands) {
        std::string rest = command.substr(1);
        const char first = command[0];
        if (first == 't') unit = std::stoi(rest);
        if (first == 'l') length = std::stoi(rest);
        if (first == 'o') octave = std::stoi(rest);
        if (first == '<') --octave;
        if (first == '>') ++octave;
        if (first == 'r') {
            const int units = rest.empty() ? length : std::stoi(rest);
            for (int u = 0; u < units; ++u) wait(unit);
        }
        const int note = NoteIndexOf(command, octave);
        if (note < 0) continue;
        if (!rest.empty() && (rest[0] == '+' || rest[0] == '-')) rest = rest.substr(1);
        const int units = rest.empty() ? length : std::stoi(rest);
        const int level = HighLevelByNote[note];
        for (int u = 0; u < units; ++u) {
            reports.push_back({at, bytes(note, level)});
            if (u < units - 1) {
                wait(unit);
            } else {
                wait(unit / 2);
                reports.push_back({at, bytes(note, level / 2)});
                wait(unit / 2);
            }
        }
    }
    *end = at;
    return reports;
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

std::vector<int> Head(const fake_hid::Event& write, int n = 12)
{
    return std::vector<int>(write.bytes.begin(), write.bytes.begin() + n);
}

TEST(RunSequence, WithoutAControllerOnlyTheMessageIsShown)
{
    fake_hid::Reset();
    fake_hid::SetDeviceAbsent(true);
    ResetControllerLink();
    recording_message_box::Texts.clear();
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    int status = RunTavrel();
    std::string out = ::testing::internal::GetCapturedStdout();
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 1);
    EXPECT_EQ(out, "");
    EXPECT_EQ(err, "");
    EXPECT_EQ(recording_message_box::Texts, std::vector<std::string>{"JoyCon not found."});
    EXPECT_TRUE(fake_hid::Events().empty());  // no report, no close
}

TEST(Tune, StructureFollowsTheRulesOfTheBuiltInTune)
{
    const int sizes[TuneSegmentCount] = {16, 29, 69};
    const int repeats[TuneSegmentCount] = {1, 2, 2};
    int octave = 3;
    for (int s = 0; s < TuneSegmentCount; ++s) {
        const TuneSegment& segment = TuneSegments[s];
        EXPECT_EQ(segment.CommandCount, sizes[s]);
        EXPECT_EQ(segment.Repeats, repeats[s]);
        int shifts = 0;
        for (int i = 0; i < segment.CommandCount; ++i) {
            const std::string command = segment.Commands[i];
            SCOPED_TRACE("segment " + std::to_string(s) + " command '" + command + "'");
            ASSERT_FALSE(command.empty());
            EXPECT_LE(command.size(), 3u);
            for (char c : command) EXPECT_FALSE(c >= 'A' && c <= 'Z');
            EXPECT_EQ(command.find('h'), std::string::npos);
            const bool setting = command[0] == 't' || command[0] == 'l' || command[0] == 'o';
            EXPECT_EQ(setting, s == 0 && i < 3);
            if (command == "<") { --octave; ++shifts; }
            if (command == ">") { ++octave; --shifts; }
            const int index = NoteIndexOf(command, octave);
            if (index >= 0) {
                EXPECT_GE(index, 15);
                EXPECT_LE(index, 39);
            }
        }
        EXPECT_EQ(shifts, 0);
    }
    EXPECT_STREQ(TuneSegments[0].Commands[0], "t25");
    EXPECT_STREQ(TuneSegments[0].Commands[1], "l2");
    EXPECT_STREQ(TuneSegments[0].Commands[2], "o3");
}

// Plays the whole tune on the test clock, in well under a second.
TEST(RunSequence, WholeRunPlaysTheTuneBetweenSetUpAndTearDown)
{
    fake_hid::Reset();
    test_clock::Reset();
    test_clock::SetStep(TuneStepNs);
    ResetControllerLink();
    ResetPlayerState();
    ::testing::internal::CaptureStdout();
    int status = RunTavrel();
    std::vector<std::string> lines = Lines(::testing::internal::GetCapturedStdout());
    EXPECT_EQ(status, 0);

    // Banner, then 212 echo lines with the repeats in place.
    ASSERT_EQ(lines.size(), 213u);
    EXPECT_EQ(lines[0], "Tavrel ver 0.1 by Orvane.");
    EXPECT_EQ(lines[1], "play data = \"t25\"");
    EXPECT_EQ(lines[2], "play data = \"l2\"");
    EXPECT_EQ(lines[3], "play data = \"o3\"");
    for (int i = 0; i < 29; ++i) EXPECT_EQ(lines[17 + i], lines[46 + i]) << i;
    for (int i = 0; i < 69; ++i) EXPECT_EQ(lines[75 + i], lines[144 + i]) << i;
    EXPECT_NE(lines[17], lines[75]);
    for (size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].rfind("play data = \"", 0), 0u) << i;

    // Open; three set-up subcommands, each answered by one read; rumble only; four tear-down
    // reports (silence, then three subcommands with their reads); close.
    std::string calls = fake_hid::CallSequence();
    const int rumbleReports = 1666;  // one per unit of every note, plus its softer last half
    EXPECT_EQ(calls, "OWRWRWR" + std::string(rumbleReports, 'W') + "WWRWRWRC");

    auto writes = fake_hid::Writes();
    ASSERT_EQ(writes.size(), 3u + rumbleReports + 4u);
    EXPECT_EQ(Head(writes[0]), (std::vector<int>{0x01, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0x3F}));
    EXPECT_EQ(Head(writes[1]), (std::vector<int>{0x01, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0x30, 0x01}));
    EXPECT_EQ(Head(writes[2]), (std::vector<int>{0x01, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0x48, 0x01}));

    // The first notes by hand: A3, C4 and E4 for eight units each (levels 6, 7 and 4, their
    // last halves at 3, 3 and 2).
    const std::vector<std::vector<int>> firstNotes = {
        {0xB8, 0x98, 0x4E, 0x66}, {0xB8, 0x58, 0x4E, 0x56}, {0xD8, 0xA8, 0x56, 0x6A},
        {0xD8, 0x58, 0x56, 0x56}, {0x04, 0x75, 0x61, 0x5D}, {0x04, 0x39, 0x61, 0x4E}};
    for (int n = 0; n < 3; ++n) {
        for (int u = 0; u < 9; ++u) {
            const auto& write = writes[3 + 9 * n + u];
            const int packet = (4 + 9 * n + u) % 16;
            const auto& r = firstNotes[2 * n + (u == 8 ? 1 : 0)];
            EXPECT_EQ(Head(write), (std::vector<int>{0x10, packet, r[0], r[1], r[2], r[3], r[0], r[1], r[2], r[3],
                                                     0x48, 0x01}))
                << "rumble report " << 9 * n + u;
        }
    }

    // Every rumble report's bytes and time, as the echoed commands ask for them; the silence
    // report comes when the last command has ended.
    std::vector<std::string> commands;
    for (size_t i = 1; i < lines.size(); ++i) commands.push_back(lines[i].substr(13, lines[i].size() - 14));
    long long end = 0;
    const std::vector<ExpectedRumble> expected = ExpectedTune(commands, &end);
    ASSERT_EQ(expected.size(), static_cast<size_t>(rumbleReports));
    for (int i = 0; i < rumbleReports; ++i) {
        const auto& write = writes[3 + i];
        ASSERT_EQ(write.timeNs, expected[i].At) << "rumble report " << i;
        ASSERT_EQ(std::vector<int>(write.bytes.begin() + 2, write.bytes.begin() + 6), expected[i].Bytes)
            << "rumble report " << i;
    }

    // Every rumble report carries the last set-up subcommand in bytes 10 and 11.
    for (int i = 3; i < 3 + rumbleReports; ++i) {
        ASSERT_EQ(writes[i].bytes[0], 0x10) << i;
        EXPECT_EQ(writes[i].bytes[10], 0x48) << i;
        EXPECT_EQ(writes[i].bytes[11], 0x01) << i;
        EXPECT_EQ(writes[i].bytes[1], (i + 1) % 16) << i;
    }

    const size_t tail = 3 + rumbleReports;
    auto packet = [&](size_t i) { return static_cast<int>((i + 1) % 16); };
    EXPECT_EQ(Head(writes[tail]), (std::vector<int>{0x10, packet(tail), 0x3C, 0x00, 0x2F, 0x40,
                                                    0x3C, 0x00, 0x2F, 0x40, 0x48, 0x01}));
    EXPECT_EQ(Head(writes[tail + 1]),
              (std::vector<int>{0x01, packet(tail + 1), 0, 0, 0, 0, 0, 0, 0, 0, 0x48, 0x00}));
    EXPECT_EQ(Head(writes[tail + 2]),
              (std::vector<int>{0x01, packet(tail + 2), 0, 0, 0, 0, 0, 0, 0, 0, 0x30, 0x00}));
    EXPECT_EQ(Head(writes[tail + 3]),
              (std::vector<int>{0x01, packet(tail + 3), 0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0x3F}));
    EXPECT_EQ(writes[tail].timeNs, end);
}

}  // namespace
