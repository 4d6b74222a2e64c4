// PlayNote: report counts, levels, the softer last half unit, and the waits between reports.
#include "controller/link.h"
#include "rumble/delay.h"
#include "rumble/note_player.h"
#include "rumble/tone_tables.h"
#include "tests/fake_hid.h"

#include <gtest/gtest.h>

#include <chrono>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

class NotePlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake_hid::Reset();
        ResetControllerLink();
        BuildToneTables();
        ControllerLink.Handle = OpenHidHandle(ControllerVendorId, ControllerProductId);
    }

    static std::vector<int> Rumble(const fake_hid::Event& write)
    {
        EXPECT_EQ(write.bytes[0], RumbleReportId);
        // Both blocks carry the same four bytes.
        for (int b = 0; b < 4; ++b) EXPECT_EQ(write.bytes[2 + b], write.bytes[6 + b]);
        return {write.bytes[2], write.bytes[3], write.bytes[4], write.bytes[5]};
    }

    static double GapMs(const fake_hid::Event& a, const fake_hid::Event& b)
    {
        return (b.timeNs - a.timeNs) / 1e6;
    }
};

TEST_F(NotePlayerTest, NoteSendsOneReportPerUnitAndASofterLastHalf)
{
    PlayNote(31, 4, 10);
    auto writes = fake_hid::Writes();
    ASSERT_EQ(writes.size(), 5u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(Rumble(writes[i]), (std::vector<int>{0x04, 0x75, 0x61, 0x5D}));
    EXPECT_EQ(Rumble(writes[4]), (std::vector<int>{0x04, 0x39, 0x61, 0x4E}));
    EXPECT_EQ(fake_hid::ReadCount(), 0);

    // Full units wait the unit, the last unit's halves wait unit / 2 each (at least).
    for (int i = 0; i < 3; ++i) EXPECT_GE(GapMs(writes[i], writes[i + 1]), 10.0);
    EXPECT_GE(GapMs(writes[3], writes[4]), 5.0);
}

TEST_F(NotePlayerTest, HalvingTruncatesOddLevelsAndUnits)
{
    // Index 14 has level 9, which halves to 4; unit 25 halves to 12.
    auto start = Clock::now();
    PlayNote(14, 1, 25);
    double elapsedMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    auto writes = fake_hid::Writes();
    ASSERT_EQ(writes.size(), 2u);
    EXPECT_EQ(Rumble(writes[0])[1], (HighFrequencyCodes[14] >> 8) + HighAmplitudeCodes[9]);
    EXPECT_EQ(Rumble(writes[0])[3], LowAmplitudeCodes[9]);
    EXPECT_EQ(Rumble(writes[1])[1], (HighFrequencyCodes[14] >> 8) + HighAmplitudeCodes[4]);
    EXPECT_EQ(Rumble(writes[1])[3], LowAmplitudeCodes[4]);
    EXPECT_GE(GapMs(writes[0], writes[1]), 12.0);
    EXPECT_GE(elapsedMs, 24.0);
}

TEST_F(NotePlayerTest, RestsAndEmptyLengthsSendNothing)
{
    auto start = Clock::now();
    PlayNote(RestNote, 3, 25);
    double restMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    EXPECT_GE(restMs, 75.0);

    start = Clock::now();
    PlayNote(31, 0, 25);
    PlayNote(31, -5, 25);
    double emptyMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    EXPECT_LT(emptyMs, 20.0);  // wide margin: nothing is waited for

    EXPECT_TRUE(fake_hid::Writes().empty());
}

TEST_F(NotePlayerTest, SilentNotesStillSendAndUnitOneStillHalves)
{
    PlayNote(7, 2, 1);
    auto writes = fake_hid::Writes();
    ASSERT_EQ(writes.size(), 3u);
    for (const auto& write : writes) EXPECT_EQ(Rumble(write), (std::vector<int>{0x04, 0x00, 0x21, 0x40}));
}

TEST(DelayMs, WaitsMoreThanAskedAndReturnsForZeroAndNegative)
{
    for (int ms : {0, 1, 5}) {
        auto start = Clock::now();
        DelayMs(ms);
        double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
        EXPECT_GE(elapsed, ms) << ms;
        EXPECT_LT(elapsed, ms + 500.0) << ms;
    }
    auto start = Clock::now();
    DelayMs(-100);
    double elapsed = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    EXPECT_LT(elapsed, 500.0);
}

}  // namespace
