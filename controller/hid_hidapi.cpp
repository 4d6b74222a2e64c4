// HID backend over hidapi (Linux hidraw, macOS). hidapi is linked as a shared library so that
// a stand-in preloaded in its place (the virtual controller) can answer instead.
#include "controller/hid.h"

#include "controller/hid_slots.h"

#include <hidapi.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// Longest device path kept to tell open devices apart (hidraw paths are far shorter).
constexpr int MaxDevicePathBytes = 256;

// hidapi's device of each open handle; hidapi's pointers never leave this file. An entry is
// only used while its slot is borrowed, so hid_close never frees a device still in use.
hid_device* OpenDevices[MaxOpenHidDevices] = {};
// The path each open handle was opened by, "" when not known or not open.
char OpenPaths[MaxOpenHidDevices][MaxDevicePathBytes] = {};
// How each open device is connected, from hidapi's device information.
HidBus OpenBuses[MaxOpenHidDevices] = {};

// Linux: the name of the kernel driver bound to the hidraw device at path ("nintendo" for
// hid-nintendo), from sysfs; "" when there is none or the system has no such tree.
void ReadBoundDriver(const char* path, char* name, std::size_t size)
{
    name[0] = '\0';
    const char* node = std::strrchr(path, '/');
    if (node == nullptr || std::strncmp(node + 1, "hidraw", 6) != 0) return;
    char link[MaxDevicePathBytes + 64];
    std::snprintf(link, sizeof link, "/sys/class/hidraw%s/device/driver", node);
    char target[PATH_MAX];
    const ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return;
    target[n] = '\0';
    const char* base = std::strrchr(target, '/');
    base = base == nullptr ? target : base + 1;
    if (std::strlen(base) >= size) return;
    std::memcpy(name, base, std::strlen(base) + 1);
}

HidBus BusOf(hid_device* device)
{
    const hid_device_info* info = hid_get_device_info(device);
    if (info == nullptr) return HidBus::Unknown;
    if (info->bus_type == HID_API_BUS_USB) return HidBus::Usb;
    if (info->bus_type == HID_API_BUS_BLUETOOTH) return HidBus::Bluetooth;
    return HidBus::Unknown;
}

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
    OpenBuses[handle] = BusOf(device);
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
        if (OpenBuses[handle] == HidBus::Usb) {
            unsigned char padded[HidUsbOutputReportSize] = {};
            std::memcpy(padded, report, HidOutputReportSize);
            sent = hid_write(OpenDevices[handle], padded, sizeof padded);
        } else {
            sent = hid_write(OpenDevices[handle], report, HidOutputReportSize);
        }
        ReturnHidSlot(handle);
    }
    if (written != nullptr) *written = sent;
    return sent;
}

int ReadReport(int handle, unsigned char* report, int* length)
{
    return ReadReportWithin(handle, report, length, HidReadTimeoutMs);
}

int ReadReportWithin(int handle, unsigned char* report, int* length, int waitMs)
{
    *length = 0;
    if (!BorrowHidSlot(handle)) return 0;

    // Read into a scratch buffer so that a failed read leaves the caller's buffer untouched.
    unsigned char received[HidInputReportSize] = {};
    const int wait = waitMs < 0 ? 0 : waitMs > HidReadTimeoutMs ? HidReadTimeoutMs : waitMs;
    const int got = hid_read_timeout(OpenDevices[handle], received, sizeof received, wait);
    ReturnHidSlot(handle);
    if (got <= 0) return 0;

    // Linux delivers the report's own size; pad to the full size as the Windows stack does.
    std::memcpy(report, received, sizeof received);
    *length = HidInputReportSize;
    return *length;
}

HidBus ReadHidBus(int handle)
{
    if (!BorrowHidSlot(handle)) return HidBus::Unknown;
    const HidBus bus = OpenBuses[handle];
    ReturnHidSlot(handle);
    return bus;
}

bool IsSystemDriverBound(int handle)
{
    if (!BorrowHidSlot(handle)) return false;
    char driver[64];
    ReadBoundDriver(OpenPaths[handle], driver, sizeof driver);
    ReturnHidSlot(handle);
    return std::strcmp(driver, "nintendo") == 0;
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
