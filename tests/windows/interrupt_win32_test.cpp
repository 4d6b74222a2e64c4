// The console control handler: what each console event does to the interrupt request and
// to the process.
#include "platform/console_control_win32.h"
#include "platform/interrupt.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

class ConsoleControlTest : public ::testing::Test {
protected:
    void SetUp() override { ClearInterruptRequest(); }
    void TearDown() override { ClearInterruptRequest(); }
};

TEST_F(ConsoleControlTest, FirstCtrlCOrBreakIsHandledAndOnlyRecorded)
{
    for (DWORD event : {DWORD{CTRL_C_EVENT}, DWORD{CTRL_BREAK_EVENT}}) {
        ClearInterruptRequest();
        EXPECT_FALSE(IsInterruptRequested());
        // TRUE: handled here, so Windows does not end the process itself.
        EXPECT_EQ(HandleConsoleControl(event), TRUE) << "event " << event;
        EXPECT_TRUE(IsInterruptRequested()) << "event " << event;
    }
}

TEST_F(ConsoleControlTest, OtherEventsAreLeftToTheNextHandler)
{
    EXPECT_EQ(HandleConsoleControl(CTRL_LOGOFF_EVENT), FALSE);
    EXPECT_EQ(HandleConsoleControl(CTRL_SHUTDOWN_EVENT), FALSE);
    EXPECT_FALSE(IsInterruptRequested());
}

TEST_F(ConsoleControlTest, SecondRequestEndsTheProcessAtOnceWithStatus130)
{
    EXPECT_EXIT(
        {
            HandleConsoleControl(CTRL_C_EVENT);
            HandleConsoleControl(CTRL_C_EVENT);
            std::exit(0);
        },
        ::testing::ExitedWithCode(InterruptedExitStatus), "");
    EXPECT_EXIT(
        {
            HandleConsoleControl(CTRL_BREAK_EVENT);
            HandleConsoleControl(CTRL_C_EVENT);
            std::exit(0);
        },
        ::testing::ExitedWithCode(InterruptedExitStatus), "");
    // A request made by the program itself counts as the first one.
    EXPECT_EXIT(
        {
            RequestInterrupt();
            HandleConsoleControl(CTRL_BREAK_EVENT);
            std::exit(0);
        },
        ::testing::ExitedWithCode(InterruptedExitStatus), "");
}

TEST_F(ConsoleControlTest, ClearedRequestMakesTheNextCtrlCAFirstOneAgain)
{
    HandleConsoleControl(CTRL_C_EVENT);
    ClearInterruptRequest();
    EXPECT_EQ(HandleConsoleControl(CTRL_C_EVENT), TRUE);  // would end the test process otherwise
    EXPECT_TRUE(IsInterruptRequested());
}

// Closing the console records the request at once and keeps the handler (and so the process)
// alive for a bounded time, also when it comes after a Ctrl-C.
TEST_F(ConsoleControlTest, CloseRecordsTheRequestAndHoldsOnForABoundedTime)
{
    HandleConsoleControl(CTRL_C_EVENT);
    std::atomic<bool> returned{false};
    std::atomic<BOOL> result{FALSE};
    const auto start = std::chrono::steady_clock::now();
    std::thread closing([&] {
        result = HandleConsoleControl(CTRL_CLOSE_EVENT);
        returned = true;
    });

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(IsInterruptRequested());
    EXPECT_FALSE(returned.load()) << "returned before the run could restore the controller";

    closing.join();
    const auto held = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(result.load(), TRUE);
    // Windows ends the process about 5 s after the close anyway; the hold ends well within
    // a generous bound.
    EXPECT_LT(held, std::chrono::seconds(30));
}

}  // namespace
