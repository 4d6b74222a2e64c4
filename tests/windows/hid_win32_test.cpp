// The Windows HID backend where no controller is present (as under Wine): nothing opens, and
// every operation on a handle that is not open fails cleanly, leaving the caller's buffer alone.
#include "controller/hid.h"

#include <gtest/gtest.h>

#include <array>

namespace {

constexpr int ControllerVendor = 0x057E;
constexpr int ControllerProduct = 0x2007;

TEST(HidWin32Test, NothingOpensWithoutTheDevice)
{
    EXPECT_EQ(OpenHidHandle(ControllerVendor, ControllerProduct), -1);
    // Asking again is just as safe.
    EXPECT_EQ(OpenHidHandle(ControllerVendor, ControllerProduct), -1);
}

TEST(HidWin32Test, HandlesThatAreNotOpenFailAndLeaveBuffersAlone)
{
    for (int handle : {-1, 0, 1, 7, 8, 1000}) {
        std::array<unsigned char, HidInputReportSize> input;
        input.fill(0xA5);
        int length = 123;
        EXPECT_EQ(ReadReport(handle, input.data(), &length), 0) << "handle " << handle;
        EXPECT_EQ(length, 0) << "handle " << handle;
        for (unsigned char byte : input) ASSERT_EQ(byte, 0xA5) << "handle " << handle;

        std::array<unsigned char, 256> output{};
        output[0] = 0x10;
        int written = 123;
        EXPECT_EQ(WriteReport(handle, output.data(), &written), -1) << "handle " << handle;
        EXPECT_EQ(written, -1) << "handle " << handle;
        EXPECT_EQ(WriteReport(handle, output.data(), nullptr), -1) << "handle " << handle;

        EXPECT_EQ(CloseHidHandle(handle), -1) << "handle " << handle;
    }
}

}  // namespace
