// Acknowledged subcommands, the USB handshake and the careful set-up and restore, on the fake
// backend: answers come when a script says, after the writes they answer.
#include "controller/pacing.h"
#include "controller/replies.h"
#include "controller/session.h"
#include "platform/interrupt.h"
#include "tests/support/fake_hid.h"
#include "tests/support/test_clock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr long long IntervalUs = 15000;
constexpr long long Ms = 1000000;

std::vector<unsigned char> Reply(unsigned char id, bool ack = true, unsigned char battery = 0x8E)
{
    std::vector<unsigned char> r(49, 0);
    r[0] = 0x21;
    r[2] = battery;
    r[13] = ack ? 0x80 : 0x00;
    r[14] = id;
    return r;
}

std::vector<unsigned char> Streamed(unsigned char id) { return std::vector<unsigned char>{id, 0x00, 0x8E}; }

std::vector<unsigned char> UsbAnswer(unsigned char command) { return std::vector<unsigned char>{0x81, command}; }

// The report ID and, for subcommands, ID and argument (for 0x80, the command) of every write.
std::vector<std::string> Written()
{
    std::vector<std::string> out;
    for (const fake_hid::Event& w : fake_hid::Writes()) {
        char text[16];
        if (w.bytes[0] == 0x01)
            std::snprintf(text, sizeof text, "01 %02x %02x", w.bytes[10], w.bytes[11]);
        else
            std::snprintf(text, sizeof text, "%02x %02x", w.bytes[0], w.bytes[0] == 0x80 ? w.bytes[1] : 0);
        out.push_back(text);
    }
    return out;
}

class Connection : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_clock::Reset();
        fake_hid::Reset();
        ClearInterruptRequest();
        StartConnection(connection, OpenHidHandle(ControllerVendorId, ControllerProductId), IntervalUs);
    }
    ControllerConnection connection;
};

TEST_F(Connection, ASubcommandWaitsForItsOwnAcknowledgedAnswerAndIsTriedAgain)
{
    // Queued before it: a streamed report and an old reply. After the first try: a streamed
    // report, another subcommand's answer, then its own without the acknowledgement. The second
    // try is never answered; the third is, 25 ms after it, with a low battery.
    fake_hid::QueueReadAnswer(Streamed(0x30), HidInputReportSize);
    fake_hid::QueueReadAnswer(Reply(0x03), HidInputReportSize);
    fake_hid::QueueReadAnswer(Streamed(0x30), HidInputReportSize, 1, 5 * Ms);
    fake_hid::QueueReadAnswer(Reply(0x30), HidInputReportSize, 1, 10 * Ms);
    fake_hid::QueueReadAnswer(Reply(0x48, false), HidInputReportSize, 1, 20 * Ms);
    fake_hid::QueueReadAnswer(Reply(0x48, true, 0x4E), HidInputReportSize, 3, 25 * Ms);
    EXPECT_EQ(SendAcknowledgedSubcommandOn(connection, SubcommandEnableVibration, 1), SubcommandAnswer::Acknowledged);
    EXPECT_EQ(Written(), (std::vector<std::string>{"01 48 01", "01 48 01", "01 48 01"}));
    // The queued reports were taken before the first try; the subcommand carries neutral rumble.
    EXPECT_EQ(fake_hid::CallSequence().substr(0, 5), "ORRRW");
    const std::vector<fake_hid::Event> writes = fake_hid::Writes();
    for (int i = 0; i < 8; ++i) EXPECT_EQ(writes[0].bytes[2 + i], NeutralRumble[i % 4]) << i;
    // The unanswered try was given up after the bound, not sooner.
    EXPECT_GE(writes[2].timeNs - writes[1].timeNs, SubcommandReplyWaitMs * Ms);
    EXPECT_EQ(connection.FoundInputMode, 0x30);
    EXPECT_TRUE(connection.BatteryLow);
}

