// The console loop with scripted keys: exact lines, Esc before the next line, one key per
// pass, interrupts, and the spacing of its passes.
#include "controller/link.h"
#include "monitor/input_report.h"
#include "monitor/monitor_loop.h"
#include "platform/interrupt.h"
#include "tests/support/fake_hid.h"
#include "tests/support/monitor_test_state.h"
#include "tests/support/scripted_keyboard.h"
#include "tests/support/test_clock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using scripted_keyboard::Interrupt;
using scripted_keyboard::NoKey;

constexpr int Esc = 27;
constexpr int MonitorIntervalMs = 16;

const std::string ZeroLine =
    "button=00,00 , stick=0000,0000 , Acc=0000,0000,0000 , Gyr=0000,0000,0000\n";

std::string Repeat(const std::string& line, int times)
{
    std::string all;
    for (int i = 0; i < times; ++i) all += line;
    return all;
}

class MonitorLoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetMonitorTestState();
        ControllerLink.Handle = OpenHidHandle(ControllerVendorId, ControllerProductId);
    }

    void TearDown() override
    {
        EXPECT_EQ(scripted_keyboard::Overruns(), 0) << "loop went on after its script";
        EXPECT_EQ(scripted_keyboard::UnexpectedReads(), 0);
        EXPECT_EQ(fake_hid::ReadCount(), ReadsBefore) << "the loop must not read reports";
        ClearInterruptRequest();
    }

    std::string RunLoop(const std::vector<int>& keys)
    {
        scripted_keyboard::Script(keys);
        ReadsBefore = fake_hid::ReadCount();
        testing::internal::CaptureStdout();
        MonitorLoop();
        return testing::internal::GetCapturedStdout();
    }

    int ReadsBefore = 0;
};

TEST_F(MonitorLoopTest, EscWaitingAtOnceEndsBeforeAnyLine)
{
    EXPECT_EQ(RunLoop({Esc}), "");
    EXPECT_EQ(scripted_keyboard::Calls(), "WR");
}

TEST_F(MonitorLoopTest, PrintsZerosBeforeAnyReport)
{
    EXPECT_EQ(RunLoop({NoKey, NoKey, NoKey, Esc}), Repeat(ZeroLine, 3));
    EXPECT_EQ(scripted_keyboard::Calls(), "WWWWR");
}

TEST_F(MonitorLoopTest, LineShowsEveryDecodedFieldInOrder)
{
    std::vector<unsigned char> report(HidInputReportSize, 0);
    const unsigned char bytes[] = {0x30, 0, 0, 0xA5, 0x5A, 0, 0, 0, 0, 0x21, 0x43, 0x65, 0,
                                   0xFF, 0xFF, 0x01, 0x80, 0x34, 0x12, 0x00, 0x7F,
                                   0xCD, 0xAB, 0x02, 0x00};
    std::copy(std::begin(bytes), std::end(bytes), report.begin());
    fake_hid::QueueReadAnswer(report, HidInputReportSize);
    PollInputReport();

    EXPECT_EQ(RunLoop({NoKey, Esc}),
              "button=A5,5A , stick=0321,0654 , Acc=FFFF,8001,1234 , Gyr=7F00,ABCD,0002\n");
}

TEST_F(MonitorLoopTest, OtherKeysAreConsumedOnePerPass)
{
    // Three keys wait together: each pass takes one and prints its line.
    EXPECT_EQ(RunLoop({'a', 'q', ' ', NoKey, Esc}), Repeat(ZeroLine, 4));
    EXPECT_EQ(scripted_keyboard::Calls(), "WRWRWRWWR");
}

TEST_F(MonitorLoopTest, OnlyTheLowByteOfTheKeyCodeIsCompared)
{
    // 0xE0 is the prefix of an extended key; 0x11B carries Esc in its low byte.
    EXPECT_EQ(RunLoop({0xE0, 0x100 | 'K', 0x11B}), Repeat(ZeroLine, 2));
    EXPECT_EQ(scripted_keyboard::Calls(), "WRWRWR");
}

TEST_F(MonitorLoopTest, InterruptEndsTheLoopLikeEsc)
{
    EXPECT_EQ(RunLoop({NoKey, NoKey, Interrupt}), Repeat(ZeroLine, 2));
    EXPECT_EQ(scripted_keyboard::Calls(), "WWW");
}

TEST_F(MonitorLoopTest, InterruptRequestedBeforeStartPrintsNothing)
{
    RequestInterrupt();
    EXPECT_EQ(RunLoop({NoKey}), "");
}

TEST_F(MonitorLoopTest, EachLineIsFollowedByAWaitOf16Ms)
{
    EXPECT_EQ(RunLoop({NoKey, NoKey, NoKey, NoKey, Esc}), Repeat(ZeroLine, 4));
    const long long pass = test_clock::DelayCounts(MonitorIntervalMs);
    EXPECT_EQ(scripted_keyboard::WaitingCallTimes(), (std::vector<long long>{0, pass, 2 * pass, 3 * pass, 4 * pass}));
}

}  // namespace
