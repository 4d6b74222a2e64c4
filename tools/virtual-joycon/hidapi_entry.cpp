// The hidapi entry points of the virtual controller: one simulated controller on Bluetooth, a
// right Joy-Con (057E/2007), a left one (057E/2006) or a Pro Controller (057E/2009). Preloaded in
// front of libhidapi, it answers every call a hidapi user makes.
//
// Behaviour, chosen per open from TAVREL_VJ_MODE, and which controller it is, from
// TAVREL_VJ_CONTROLLER, are virtual_device.h's; once a vanish-mode device is lost, every later
// write and read fails.
#include "event_log.h"
#include "virtual_device.h"

#include <hidapi.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace {

constexpr const char* DevicePath = "/dev/hidraw-virtual-joycon";
constexpr const wchar_t* SerialNumber = L"00:00:5e:00:53:01";
constexpr const wchar_t* ManufacturerName = L"Nintendo";
constexpr unsigned short GenericDesktopPage = 0x01;
constexpr unsigned short GamepadUsage = 0x05;
constexpr unsigned short ReleaseNumber = 0x0001;

}  // namespace

struct hid_device_ {
    vj::DeviceState state;
    vj::Controller controller;  // as chosen when it was opened
    bool closed;
    bool nonblocking;
    std::wstring lastError;
};

namespace {

std::mutex DeviceLock;  // guards every hid_device_ and the device info below
// Every device ever opened. They are kept for the process's life, not freed at close: a reader
// blocked in another thread may still hold one.
std::vector<std::unique_ptr<hid_device_>> OpenedDevices;
std::condition_variable DeviceChanged;
std::wstring GlobalError = L"Success";
hid_device_info OpenDeviceInfo = {};

wchar_t* CopyWide(const wchar_t* text)
{
    const std::size_t n = std::wcslen(text) + 1;
    wchar_t* copy = static_cast<wchar_t*>(std::malloc(n * sizeof(wchar_t)));
    if (copy != nullptr) std::wmemcpy(copy, text, n);
    return copy;
}

char* CopyNarrow(const char* text)
{
    const std::size_t n = std::strlen(text) + 1;
    char* copy = static_cast<char*>(std::malloc(n));
    if (copy != nullptr) std::memcpy(copy, text, n);
    return copy;
}

void FillDeviceInfo(hid_device_info* info, vj::Controller controller, char* path, wchar_t* serial,
                    wchar_t* maker, wchar_t* product)
{
    info->path = path;
    info->vendor_id = vj::NintendoVendorId;
    info->product_id = vj::ProductIdOf(controller);
    info->serial_number = serial;
    info->release_number = ReleaseNumber;
    info->manufacturer_string = maker;
    info->product_string = product;
    info->usage_page = GenericDesktopPage;
    info->usage = GamepadUsage;
    info->interface_number = -1;  // Bluetooth: no USB interface
    info->next = nullptr;
    info->bus_type = HID_API_BUS_BLUETOOTH;
}

bool IdsMatch(vj::Controller controller, unsigned short vendorId, unsigned short productId)
{
    return (vendorId == 0 || vendorId == vj::NintendoVendorId) &&
           (productId == 0 || productId == vj::ProductIdOf(controller));
}

hid_device* OpenDevice(vj::Controller controller, unsigned short vendorId, unsigned short productId,
                       bool found)
{
    vj::StartEventLog();
    const bool opens = found && vj::ModeFromEnvironment() != vj::Mode::Absent;
    char line[64];
    std::snprintf(line, sizeof line, "open %04x %04x %s", vendorId, productId,
                  opens ? "ok" : "absent");
    vj::LogEvent(line);
    std::lock_guard<std::mutex> guard(DeviceLock);
    if (!opens) {
        GlobalError = L"No such device";
        return nullptr;
    }
    OpenedDevices.push_back(std::make_unique<hid_device_>());
    hid_device* device = OpenedDevices.back().get();
    vj::StartDevice(device->state, vj::MonotonicNs());
    device->controller = controller;
    device->closed = false;
    device->nonblocking = false;
    device->lastError = L"Success";
    GlobalError = L"Success";
    return device;
}

int Deliver(const vj::Report& report, unsigned char* data, std::size_t length)
{
    vj::LogReport("deliver", report.data(), report.size());
    const std::size_t n = report.size() < length ? report.size() : length;
    std::memcpy(data, report.data(), n);
    return static_cast<int>(n);
}

std::chrono::steady_clock::time_point SteadyAt(long long ns)
{
    // steady_clock is CLOCK_MONOTONIC on Linux, the clock of the log.
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns));
}

