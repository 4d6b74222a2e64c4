// The table behind HID handles, shared by the backends: a handle is the index of a slot. An
// operation borrows its handle's slot while it runs, and closing waits until no operation holds
// it, so that a device closed on one thread is never used by another one afterwards. Lock-free:
// a thread ended forcibly in the middle of an operation cannot leave a lock held.
#pragma once

constexpr int MaxOpenHidDevices = 8;

// Longest wait of a close for operations to return their slot. Every operation on a device
// ends well within it; one that has not returned by then was ended forcibly.
constexpr int HidSlotReturnWaitMs = 3000;

// A free slot, reserved for a device that has just been opened, or -1 when none is free. The
// backend stores its device under the slot, then publishes it.
int ReserveHidSlot();

// Operations may now borrow the reserved slot.
void PublishHidSlot(int handle);

// True when handle is open; the slot is then held until ReturnHidSlot.
bool BorrowHidSlot(int handle);
void ReturnHidSlot(int handle);

enum class HidSlotClosing {
    NotOpen,    // handle is not open (or already closing): nothing to do
    Idle,       // no operation holds it any more
    Abandoned,  // an operation never returned it: its thread was ended in the middle
};

// Starts closing an open handle: no operation may borrow it any more, and this waits (at most
// HidSlotReturnWaitMs) until those that hold it have returned it.
HidSlotClosing BeginClosingHidSlot(int handle);

// Ends closing: the slot is free again, or, retired, never given out again (when an abandoned
// operation or the system may still use memory that belongs to it).
void FinishClosingHidSlot(int handle, bool retire);
