// The four operations through which every byte between Tavrel and the controller passes.
// One backend implements them per platform (hid_hidapi.cpp, hid_win32.cpp); the unit tests
// link a fake one instead. The choice is made at link time.
#pragma once

// Longest time ReadReport waits for one input report. Short enough that the polling thread
// always notices a stop request within the 100 ms it is given.
constexpr int HidReadTimeoutMs = 50;

// Bytes of one output report as the controller takes it (report ID included).
constexpr int HidOutputReportSize = 49;

// Full input report size of the controller; every report read is zero-padded to it.
constexpr int HidInputReportSize = 362;

// Handle of a HID device with these IDs, or -1 when none opens.
int OpenHidHandle(int vendorId, int productId);

// Handle of the first HID device with these IDs that this process does not hold open yet, in
// the system's order, or -1 when no other one opens. Called in turn it opens every such device
// (two controllers of one kind). Opens are made from one thread; a device opened by
// OpenHidHandle may not be known as open here.
int OpenNextHidHandle(int vendorId, int productId);

// Bytes of one output report of a controller on a USB cable, which takes reports of this size
// only: the backends send HidOutputReportSize bytes and zeros after them.
constexpr int HidUsbOutputReportSize = 64;

// Sends one output report of HidOutputReportSize bytes from report (report ID in byte 0), or of
// the device's own output report size with zeros after them. report must hold at least
// HidOutputReportSize bytes. written receives the bytes sent, or -1.
int WriteReport(int handle, const unsigned char* report, int* written);

// Waits at most HidReadTimeoutMs for one input report. A report is stored from byte 0,
// zero-padded to HidInputReportSize, and *length is set to HidInputReportSize. When none came,
// or the device failed, *length is 0 and report is left as it was. report must hold at least
// HidInputReportSize bytes. Returns *length.
int ReadReport(int handle, unsigned char* report, int* length);

// The same with a bound of the caller's: waits at most waitMs (0: takes only a report that is
// already there), and never longer than HidReadTimeoutMs.
int ReadReportWithin(int handle, unsigned char* report, int* length, int waitMs);

enum class HidBus { Unknown, Usb, Bluetooth };

// How the open device at handle is connected, as the system tells it; Unknown when it does not.
HidBus ReadHidBus(int handle);

// True when the system's own driver for these controllers (Linux: hid-nintendo) is bound to the
// open device at handle and reads it beside this program.
bool IsSystemDriverBound(int handle);

// Releases the device. Returns 0, or -1 for a handle that is not open.
int CloseHidHandle(int handle);
