// PlayNote on the test clock: every report's bytes and the exact count at which it is sent.
#include "controller/link.h"
#include "rumble/delay.h"
#include "rumble/note_player.h"
#include "rumble/tone_tables.h"
#include "tests/support/core_state_reset.h"
#include "tests/support/fake_hid.h"
#include "tests/support/test_clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using test_clock::DelayCounts;

// A rumble report: when it was written and its four rumble bytes.
struct Sent {
    long long At;
    std::vector<int> Bytes;
    bool operator==(const Sent& other) const { return At == other.At && Bytes == other.Bytes; }
};

std::ostream& operator<<(std::ostream& out, const Sent& sent)
{
    out << "at " << sent.At << ":";
    for (int b : sent.Bytes) out << " " << std::hex << b << std::dec;
    return out;
}

class NotePlayerTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake_hid::Reset();
        test_clock::Reset();
        ResetControllerLink();
        BuildToneTables();
        ControllerLink.Handle = OpenHidHandle(ControllerVendorId, ControllerProductId);
    }

    static std::vector<Sent> SentReports()
    {
        std::vector<Sent> sent;
        for (const fake_hid::Event& write : fake_hid::Writes()) {
            EXPECT_EQ(write.bytes[0], RumbleReportId);
            // Both blocks carry the same four bytes.
            for (int b = 0; b < 4; ++b) EXPECT_EQ(write.bytes[2 + b], write.bytes[6 + b]);
            sent.push_back({write.timeNs, {write.bytes[2], write.bytes[3], write.bytes[4], write.bytes[5]}});
        }
        return sent;
    }
};

const std::vector<int> E3Full = {0x04, 0x75, 0x61, 0x5D};
const std::vector<int> E3Soft = {0x04, 0x39, 0x61, 0x4E};

TEST_F(NotePlayerTest, NoteSendsAReportAtEachUnitAndASofterOneHalfwayThroughTheLast)
{
    // "e4" at 25 ms: waits of 25, 25, 25, 12 and 12 ms, a report at each boundary.
    const long long d25 = DelayCounts(25);
    const long long d12 = DelayCounts(12);
    PlayNote(31, 4, 25);
    EXPECT_EQ(SentReports(), (std::vector<Sent>{{0, E3Full},
                                                {d25, E3Full},
                                                {2 * d25, E3Full},
                                                {3 * d25, E3Full},
                                                {3 * d25 + d12, E3Soft}}));
    EXPECT_EQ(test_clock::Now(), 3 * d25 + 2 * d12) << "the note ends after its softer half";
    EXPECT_EQ(fake_hid::ReadCount(), 0);
}

TEST_F(NotePlayerTest, HalvingTruncatesOddLevelsAndUnits)
{
    // Index 14 has level 9, which halves to 4; unit 25 halves to 12.
    PlayNote(14, 1, 25);
    const int high = HighFrequencyCodes[14];
    const int low = LowFrequencyCodes[14];
    EXPECT_EQ(SentReports(),
              (std::vector<Sent>{{0, {high & 0xFF, (high >> 8) + HighAmplitudeCodes[9], low, LowAmplitudeCodes[9]}},
                                 {DelayCounts(12), {high & 0xFF, (high >> 8) + HighAmplitudeCodes[4], low,
                                                    LowAmplitudeCodes[4]}}}));
    EXPECT_EQ(test_clock::Now(), 2 * DelayCounts(12));
}

TEST_F(NotePlayerTest, RestsWaitTheirUnitsAndEmptyLengthsNothing)
{
    PlayNote(RestNote, 3, 25);
    EXPECT_EQ(test_clock::Now(), 3 * DelayCounts(25));
    const long long readings = test_clock::CounterReadings();
    PlayNote(31, 0, 25);
    PlayNote(31, -5, 25);
    PlayNote(RestNote, 0, 25);
    EXPECT_EQ(test_clock::CounterReadings(), readings) << "an empty length waited";
    EXPECT_TRUE(fake_hid::Writes().empty());
}

TEST_F(NotePlayerTest, SilentNotesStillSendAndUnitOneStillHalves)
{
    PlayNote(7, 2, 1);
    const std::vector<int> silent = {0x04, 0x00, 0x21, 0x40};
    EXPECT_EQ(SentReports(), (std::vector<Sent>{{0, silent},
                                                {DelayCounts(1), silent},
                                                {DelayCounts(1) + DelayCounts(0), silent}}));
    EXPECT_EQ(test_clock::Now(), DelayCounts(1) + 2 * DelayCounts(0));
}

}  // namespace
