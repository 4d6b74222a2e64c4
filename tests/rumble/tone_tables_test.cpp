// Frequency codes against the published code tables, and rumble bytes of known notes.
#include "rumble/tone_tables.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

const int ExpectedHighCodes[NoteCount] = {
    0,   0,   0,   0,   0,   0,   0,   4,   16,  24,  36,  48,
    56,  68,  80,  88,  100, 112, 120, 132, 144, 152, 164, 176,
    184, 196, 208, 216, 228, 240, 248, 260, 272, 280, 292, 304,
    312, 324, 336, 344, 356, 368, 376, 388, 400, 408, 420, 432,
    440, 452, 464, 472, 484, 496, 504, 0,   0,   0,   0,   0,
};

const int ExpectedLowCodes[NoteCount] = {
    14, 17, 20, 22, 25, 28, 30, 33, 36, 38, 41, 44,
    46, 49, 52, 54, 57, 60, 62, 65, 68, 70, 73, 76,
    78, 81, 84, 86, 89, 92, 94, 97, 100, 102, 105, 108,
    110, 113, 116, 118, 121, 124, 126, 0, 0, 0, 0, 0,
    0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,
};

std::vector<int> Bytes(const RumbleBytes& rumble)
{
    return {rumble.Bytes[0], rumble.Bytes[1], rumble.Bytes[2], rumble.Bytes[3]};
}

TEST(ToneTables, BuiltCodesMatchTheCodeTables)
{
    BuildToneTables();
    for (int i = 0; i < NoteCount; ++i) {
        EXPECT_EQ(HighFrequencyCodes[i], ExpectedHighCodes[i]) << "note " << i;
        EXPECT_EQ(LowFrequencyCodes[i], ExpectedLowCodes[i]) << "note " << i;
    }
}

TEST(ToneTables, FrequenciesAreEqualTemperedAroundA440)
{
    for (int i = 0; i < NoteCount; i += 12) EXPECT_DOUBLE_EQ(ToneFrequencies[i], 55.0 * (1 << (i / 12)));
    EXPECT_NEAR(ToneFrequencies[27], 261.626, 0.001);
    EXPECT_NEAR(ToneFrequencies[59], 1661.22, 0.01);
}

TEST(ToneTables, AmplitudeCodesAndLevels)
{
    const int high[LevelCount] = {0x00, 0x1C, 0x38, 0x58, 0x74, 0x88, 0x98, 0xA8, 0xB4, 0xC0, 0xC8};
    const int low[LevelCount] = {0x40, 0x47, 0x4E, 0x56, 0x5D, 0x62, 0x66, 0x6A, 0x6D, 0x70, 0x72};
    for (int level = 0; level < LevelCount; ++level) {
        EXPECT_EQ(HighAmplitudeCodes[level], high[level]);
        EXPECT_EQ(LowAmplitudeCodes[level], low[level]);
    }
    const int levels[NoteCount] = {
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,  10, 10, 9, 8, 8, 7, 5, 3, 2, 3, 4, 5,
        6, 7, 7, 7, 7, 7, 7, 4, 4, 9, 9, 9,  8, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10,
        10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10, 10,
    };
    for (int i = 0; i < NoteCount; ++i) {
        EXPECT_EQ(HighLevelByNote[i], levels[i]) << "note " << i;
        EXPECT_EQ(LowLevelByNote[i], levels[i]) << "note " << i;
    }
}

TEST(ToneTables, RumbleBytesOfKnownNotes)
{
    BuildToneTables();
    EXPECT_EQ(Bytes(FormRumbleBytes(31, 4, 4)), (std::vector<int>{0x04, 0x75, 0x61, 0x5D}));
    EXPECT_EQ(Bytes(FormRumbleBytes(31, 2, 2)), (std::vector<int>{0x04, 0x39, 0x61, 0x4E}));
    EXPECT_EQ(Bytes(FormRumbleBytes(12, 10, 10)), (std::vector<int>{0x38, 0xC8, 0x2E, 0x72}));
    EXPECT_EQ(Bytes(FormRumbleBytes(12, 5, 5)), (std::vector<int>{0x38, 0x88, 0x2E, 0x62}));
    EXPECT_EQ(Bytes(FormRumbleBytes(50, 10, 10)), (std::vector<int>{0xD0, 0xC9, 0x00, 0x72}));
    EXPECT_EQ(Bytes(FormRumbleBytes(7, 0, 0)), (std::vector<int>{0x04, 0x00, 0x21, 0x40}));
    // Bit 8 of the largest high code rides in byte 1 beside the amplitude.
    EXPECT_EQ(Bytes(FormRumbleBytes(54, 10, 3)), (std::vector<int>{0xF8, 0xC9, 0x00, 0x56}));
    EXPECT_EQ(Bytes(FormRumbleBytes(55, 10, 10)), (std::vector<int>{0x00, 0xC8, 0x00, 0x72}));
}

}  // namespace
