// The polling thread against the fake HID backend: the liveness check with and without it,
// the spacing of its reads, and that no read happens once StopPollThread has returned.
#include "controller/link.h"
#include "monitor/input_report.h"
#include "monitor/poll_thread_control.h"
#include "platform/interrupt.h"
#include "tests/support/fake_hid.h"
#include "tests/support/monitor_test_state.h"
#include "tests/support/test_clock.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int FullLength = HidInputReportSize;
constexpr long long PollIntervalNs = 16'000'000;
// Generous bounds for waiting on the other thread; only exceeded when something is broken.
constexpr auto PatienceLimit = std::chrono::seconds(10);
// How long to watch for reads that must not come.
constexpr auto QuietWatch = std::chrono::milliseconds(400);

std::vector<unsigned char> Report(unsigned char id)
{
    std::vector<unsigned char> report(FullLength, 0);
    report[0] = id;
    report[3] = 0x08;
    return report;
}

// Waits until the fake backend has answered at least count reads.
bool WaitForReads(int count)
{
    const auto deadline = std::chrono::steady_clock::now() + PatienceLimit;
    while (fake_hid::ReadCount() < count) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

std::vector<long long> ReadTimes()
{
    std::vector<long long> times;
    for (const fake_hid::Event& event : fake_hid::Events())
        if (event.kind == fake_hid::Event::Read) times.push_back(event.timeNs);
    return times;
}

class PollThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetMonitorTestState();
        test_clock::FollowRealTime();
        ControllerLink.Handle = OpenHidHandle(ControllerVendorId, ControllerProductId);
    }

    void TearDown() override
    {
        if (PollRun != 0) StopPollThread();
        ClearInterruptRequest();
    }

    // Stops the thread, then checks that no read follows, and returns the reads made.
    int StopAndWatch()
    {
        StopPollThread();
        const int reads = fake_hid::ReadCount();
        std::this_thread::sleep_for(QuietWatch);
        EXPECT_EQ(fake_hid::ReadCount(), reads) << "read after StopPollThread returned";
        EXPECT_EQ(PollRun, 0);
        return reads;
    }
};

TEST_F(PollThreadTest, CheckInputAliveWithoutThreadClearsReportSeenWaits100MsAndAnswersZero)
{
    test_clock::Reset();  // no other thread: the stepping counter shows the wait exactly
    ControllerState.ReportSeen = 0x30;  // left by an earlier report
    EXPECT_EQ(CheckInputAlive(), 0);
    EXPECT_EQ(test_clock::Now(), test_clock::DelayCounts(100));
    EXPECT_EQ(ControllerState.ReportSeen, 0);
    EXPECT_EQ(fake_hid::CallSequence(), "O");  // the check reads nothing itself
}

TEST_F(PollThreadTest, CheckInputAliveSeesReportsReadByTheThread)
{
    fake_hid::SetRepeatedReadAnswer(Report(0x30), FullLength);
    StartPollThread();
    ASSERT_TRUE(WaitForReads(1));
    EXPECT_EQ(PollRunning, 1);
    EXPECT_EQ(CheckInputAlive(), 1);
    EXPECT_EQ(ControllerState.ReportSeen, 0x30);
    EXPECT_EQ(ControllerState.Buttons1, 0x08);
    StopAndWatch();
    EXPECT_EQ(PollRunning, 0);
}

