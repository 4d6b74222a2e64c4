// tavrel-monitor's run against the fake HID backend and scripted keys: set-up and tear-down
// reports in order, no subcommand while the polling thread runs, output and exit status.
#include "controller/link.h"
#include "monitor/input_report.h"
#include "monitor/monitor_run.h"
#include "monitor/poll_thread_control.h"
#include "platform/interrupt.h"
#include "tests/support/fake_hid.h"
#include "tests/support/monitor_test_state.h"
#include "tests/support/recording_message_box.h"
#include "tests/support/scripted_keyboard.h"
#include "tests/support/test_clock.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <utility>
#include <vector>

namespace {

using scripted_keyboard::Interrupt;
using scripted_keyboard::NoKey;

constexpr int Esc = 27;
const std::string Banner = "Tavrel monitor ver 0.1. Press Esc to quit.\n";
const std::string NoInput = "No input reports are arriving.\n";
const std::string ZeroLine =
    "button=00,00 , stick=0000,0000 , Acc=0000,0000,0000 , Gyr=0000,0000,0000\n";

// Subcommand ID and argument of each written report, in order.
std::vector<std::pair<int, int>> Subcommands()
{
    std::vector<std::pair<int, int>> subcommands;
    for (const fake_hid::Event& write : fake_hid::Writes()) {
        EXPECT_EQ(write.bytes[0], SubcommandReportId);
        subcommands.emplace_back(write.bytes[10], write.bytes[11]);
    }
    return subcommands;
}

const std::vector<std::pair<int, int>> ExpectedSubcommands = {
    {0x03, 0x30}, {0x40, 0x01}, {0x40, 0x00}, {0x03, 0x3F}};

// The acknowledged reply to subcommand id, due as soon as the afterWrites-th report is written.
void QueueReply(unsigned char id, int afterWrites)
{
    std::vector<unsigned char> reply(49, 0);
    reply[0] = 0x21;
    reply[13] = 0x80;
    reply[14] = id;
    fake_hid::QueueReadAnswer(reply, HidInputReportSize, afterWrites, 0);
}

class MonitorRunTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetMonitorTestState();
        test_clock::FollowRealTime();  // the polling thread runs beside the main thread
        recording_message_box::Texts.clear();
    }

    void TearDown() override
    {
        EXPECT_EQ(PollRun, 0);
        ClearInterruptRequest();
    }

    int Run(const std::vector<int>& keys)
    {
        scripted_keyboard::Script(keys);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int status = RunMonitor();
        Out = testing::internal::GetCapturedStdout();
        Err = testing::internal::GetCapturedStderr();
        return status;
    }

    std::string Out, Err;
};

TEST_F(MonitorRunTest, WithoutControllerShowsTheMessageAndTouchesNothing)
{
    fake_hid::SetDeviceAbsent(true);
    EXPECT_EQ(Run({Esc}), 1);
    EXPECT_EQ(Out, "");
    EXPECT_EQ(Err, "");
    EXPECT_EQ(recording_message_box::Texts, std::vector<std::string>{"JoyCon not found."});
    EXPECT_EQ(fake_hid::CallSequence(), "");
    EXPECT_EQ(scripted_keyboard::Calls(), "");
}

TEST_F(MonitorRunTest, SetsUpPollsPrintsAndRestoresInOrder)
{
    std::vector<unsigned char> report(HidInputReportSize, 0);
    report[0] = 0x30;
    report[3] = 0x40;
    report[9] = 0x21;
    report[10] = 0x43;
    report[11] = 0x65;
    fake_hid::SetRepeatedReadAnswer(report, HidInputReportSize);
    QueueReply(0x03, 1);
    QueueReply(0x40, 2);
    QueueReply(0x40, 3);
    QueueReply(0x03, 4);

    EXPECT_EQ(Run({NoKey, NoKey, Esc}), 0);
    const std::string line =
        "button=40,00 , stick=0321,0654 , Acc=0000,0000,0000 , Gyr=0000,0000,0000\n";
    EXPECT_EQ(Out, Banner + line + line);
    EXPECT_EQ(Err, "");
    // The controller streamed full reports when it was opened: that mode is given back.
    std::vector<std::pair<int, int>> expected = ExpectedSubcommands;
    expected.back().second = 0x30;
    EXPECT_EQ(Subcommands(), expected);
    // Each subcommand is answered (its answer comes first, and no write is tried again); the
    // handle is closed last.
    EXPECT_TRUE(std::regex_match(fake_hid::CallSequence(), std::regex("OR+WR+WR+WR+WRC")))
        << fake_hid::CallSequence();
    EXPECT_EQ(scripted_keyboard::Calls(), "BWWWRE");
}

TEST_F(MonitorRunTest, SaysSoWhenNoReportsArriveAndCarriesOn)
{
    // Not even replies: each subcommand is tried three times, and the run still ends.
    EXPECT_EQ(Run({NoKey, Esc}), 0);
    EXPECT_EQ(Out, Banner + NoInput + ZeroLine);
    std::vector<std::pair<int, int>> tried;
    for (const auto& subcommand : ExpectedSubcommands) tried.insert(tried.end(), 3, subcommand);
    EXPECT_EQ(Subcommands(), tried);
    EXPECT_EQ(fake_hid::CallSequence().back(), 'C');
}

TEST_F(MonitorRunTest, InterruptStillRestoresAndExitsWith130)
{
    for (int write = 1; write <= 4; ++write) QueueReply(write % 3 == 1 ? 0x03 : 0x40, write);
    EXPECT_EQ(Run({NoKey, Interrupt}), 130);
    EXPECT_EQ(Out, Banner + NoInput + ZeroLine);
    EXPECT_EQ(Subcommands(), ExpectedSubcommands);
    EXPECT_EQ(fake_hid::CallSequence().back(), 'C');
    EXPECT_EQ(scripted_keyboard::Calls(), "BWWE");
}

}  // namespace
