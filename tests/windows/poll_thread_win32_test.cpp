// The monitor's thread on Windows: it runs its body on another thread, and after
// EndPlatformThread it runs no more, whether it left by itself or had to be terminated.
#include "platform/poll_thread.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>

namespace {

std::atomic<bool> KeepGoing{false};
std::atomic<long long> Passes{0};
std::atomic<DWORD> BodyThreadId{0};

void CountUntilAsked()
{
    BodyThreadId = GetCurrentThreadId();
    while (KeepGoing.load()) ++Passes;
}

void CountForever()
{
    BodyThreadId = GetCurrentThreadId();
    for (;;) ++Passes;
}

void ReturnAtOnce() { ++Passes; }

// Waits (bounded) until the body has made at least one pass.
bool WaitForFirstPass()
{
    for (int i = 0; i < 500 && Passes.load() == 0; ++i) Sleep(10);
    return Passes.load() > 0;
}

// True when Passes has not moved for a while.
bool HasStopped()
{
    const long long before = Passes.load();
    Sleep(100);
    return Passes.load() == before;
}

class PollThreadTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Passes = 0;
        BodyThreadId = 0;
        KeepGoing = true;
    }
};

TEST_F(PollThreadTest, BodyRunsOnAnotherThreadAndEndsWhenItLeavesItsLoop)
{
    StartPlatformThread(CountUntilAsked);
    ASSERT_TRUE(WaitForFirstPass());
    EXPECT_NE(BodyThreadId.load(), GetCurrentThreadId());
    EXPECT_FALSE(HasStopped());

    KeepGoing = false;
    EndPlatformThread();
    EXPECT_TRUE(HasStopped());
}

TEST_F(PollThreadTest, ThreadThatNeverLeavesIsTerminated)
{
    StartPlatformThread(CountForever);
    ASSERT_TRUE(WaitForFirstPass());
    EndPlatformThread();
    EXPECT_TRUE(HasStopped());
}

// The runtime closes its own handle when such a thread ends; ending it afterwards must neither
// fail nor touch anything else.
TEST_F(PollThreadTest, ThreadThatHasAlreadyEndedCanBeEndedForcibly)
{
    StartPlatformThread(ReturnAtOnce);
    ASSERT_TRUE(WaitForFirstPass());
    Sleep(100);
    EndPlatformThread();
    EXPECT_EQ(Passes.load(), 1);

    // And a new thread starts and ends as the first did.
    Passes = 0;
    StartPlatformThread(CountUntilAsked);
    ASSERT_TRUE(WaitForFirstPass());
    KeepGoing = false;
    EndPlatformThread();
    EXPECT_TRUE(HasStopped());
}

TEST_F(PollThreadTest, EndingWhenNoThreadRunsDoesNothing)
{
    EndPlatformThread();
    EndPlatformThread();
    EXPECT_EQ(Passes.load(), 0);
}

}  // namespace