TEST_F(PollThreadTest, StaleReportDoesNotCountWhenReadsBringNothing)
{
    // One report lands in the buffer; after that every read brings nothing.
    fake_hid::QueueReadAnswer(Report(0x30), FullLength);
    testing::internal::CaptureStdout();
    StartPollThread();
    ASSERT_TRUE(WaitForReads(3));
    EXPECT_EQ(ControllerLink.InputReport[0] + 0, 0x30);
    EXPECT_EQ(CheckInputAlive(), 0);
    StopAndWatch();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

TEST_F(PollThreadTest, ShortReportsCountAndEachPrintsItsLength)
{
    fake_hid::SetRepeatedReadAnswer(Report(0x21), 49);
    testing::internal::CaptureStdout();
    StartPollThread();
    ASSERT_TRUE(WaitForReads(1));
    EXPECT_EQ(CheckInputAlive(), 1);
    const int reads = StopAndWatch();
    std::string expected;
    for (int i = 0; i < reads; ++i) expected += "49\n";
    EXPECT_EQ(testing::internal::GetCapturedStdout(), expected);
    EXPECT_EQ(ControllerState.Buttons1, 0);  // never decoded
}

TEST_F(PollThreadTest, ReportIdZeroDoesNotCount)
{
    fake_hid::SetRepeatedReadAnswer(Report(0x00), FullLength);
    StartPollThread();
    ASSERT_TRUE(WaitForReads(1));
    EXPECT_EQ(CheckInputAlive(), 0);
    EXPECT_EQ(ControllerState.Buttons1, 0x08);  // decoded all the same
    StopAndWatch();
}

TEST_F(PollThreadTest, ReadsAreMoreThanTheIntervalApartAndStopOnRequest)
{
    fake_hid::SetRepeatedReadAnswer(Report(0x30), FullLength);
    StartPollThread();
    ASSERT_TRUE(WaitForReads(5));
    StopAndWatch();

    const std::vector<long long> times = ReadTimes();
    ASSERT_GE(times.size(), 5u);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_GT(times[i] - times[i - 1], PollIntervalNs) << "reads " << i - 1 << " and " << i;
}

TEST_F(PollThreadTest, AnotherStartPollsAgainAfterAStop)
{
    fake_hid::SetRepeatedReadAnswer(Report(0x30), FullLength);
    StartPollThread();
    ASSERT_TRUE(WaitForReads(1));
    const int firstRun = StopAndWatch();

    StartPollThread();
    ASSERT_TRUE(WaitForReads(firstRun + 1));
    StopAndWatch();
}

constexpr int SlowReadMs = 400;

// A second start while the thread runs must not leave two threads polling: each read takes
// 400 ms, so two threads would be inside a read at once.
TEST_F(PollThreadTest, SecondStartLeavesOneThreadPolling)
{
    fake_hid::SetRepeatedReadAnswer(Report(0x30), FullLength);
    fake_hid::SetReadDelayMs(SlowReadMs);
    StartPollThread();
    ASSERT_TRUE(WaitForReads(1));
    StartPollThread();
    const int reads = fake_hid::ReadCount();
    ASSERT_TRUE(WaitForReads(reads + 2));
    StopAndWatch();
    EXPECT_EQ(fake_hid::MostReadsAtOnce(), 1);
}

// Each read takes 400 ms. The stop comes about 100 ms into the second read, so the thread is
// still inside it when the 100 ms grace ends, with about 200 ms of margin either way.
constexpr auto IntoSecondRead = std::chrono::milliseconds(100);

TEST_F(PollThreadTest, ThreadStillInASlowReadIsEndedBeforeStopReturns)
{
    fake_hid::SetRepeatedReadAnswer(Report(0x30), FullLength);
    fake_hid::SetReadDelayMs(SlowReadMs);
    StartPollThread();
    ASSERT_TRUE(WaitForReads(1));
    std::this_thread::sleep_for(IntoSecondRead);
    StopAndWatch();
}

TEST_F(PollThreadTest, InterruptedStopStillWaitsForTheThread)
{
    fake_hid::SetRepeatedReadAnswer(Report(0x30), FullLength);
    fake_hid::SetReadDelayMs(SlowReadMs);
    StartPollThread();
    ASSERT_TRUE(WaitForReads(1));
    std::this_thread::sleep_for(IntoSecondRead);
    RequestInterrupt();
    StopAndWatch();
}

// A thread ended forcibly (on Windows) may hold a lock the tear-down needs, so an interrupt
// must not cut short the grace a thread that is about to leave is given.
TEST_F(PollThreadTest, InterruptDoesNotShortenTheGraceBeforeAForcedEnd)
{
    StartPollThread();
    ASSERT_TRUE(WaitForReads(1));
    RequestInterrupt();
    const auto start = std::chrono::steady_clock::now();
    StopPollThread();
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(100));
    EXPECT_EQ(PollRunning, 0);  // it left by itself within the grace
}

}  // namespace
