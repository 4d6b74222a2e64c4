// HID backend over hidapi (Linux hidraw, macOS). hidapi is linked as a shared library so that
// a stand-in preloaded in its place (the virtual controller) can answer instead.
#include "controller/hid.h"

#include "controller/hid_slots.h"

#include <hidapi.h>

#include <cstring>

namespace {

// Longest device path kept to tell open devices apart (hidraw paths are far shorter).
constexpr int MaxDevicePathBytes = 256;

// hidapi's device of each open handle; hidapi's pointers never leave this file. An entry is
// only used while its slot is borrowed, so hid_close never frees a device still in use.
hid_device* OpenDevices[MaxOpenHidDevices] = {};
// The path each open handle was opened by, "" when not known or not open.
char OpenPaths[MaxOpenHidDevices][MaxDevicePathBytes] = {};

int KeepDevice(hid_device* device, const char* path)
{
    const int handle = ReserveHidSlot();
    if (handle == -1) {
        hid_close(device);
        return -1;
    }
    OpenDevices[handle] = device;
    std::strncpy(OpenPaths[handle], path, MaxDevicePathBytes - 1);
    OpenPaths[handle][MaxDevicePathBytes - 1] = '\0';
    PublishHidSlot(handle);
    return handle;
}

bool IsPathOpen(const char* path)
{
    for (const char* open : OpenPaths)
        if (open[0] != '\0' && std::strcmp(open, path) == 0) return true;
    return false;
}

}  // namespace

int OpenHidHandle(int vendorId, int productId)
{
    if (hid_init() != 0) return -1;
    hid_device* device = hid_open(static_cast<unsigned short>(vendorId),
                                  static_cast<unsigned short>(productId), nullptr);
    if (device == nullptr) return -1;
    return KeepDevice(device, "");  // hid_open does not say which device it took
}

int OpenNextHidHandle(int vendorId, int productId)
{
    if (hid_init() != 0) return -1;
    hid_device_info* devices = hid_enumerate(static_cast<unsigned short>(vendorId),
                                             static_cast<unsigned short>(productId));
    int handle = -1;
    for (const hid_device_info* info = devices; handle == -1 && info != nullptr; info = info->next) {
        if (info->path == nullptr || IsPathOpen(info->path)) continue;
        hid_device* device = hid_open_path(info->path);
        if (device != nullptr) handle = KeepDevice(device, info->path);
    }
    hid_free_enumeration(devices);
    return handle;
}

int WriteReport(int handle, const unsigned char* report, int* written)
{
    int sent = -1;
    if (BorrowHidSlot(handle)) {
        sent = hid_write(OpenDevices[handle], report, HidOutputReportSize);
        ReturnHidSlot(handle);
    }
    if (written != nullptr) *written = sent;
    return sent;
}

int ReadReport(int handle, unsigned char* report, int* length)
{
    *length = 0;
    if (!BorrowHidSlot(handle)) return 0;

    // Read into a scratch buffer so that a failed read leaves the caller's buffer untouched.
    unsigned char received[HidInputReportSize] = {};
    const int got = hid_read_timeout(OpenDevices[handle], received, sizeof received, HidReadTimeoutMs);
    ReturnHidSlot(handle);
    if (got <= 0) return 0;

    // Linux delivers the report's own size; pad to the full size as the Windows stack does.
    std::memcpy(report, received, sizeof received);
    *length = HidInputReportSize;
    return *length;
}

int CloseHidHandle(int handle)
{
    const HidSlotClosing closing = BeginClosingHidSlot(handle);
    if (closing == HidSlotClosing::NotOpen) return -1;
    // A device an operation never gave back stays open: freeing it could pull it from under
    // that operation. Its slot is never reused.
    if (closing == HidSlotClosing::Idle) {
        hid_close(OpenDevices[handle]);
        OpenDevices[handle] = nullptr;
    }
    OpenPaths[handle][0] = '\0';
    FinishClosingHidSlot(handle, closing == HidSlotClosing::Abandoned);
    return 0;
}
