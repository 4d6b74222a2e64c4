// The platform's real HID backend on the virtual controller in silent mode, where every read
// waits its whole bounded time: a close on one thread while another is inside a read.
#include "controller/hid.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

constexpr int ControllerVendor = 0x057E;
constexpr int ControllerProduct = 0x2007;
constexpr int ReadsBeforeClose = 3;
// The close comes this far into a read: well inside it, whatever the machine's load.
constexpr auto IntoRead = std::chrono::milliseconds(HidReadTimeoutMs * 2 / 5);
// A read refused for a closed handle returns at once; one that ran waited its full time.
constexpr double RefusedBelowMs = 5.0;
constexpr double FullAtLeastMs = HidReadTimeoutMs * 0.8;

using Clock = std::chrono::steady_clock;

double MsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double, std::milli>(to - from).count();
}

// Closing must not cut a read in progress short (with its device freed or its system handles
// closed under it): the read runs to its end, and only later reads are refused.
TEST(HidBackendTest, CloseDuringAReadOnAnotherThreadLetsTheReadFinish)
{
    const int handle = OpenHidHandle(ControllerVendor, ControllerProduct);
    ASSERT_GE(handle, 0);

    std::atomic<int> readsStarted{0};
    std::vector<double> durations;
    std::thread reader([&] {
        for (;;) {
            unsigned char report[HidInputReportSize];
            int length = -1;
            readsStarted.fetch_add(1);
            const Clock::time_point start = Clock::now();
            ReadReport(handle, report, &length);
            const double took = MsBetween(start, Clock::now());
            durations.push_back(took);
            if (length != 0 || took < RefusedBelowMs) return;
        }
    });
    while (readsStarted.load() < ReadsBeforeClose) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    std::this_thread::sleep_for(IntoRead);
    EXPECT_EQ(CloseHidHandle(handle), 0);
    reader.join();

    ASSERT_GE(durations.size(), 2u);
    for (std::size_t i = 0; i + 1 < durations.size(); ++i)
        EXPECT_GE(durations[i], FullAtLeastMs) << "read " << i + 1 << " was cut short by the close";
    EXPECT_LT(durations.back(), RefusedBelowMs) << "the read after the close was not refused";
    EXPECT_EQ(CloseHidHandle(handle), -1);

    // The handle's slot serves the next open.
    const int again = OpenHidHandle(ControllerVendor, ControllerProduct);
    EXPECT_GE(again, 0);
    EXPECT_EQ(CloseHidHandle(again), 0);
}

}  // namespace