TEST_F(Connection, NoAnswerRefusalAndALostControllerAreTold)
{
    EXPECT_EQ(SendAcknowledgedSubcommandOn(connection, SubcommandSetPlayerLights, 1), SubcommandAnswer::NoAnswer);
    EXPECT_EQ(fake_hid::Writes().size(), static_cast<std::size_t>(SubcommandAttempts));
    for (int i = 1; i <= SubcommandAttempts; ++i) fake_hid::QueueReadAnswer(Reply(0x30, false), HidInputReportSize, 3 + i, Ms);
    EXPECT_EQ(SendAcknowledgedSubcommandOn(connection, SubcommandSetPlayerLights, 1), SubcommandAnswer::Refused);
    connection.Link.Handle = -1;
    EXPECT_EQ(SendAcknowledgedSubcommandOn(connection, SubcommandSetPlayerLights, 1), SubcommandAnswer::WriteFailed);
    EXPECT_EQ(fake_hid::Writes().size(), 2u * SubcommandAttempts);
    EXPECT_FALSE(connection.BatteryLow);
}

TEST_F(Connection, OverUsbTheHandshakeComesFirstAndTheFoundModeIsGivenBack)
{
    fake_hid::SetBus(HidBus::Usb);
    fake_hid::QueueReadAnswer(Streamed(0x30), HidInputReportSize);  // left streaming by the system's driver
    fake_hid::QueueReadAnswer(UsbAnswer(0x02), HidInputReportSize, 1, 2 * Ms);
    fake_hid::QueueReadAnswer(UsbAnswer(0x03), HidInputReportSize, 2, 2 * Ms);
    fake_hid::QueueReadAnswer(UsbAnswer(0x02), HidInputReportSize, 3, 2 * Ms);
    fake_hid::QueueReadAnswer(Reply(0x03), HidInputReportSize, 5, 20 * Ms);
    fake_hid::QueueReadAnswer(Reply(0x30), HidInputReportSize, 6, 20 * Ms);
    fake_hid::QueueReadAnswer(Reply(0x48), HidInputReportSize, 7, 20 * Ms);
    ASSERT_EQ(SetUpConnectionOn(connection, LampsPlaying), SetUpOutcome::Ready);
    fake_hid::QueueReadAnswer(Reply(0x48), HidInputReportSize, 9, 20 * Ms);
    fake_hid::QueueReadAnswer(Reply(0x30), HidInputReportSize, 10, 20 * Ms);
    fake_hid::QueueReadAnswer(Reply(0x03), HidInputReportSize, 11, 20 * Ms);
    RestoreConnectionOn(connection);
    EXPECT_EQ(Written(), (std::vector<std::string>{"80 02", "80 03", "80 02", "80 04", "01 03 3f", "01 30 01",
                                                   "01 48 01", "10 00", "01 48 00", "01 30 00", "01 03 30"}));
    // Every report, subcommands and handshake included, keeps the interval from the one before.
    const std::vector<fake_hid::Event> writes = fake_hid::Writes();
    for (std::size_t i = 1; i < writes.size(); ++i) EXPECT_GE(writes[i].timeNs - writes[i - 1].timeNs, IntervalUs * 1000) << i;
}

TEST_F(Connection, ASetUpThatFailsSaysWhereAndSendsNothingAfter)
{
    fake_hid::SetBus(HidBus::Usb);
    EXPECT_EQ(SetUpConnectionOn(connection, LampsPlaying), SetUpOutcome::HandshakeFailed);
    EXPECT_EQ(Written(), std::vector<std::string>(UsbAttempts, "80 02"));

    fake_hid::Reset();
    StartConnection(connection, OpenHidHandle(ControllerVendorId, ControllerProductId), IntervalUs);
    fake_hid::QueueReadAnswer(Reply(0x03), HidInputReportSize, 1, 20 * Ms);
    fake_hid::QueueReadAnswer(Reply(0x30), HidInputReportSize, 2, 20 * Ms);
    EXPECT_EQ(SetUpConnectionOn(connection, LampsPlaying), SetUpOutcome::VibrationRefused);
    EXPECT_EQ(Written(), (std::vector<std::string>{"01 03 3f", "01 30 01", "01 48 01", "01 48 01", "01 48 01"}));
}

}  // namespace
