// Output reports byte for byte: subcommands, rumble, silence, packet numbers, call order.
#include "controller/link.h"
#include "tests/support/core_state_reset.h"
#include "tests/support/fake_hid.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class LinkTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake_hid::Reset();
        ResetControllerLink();
        ControllerLink.Handle = OpenHidHandle(ControllerVendorId, ControllerProductId);
    }

    // First n bytes of written report number i; every later byte must be zero.
    static std::vector<int> Head(int i, int n = 12)
    {
        auto writes = fake_hid::Writes();
        std::vector<int> head(writes.at(i).bytes.begin(), writes.at(i).bytes.begin() + n);
        for (size_t b = n; b < writes.at(i).bytes.size(); ++b)
            EXPECT_EQ(writes.at(i).bytes[b], 0) << "report " << i << " byte " << b;
        return head;
    }
};

TEST_F(LinkTest, SubcommandReportsCarryIdAndArgumentAfterEmptyRumbleBlocks)
{
    SetInputReportMode(InputModeSimpleHid);
    SetPlayerLights(0x01);
    EnableVibration(1);
    EnableImu(1);
    SetInputReportMode(InputModeFullStandard);

    EXPECT_EQ(Head(0), (std::vector<int>{0x01, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0x3F}));
    EXPECT_EQ(Head(1), (std::vector<int>{0x01, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0x30, 0x01}));
    EXPECT_EQ(Head(2), (std::vector<int>{0x01, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0x48, 0x01}));
    EXPECT_EQ(Head(3), (std::vector<int>{0x01, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x01}));
    EXPECT_EQ(Head(4), (std::vector<int>{0x01, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0x03, 0x30}));
}

TEST_F(LinkTest, RumbleReportRepeatsItsBlockAndKeepsTheLastSubcommandBytes)
{
    EnableVibration(1);
    SendRumble(0x04, 0x75, 0x61, 0x5D);
    SendRumbleSilence();
    EXPECT_EQ(Head(1), (std::vector<int>{0x10, 2, 0x04, 0x75, 0x61, 0x5D, 0x04, 0x75, 0x61, 0x5D,
                                         0x48, 0x01}));
    EXPECT_EQ(Head(2), (std::vector<int>{0x10, 3, 0x3C, 0x00, 0x2F, 0x40, 0x3C, 0x00, 0x2F, 0x40,
                                         0x48, 0x01}));

    // A subcommand after rumble clears both blocks again.
    SetPlayerLights(0x00);
    EXPECT_EQ(Head(3), (std::vector<int>{0x01, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0x30, 0x00}));
}

TEST_F(LinkTest, PacketNumberCountsAllReportsAndWrapsAfterFifteen)
{
    for (int i = 0; i < 20; ++i) {
        if (i % 3 == 0)
            SetPlayerLights(0x01);
        else
            SendRumble(1, 2, 3, 4);
    }
    auto writes = fake_hid::Writes();
    ASSERT_EQ(writes.size(), 20u);
    const int expected[20] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 0, 1, 2, 3, 4};
    for (int i = 0; i < 20; ++i) EXPECT_EQ(writes[i].bytes[1], expected[i]) << "report " << i;
    EXPECT_EQ(ControllerLink.PacketCounter, 20);
}

TEST_F(LinkTest, SubcommandIsOneWriteThenOneReadAndRumbleIsOneWriteAlone)
{
    fake_hid::QueueReadAnswer({0x21, 0x05, 0x8E}, HidInputReportSize);
    SetInputReportMode(InputModeSimpleHid);
    SendRumble(1, 2, 3, 4);
    SendRumbleSilence();
    EnableVibration(0);
    EXPECT_EQ(fake_hid::CallSequence(), "OWRWWWR");

    // The answer lands in the link's input buffer with its length, uninspected.
    EXPECT_EQ(ControllerLink.InputReport[0], 0x21);
    EXPECT_EQ(ControllerLink.InputReport[2], 0x8E);
    EXPECT_EQ(ControllerLink.ReadLength, 0);  // the second subcommand's read brought nothing
}

}  // namespace