int ReadWithTimeout(hid_device* device, unsigned char* data, std::size_t length, int milliseconds)
{
    if (device == nullptr || data == nullptr) return -1;
    std::unique_lock<std::mutex> guard(DeviceLock);
    const long long deadline =
        milliseconds < 0 ? -1 : vj::MonotonicNs() + milliseconds * 1000000LL;
    for (;;) {
        if (device->closed) return -1;
        if (device->state.Vanished) {
            device->lastError = L"Device disconnected";
            vj::LogEvent("fail read");
            return -1;
        }
        const long long now = vj::MonotonicNs();
        long long nextDue = -1;
        vj::NextReport next;
        if (vj::FindNextReport(device->state, now, &next, &nextDue)) {
            vj::MarkDelivered(device->state, next);
            return Deliver(next.Bytes, data, length);
        }
        if (deadline >= 0 && now >= deadline) {
            char line[32];
            std::snprintf(line, sizeof line, "timeout %d", milliseconds);
            vj::LogEvent(line);
            return 0;
        }
        long long wake = deadline;
        if (nextDue >= 0 && (wake < 0 || nextDue < wake)) wake = nextDue;
        if (wake < 0) {
            DeviceChanged.wait(guard);
        } else {
            DeviceChanged.wait_until(guard, SteadyAt(wake));
        }
    }
}

int CopyString(const wchar_t* text, wchar_t* out, std::size_t maxlen)
{
    if (out == nullptr || maxlen == 0) return -1;
    std::wcsncpy(out, text, maxlen);
    out[maxlen - 1] = L'\0';
    return 0;
}

}  // namespace

