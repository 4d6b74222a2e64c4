// DelayMs on the test clock: how it reads the counter and its frequency.
#include "rumble/delay.h"
#include "tests/support/test_clock.h"

#include <gtest/gtest.h>

namespace {

class DelayMsTest : public ::testing::Test {
protected:
    void SetUp() override { test_clock::Reset(); }
};

// More than ms must pass: a counter that stands still holds DelayMs(0) until it moves.
TEST_F(DelayMsTest, ZeroWaitsUntilTheCounterMoves)
{
    constexpr long long StillReadings = 1000;
    test_clock::SetStep(0);
    test_clock::JumpAtReading(StillReadings, 1);
    DelayMs(0);
    EXPECT_EQ(test_clock::CounterReadings(), StillReadings + 1);
}

TEST_F(DelayMsTest, NegativeReturnsAfterTheFirstReadingOfTheLoop)
{
    test_clock::SetStep(0);
    DelayMs(-100);
    EXPECT_EQ(test_clock::CounterReadings(), 2);
}

TEST_F(DelayMsTest, ReadsTheFrequencyOnEveryCall)
{
    test_clock::SetStep(1);
    test_clock::SetFrequency(1000);  // one count per millisecond
    DelayMs(5);
    EXPECT_EQ(test_clock::Now(), 7) << "the first reading, six more until more than 5 ms";
    test_clock::SetFrequency(NanosecondsPerSecond);
    DelayMs(0);
    EXPECT_EQ(test_clock::Now(), 9);
    EXPECT_EQ(test_clock::FrequencyReadings(), 2);
}

}  // namespace
