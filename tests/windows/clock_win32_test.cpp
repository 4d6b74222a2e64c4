// The counter runs forward at the rate it reports.
#include "platform/clock.h"

#include <windows.h>

#include <gtest/gtest.h>

TEST(CounterTest, MeasuresASleepInItsOwnUnits)
{
    constexpr DWORD SleepMs = 200;
    const double frequency = static_cast<double>(ReadCounterFrequency());
    ASSERT_GT(frequency, 0.0);

    const long long start = ReadCounter();
    Sleep(SleepMs);
    const long long end = ReadCounter();
    const double measuredMs = static_cast<double>(end - start) / frequency * 1000.0;
    // Wide margins: a loaded machine may oversleep a lot, never undersleep by much.
    EXPECT_GT(measuredMs, SleepMs * 0.5);
    EXPECT_LT(measuredMs, SleepMs * 50.0);
}
