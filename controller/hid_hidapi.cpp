// HID backend over hidapi (Linux hidraw, macOS). hidapi is linked as a shared library so that
// a stand-in preloaded in its place (the virtual controller) can answer instead.
#include "controller/hid.h"

#include <hidapi.h>

#include <cstring>
#include <mutex>

namespace {

constexpr int MaxOpenDevices = 8;

// Handles are indices into this table; hidapi's device pointers never leave this file.
hid_device* OpenDevices[MaxOpenDevices] = {};
std::mutex OpenDevicesLock;

hid_device* FindDevice(int handle)
{
    if (handle < 0 || handle >= MaxOpenDevices) return nullptr;
    std::lock_guard<std::mutex> guard(OpenDevicesLock);
    return OpenDevices[handle];
}

}  // namespace

int OpenHidHandle(int vendorId, int productId)
{
    if (hid_init() != 0) return -1;
    hid_device* device = hid_open(static_cast<unsigned short>(vendorId),
                                  static_cast<unsigned short>(productId), nullptr);
    if (device == nullptr) return -1;

    std::lock_guard<std::mutex> guard(OpenDevicesLock);
    for (int handle = 0; handle < MaxOpenDevices; ++handle) {
        if (OpenDevices[handle] == nullptr) {
            OpenDevices[handle] = device;
            return handle;
        }
    }
    hid_close(device);
    return -1;
}

int WriteReport(int handle, const unsigned char* report, int* written)
{
    hid_device* device = FindDevice(handle);
    int sent = -1;
    if (device != nullptr) sent = hid_write(device, report, HidOutputReportSize);
    if (written != nullptr) *written = sent;
    return sent;
}

int ReadReport(int handle, unsigned char* report, int* length)
{
    *length = 0;
    hid_device* device = FindDevice(handle);
    if (device == nullptr) return 0;

    // Read into a scratch buffer so that a failed read leaves the caller's buffer untouched.
    unsigned char received[HidInputReportSize] = {};
    int got = hid_read_timeout(device, received, sizeof received, HidReadTimeoutMs);
    if (got <= 0) return 0;

    // Linux delivers the report's own size; pad to the full size as the Windows stack does.
    std::memcpy(report, received, sizeof received);
    *length = HidInputReportSize;
    return *length;
}

int CloseHidHandle(int handle)
{
    hid_device* device = nullptr;
    {
        std::lock_guard<std::mutex> guard(OpenDevicesLock);
        if (handle < 0 || handle >= MaxOpenDevices || OpenDevices[handle] == nullptr) return -1;
        device = OpenDevices[handle];
        OpenDevices[handle] = nullptr;
    }
    hid_close(device);
    return 0;
}