extern "C" {

int HID_API_EXPORT HID_API_CALL hid_init(void)
{
    vj::StartEventLog();
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_exit(void) { return 0; }

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_enumerate(unsigned short vendor_id,
                                                                  unsigned short product_id)
{
    vj::StartEventLog();
    const vj::Controller controller = vj::ControllerFromEnvironment();
    if (vj::ModeFromEnvironment() == vj::Mode::Absent || !IdsMatch(controller, vendor_id, product_id))
        return nullptr;
    hid_device_info* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
    if (info == nullptr) return nullptr;
    FillDeviceInfo(info, controller, CopyNarrow(DevicePath), CopyWide(SerialNumber),
                   CopyWide(ManufacturerName), CopyWide(vj::ProductNameOf(controller)));
    return info;
}

void HID_API_EXPORT HID_API_CALL hid_free_enumeration(struct hid_device_info* devs)
{
    while (devs != nullptr) {
        hid_device_info* next = devs->next;
        std::free(devs->path);
        std::free(devs->serial_number);
        std::free(devs->manufacturer_string);
        std::free(devs->product_string);
        std::free(devs);
        devs = next;
    }
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open(unsigned short vendor_id, unsigned short product_id,
                                                 const wchar_t* serial_number)
{
    const vj::Controller controller = vj::ControllerFromEnvironment();
    const bool found = IdsMatch(controller, vendor_id, product_id) &&
                       (serial_number == nullptr || std::wcscmp(serial_number, SerialNumber) == 0);
    return OpenDevice(controller, vendor_id, product_id, found);
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open_path(const char* path)
{
    const vj::Controller controller = vj::ControllerFromEnvironment();
    const bool found = path != nullptr && std::strcmp(path, DevicePath) == 0;
    return OpenDevice(controller, vj::NintendoVendorId, vj::ProductIdOf(controller), found);
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device* dev, const unsigned char* data, size_t length)
{
    if (dev == nullptr || data == nullptr || length == 0) return -1;
    std::lock_guard<std::mutex> guard(DeviceLock);
    if (dev->closed) return -1;
    if (dev->state.Vanished) {
        dev->lastError = L"Device disconnected";
        vj::LogEvent("fail write");
        return -1;
    }
    vj::LogReport("write", data, length);
    vj::TakeWrite(dev->state, data, length, vj::MonotonicNs());
    DeviceChanged.notify_all();
    return static_cast<int>(length);
}

int HID_API_EXPORT HID_API_CALL hid_read_timeout(hid_device* dev, unsigned char* data, size_t length,
                                                 int milliseconds)
{
    return ReadWithTimeout(dev, data, length, milliseconds);
}

int HID_API_EXPORT HID_API_CALL hid_read(hid_device* dev, unsigned char* data, size_t length)
{
    bool nonblocking = false;
    if (dev != nullptr) {
        std::lock_guard<std::mutex> guard(DeviceLock);
        nonblocking = dev->nonblocking;
    }
    return ReadWithTimeout(dev, data, length, nonblocking ? 0 : -1);
}

int HID_API_EXPORT HID_API_CALL hid_set_nonblocking(hid_device* dev, int nonblock)
{
    if (dev == nullptr) return -1;
    std::lock_guard<std::mutex> guard(DeviceLock);
    dev->nonblocking = nonblock != 0;
    return 0;
}

int HID_API_EXPORT HID_API_CALL hid_send_feature_report(hid_device* dev, const unsigned char*, size_t)
{
    if (dev == nullptr) return -1;
    std::lock_guard<std::mutex> guard(DeviceLock);
    dev->lastError = L"Feature reports are not supported by this device";
    return -1;
}

int HID_API_EXPORT HID_API_CALL hid_get_feature_report(hid_device* dev, unsigned char*, size_t)
{
    return hid_send_feature_report(dev, nullptr, 0);
}

int HID_API_EXPORT HID_API_CALL hid_get_input_report(hid_device* dev, unsigned char*, size_t)
{
    if (dev == nullptr) return -1;
    std::lock_guard<std::mutex> guard(DeviceLock);
    dev->lastError = L"Input reports on request are not supported by this device";
    return -1;
}

void HID_API_EXPORT HID_API_CALL hid_close(hid_device* dev)
{
    if (dev == nullptr) return;
    std::lock_guard<std::mutex> guard(DeviceLock);
    if (dev->closed) return;
    dev->closed = true;
    vj::LogEvent("close");
    DeviceChanged.notify_all();
}

int HID_API_EXPORT_CALL hid_get_manufacturer_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    return dev == nullptr ? -1 : CopyString(ManufacturerName, string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_product_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    return dev == nullptr ? -1 : CopyString(vj::ProductNameOf(dev->controller), string, maxlen);
}

int HID_API_EXPORT_CALL hid_get_serial_number_string(hid_device* dev, wchar_t* string, size_t maxlen)
{
    return dev == nullptr ? -1 : CopyString(SerialNumber, string, maxlen);
}

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_get_device_info(hid_device* dev)
{
    if (dev == nullptr) return nullptr;
    std::lock_guard<std::mutex> guard(DeviceLock);
    // One static record serves every open device, refilled for the one asked about.
    FillDeviceInfo(&OpenDeviceInfo, dev->controller, const_cast<char*>(DevicePath),
                   const_cast<wchar_t*>(SerialNumber), const_cast<wchar_t*>(ManufacturerName),
                   const_cast<wchar_t*>(vj::ProductNameOf(dev->controller)));
    return &OpenDeviceInfo;
}

int HID_API_EXPORT_CALL hid_get_indexed_string(hid_device* dev, int, wchar_t*, size_t)
{
    if (dev == nullptr) return -1;
    std::lock_guard<std::mutex> guard(DeviceLock);
    dev->lastError = L"Indexed strings are not supported by this device";
    return -1;
}

HID_API_EXPORT const wchar_t* HID_API_CALL hid_error(hid_device* dev)
{
    std::lock_guard<std::mutex> guard(DeviceLock);
    return dev == nullptr ? GlobalError.c_str() : dev->lastError.c_str();
}

HID_API_EXPORT const struct hid_api_version* HID_API_CALL hid_version(void)
{
    static const hid_api_version Version = {HID_API_VERSION_MAJOR, HID_API_VERSION_MINOR,
                                            HID_API_VERSION_PATCH};
    return &Version;
}

HID_API_EXPORT const char* HID_API_CALL hid_version_str(void) { return HID_API_VERSION_STR; }

}  // extern "C"
