// The handle table both HID backends keep their devices in: a handle is given out once, used
// only while open, and a close waits for the operations that hold it.
#include "controller/hid_slots.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

// How long to watch for a close that must not finish yet.
constexpr auto BlockedWatch = std::chrono::milliseconds(100);

std::vector<int> ReserveAll()
{
    std::vector<int> handles;
    for (int handle = ReserveHidSlot(); handle != -1; handle = ReserveHidSlot()) handles.push_back(handle);
    return handles;
}

void CloseAll(const std::vector<int>& handles)
{
    for (int handle : handles) {
        if (BeginClosingHidSlot(handle) == HidSlotClosing::Idle) FinishClosingHidSlot(handle, false);
    }
}

TEST(HidSlotsTest, HandlesAreGivenOutOnceAndUsableOnlyWhileOpen)
{
    const std::vector<int> handles = ReserveAll();
    ASSERT_FALSE(handles.empty());
    EXPECT_LE(handles.size(), static_cast<std::size_t>(MaxOpenHidDevices));
    const int handle = handles.front();
    EXPECT_FALSE(BorrowHidSlot(handle)) << "borrowed before it was published";
    for (int h : handles) PublishHidSlot(h);
    EXPECT_EQ(ReserveHidSlot(), -1);

    ASSERT_TRUE(BorrowHidSlot(handle));
    ReturnHidSlot(handle);
    ASSERT_EQ(BeginClosingHidSlot(handle), HidSlotClosing::Idle);
    EXPECT_FALSE(BorrowHidSlot(handle)) << "borrowed while closing";
    EXPECT_EQ(BeginClosingHidSlot(handle), HidSlotClosing::NotOpen);
    FinishClosingHidSlot(handle, false);
    EXPECT_FALSE(BorrowHidSlot(handle)) << "borrowed after the close";
    EXPECT_EQ(ReserveHidSlot(), handle) << "a closed slot is free again";
    PublishHidSlot(handle);
    CloseAll(handles);

    for (int h : {-1, MaxOpenHidDevices}) {
        EXPECT_FALSE(BorrowHidSlot(h));
        EXPECT_EQ(BeginClosingHidSlot(h), HidSlotClosing::NotOpen);
    }
}

TEST(HidSlotsTest, CloseWaitsUntilTheOperationsHoldingTheSlotHaveReturnedIt)
{
    const int handle = ReserveHidSlot();
    ASSERT_NE(handle, -1);
    PublishHidSlot(handle);
    ASSERT_TRUE(BorrowHidSlot(handle));
    ASSERT_TRUE(BorrowHidSlot(handle));

    std::atomic<bool> closed{false};
    HidSlotClosing outcome = HidSlotClosing::NotOpen;
    std::thread closer([&] {
        outcome = BeginClosingHidSlot(handle);
        closed = true;
    });
    std::this_thread::sleep_for(BlockedWatch);
    EXPECT_FALSE(closed.load()) << "the close did not wait for the two borrowers";
    ReturnHidSlot(handle);
    std::this_thread::sleep_for(BlockedWatch);
    EXPECT_FALSE(closed.load()) << "the close did not wait for the second borrower";
    ReturnHidSlot(handle);
    closer.join();
    EXPECT_EQ(outcome, HidSlotClosing::Idle);
    FinishClosingHidSlot(handle, false);
}

// A borrower ended forcibly never returns its slot: the close gives up after its bound instead
// of hanging, and the slot is never given out again.
TEST(HidSlotsTest, SlotNeverReturnedIsAbandonedAndRetired)
{
    const int handle = ReserveHidSlot();
    ASSERT_NE(handle, -1);
    PublishHidSlot(handle);
    ASSERT_TRUE(BorrowHidSlot(handle));
    EXPECT_EQ(BeginClosingHidSlot(handle), HidSlotClosing::Abandoned);
    FinishClosingHidSlot(handle, true);
    const std::vector<int> others = ReserveAll();
    for (int other : others) EXPECT_NE(other, handle) << "a retired slot was given out again";
    for (int other : others) PublishHidSlot(other);
    CloseAll(others);
}

}  // namespace
