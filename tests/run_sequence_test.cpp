// The whole run on the fake controller: console output, report order, the first notes' bytes,
// the tear-down, and the path without a controller (the message box itself is recorded; the
// executables' own message is checked end to end).
#include "app/run_sequence.h"
#include "app/tune.h"
#include "controller/link.h"
#include "playdata/player_state.h"
#include "tests/fake_hid.h"
#include "tests/recording_message_box.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

namespace {

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
            const std::string letters = "cdefgab";
            const int steps[] = {3, 5, 7, 8, 10, 12, 14};
            size_t letter = letters.find(command[0]);
            if (letter != std::string::npos) {
                int index = (octave - 1) * 12 + steps[letter];
                if (command.size() > 1 && command[1] == '+') ++index;
                if (command.size() > 1 && command[1] == '-') --index;
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

// Plays the whole tune in real time (about 41 s).
TEST(RunSequence, WholeRunPlaysTheTuneBetweenSetUpAndTearDown)
{
    fake_hid::Reset();
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

    // The first notes: A3 for eight units (level 6, last half at 3), C4 for eight (7 then 3),
    // E4 for eight (4 then 2).
    std::vector<std::vector<int>> expected;
    auto note = [&](std::vector<int> full, std::vector<int> soft, int units) {
        for (int u = 0; u < units; ++u) expected.push_back(full);
        expected.push_back(soft);
    };
    note({0xB8, 0x98, 0x4E, 0x66}, {0xB8, 0x58, 0x4E, 0x56}, 8);
    note({0xD8, 0xA8, 0x56, 0x6A}, {0xD8, 0x58, 0x56, 0x56}, 8);
    note({0x04, 0x75, 0x61, 0x5D}, {0x04, 0x39, 0x61, 0x4E}, 8);
    for (size_t i = 0; i < expected.size(); ++i) {
        const auto& write = writes[3 + i];
        int packet = static_cast<int>((4 + i) % 16);
        const auto& r = expected[i];
        EXPECT_EQ(Head(write), (std::vector<int>{0x10, packet, r[0], r[1], r[2], r[3], r[0], r[1],
                                                 r[2], r[3], 0x48, 0x01}))
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

    // The tune takes at least the time its commands ask: 40.638 s (every note's last unit
    // is 24 ms, the others 25 ms).
    double tuneMs = (writes[tail].timeNs - writes[3].timeNs) / 1e6;
    EXPECT_GE(tuneMs, 40638.0);
}

}  // namespace
