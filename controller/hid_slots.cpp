#include "controller/hid_slots.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// A slot's word holds its state above BorrowerBits and its number of borrowers below.
constexpr unsigned BorrowerBits = 16;
constexpr unsigned BorrowerMask = (1u << BorrowerBits) - 1;

enum SlotState : unsigned { Free, Reserved, Open, Closing, Retired };

constexpr auto ReturnPollInterval = std::chrono::milliseconds(1);

std::atomic<unsigned> HidSlots[MaxOpenHidDevices] = {};

unsigned StateOf(unsigned word) { return word >> BorrowerBits; }
unsigned BorrowersOf(unsigned word) { return word & BorrowerMask; }
unsigned SlotWord(unsigned state, unsigned borrowers) { return (state << BorrowerBits) | borrowers; }

bool IsSlotIndex(int handle) { return handle >= 0 && handle < MaxOpenHidDevices; }

}  // namespace

int ReserveHidSlot()
{
    for (int handle = 0; handle < MaxOpenHidDevices; ++handle) {
        unsigned expected = SlotWord(Free, 0);
        if (HidSlots[handle].compare_exchange_strong(expected, SlotWord(Reserved, 0))) return handle;
    }
    return -1;
}

void PublishHidSlot(int handle)
{
    if (!IsSlotIndex(handle)) return;
    unsigned expected = SlotWord(Reserved, 0);
    HidSlots[handle].compare_exchange_strong(expected, SlotWord(Open, 0));
}

bool BorrowHidSlot(int handle)
{
    if (!IsSlotIndex(handle)) return false;
    unsigned word = HidSlots[handle].load();
    do {
        if (StateOf(word) != Open || BorrowersOf(word) == BorrowerMask) return false;
    } while (!HidSlots[handle].compare_exchange_weak(word, word + 1));
    return true;
}

void ReturnHidSlot(int handle)
{
    if (!IsSlotIndex(handle)) return;
    unsigned word = HidSlots[handle].load();
    do {
        if (BorrowersOf(word) == 0) return;
    } while (!HidSlots[handle].compare_exchange_weak(word, word - 1));
}

HidSlotClosing BeginClosingHidSlot(int handle)
{
    if (!IsSlotIndex(handle)) return HidSlotClosing::NotOpen;
    unsigned word = HidSlots[handle].load();
    do {
        if (StateOf(word) != Open) return HidSlotClosing::NotOpen;
    } while (!HidSlots[handle].compare_exchange_weak(word, SlotWord(Closing, BorrowersOf(word))));

    // Closing is rare and operations are short: polling keeps this free of locks.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(HidSlotReturnWaitMs);
    while (BorrowersOf(HidSlots[handle].load()) != 0) {
        if (std::chrono::steady_clock::now() >= deadline) return HidSlotClosing::Abandoned;
        std::this_thread::sleep_for(ReturnPollInterval);
    }
    return HidSlotClosing::Idle;
}

void FinishClosingHidSlot(int handle, bool retire)
{
    if (!IsSlotIndex(handle) || StateOf(HidSlots[handle].load()) != Closing) return;
    HidSlots[handle].store(SlotWord(retire ? Retired : Free, 0));
}
