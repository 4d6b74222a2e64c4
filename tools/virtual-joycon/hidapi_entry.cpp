// The hidapi entry points of the virtual controller: simulated controllers on Bluetooth (or USB,
// TAVREL_VJ_BUS), each a
// right Joy-Con (057E/2007), a left one (057E/2006) or a Pro Controller (057E/2009). Preloaded in
// front of libhidapi, it answers every call a hidapi user makes. Device k (from 0) has its own
// path, serial number and log.
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
#include <thread>
#include <vector>

namespace {

constexpr const char* DevicePath = "/dev/hidraw-virtual-joycon";  // the first device's; "-2"... after
constexpr const wchar_t* SerialNumberStem = L"00:00:5e:00:53:0";  // and the device's number from 1
constexpr const wchar_t* ManufacturerName = L"Nintendo";
constexpr unsigned short GenericDesktopPage = 0x01;
constexpr unsigned short GamepadUsage = 0x05;
constexpr unsigned short ReleaseNumber = 0x0001;

}  // namespace

struct hid_device_ {
    int index;                  // which of the listed devices
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
std::string OpenDeviceInfoPath;
std::wstring OpenDeviceInfoSerial;

std::string PathOf(int index) { return index == 0 ? DevicePath : DevicePath + ("-" + std::to_string(index + 1)); }

std::wstring SerialOf(int index) { return SerialNumberStem + std::to_wstring(index + 1); }

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
    info->vendor_id = NintendoVendorId;
    info->product_id = vj::ProductIdOf(controller);
    info->serial_number = serial;
    info->release_number = ReleaseNumber;
    info->manufacturer_string = maker;
    info->product_string = product;
    info->usage_page = GenericDesktopPage;
    info->usage = GamepadUsage;
    const bool usb = vj::UsbFromEnvironment();
    info->interface_number = usb ? 0 : -1;  // Bluetooth: no USB interface
    info->next = nullptr;
    info->bus_type = usb ? HID_API_BUS_USB : HID_API_BUS_BLUETOOTH;
}

bool IdsMatch(vj::Controller controller, unsigned short vendorId, unsigned short productId)
{
    return (vendorId == 0 || vendorId == NintendoVendorId) &&
           (productId == 0 || productId == vj::ProductIdOf(controller));
}

// Opens listed device index, or logs a failed open in the first device's log for index -1.
hid_device* OpenDevice(int index, unsigned short vendorId, unsigned short productId)
{
    vj::StartEventLog();
    vj::Controller controllers[vj::MaxVirtualDevices];
    vj::ControllersFromEnvironment(controllers);
    const bool opens = index >= 0 && vj::ModeFromEnvironment() != vj::Mode::Absent;
    char line[64];
    std::snprintf(line, sizeof line, "open %04x %04x %s", vendorId, productId,
                  opens ? "ok" : "absent");
    vj::LogEventOn(opens ? index : 0, line);
    std::lock_guard<std::mutex> guard(DeviceLock);
    if (!opens) {
        GlobalError = L"No such device";
        return nullptr;
    }
    OpenedDevices.push_back(std::make_unique<hid_device_>());
    hid_device* device = OpenedDevices.back().get();
    device->index = index;
    vj::StartDevice(device->state, vj::MonotonicNs(), index);
    device->controller = controllers[index];
    device->closed = false;
    device->nonblocking = false;
    device->lastError = L"Success";
    GlobalError = L"Success";
    return device;
}

int Deliver(int index, const vj::Report& report, unsigned char* data, std::size_t length)
{
    vj::LogReportOn(index, "deliver", report.data(), report.size());
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
            vj::LogEventOn(device->index, "fail read");
            return -1;
        }
        const long long now = vj::MonotonicNs();
        long long nextDue = -1;
        vj::NextReport next;
        if (vj::FindNextReport(device->state, now, &next, &nextDue)) {
            vj::MarkDelivered(device->state, next);
            return Deliver(device->index, next.Bytes, data, length);
        }
        if (deadline >= 0 && now >= deadline) {
            char line[32];
            std::snprintf(line, sizeof line, "timeout %d", milliseconds);
            vj::LogEventOn(device->index, line);
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
    if (vj::ModeFromEnvironment() == vj::Mode::Absent) return nullptr;
    vj::Controller controllers[vj::MaxVirtualDevices];
    const int count = vj::ControllersFromEnvironment(controllers);
    hid_device_info* first = nullptr;
    hid_device_info** link = &first;
    for (int k = 0; k < count; ++k) {
        if (!IdsMatch(controllers[k], vendor_id, product_id)) continue;
        hid_device_info* info = static_cast<hid_device_info*>(std::calloc(1, sizeof(hid_device_info)));
        if (info == nullptr) break;
        FillDeviceInfo(info, controllers[k], CopyNarrow(PathOf(k).c_str()), CopyWide(SerialOf(k).c_str()),
                       CopyWide(ManufacturerName), CopyWide(vj::ProductNameOf(controllers[k])));
        *link = info;
        link = &info->next;
    }
    return first;
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
    vj::Controller controllers[vj::MaxVirtualDevices];
    const int count = vj::ControllersFromEnvironment(controllers);
    int found = -1;
    for (int k = 0; found == -1 && k < count; ++k)
        if (IdsMatch(controllers[k], vendor_id, product_id) &&
            (serial_number == nullptr || SerialOf(k) == serial_number))
            found = k;
    return OpenDevice(found, vendor_id, product_id);
}

HID_API_EXPORT hid_device* HID_API_CALL hid_open_path(const char* path)
{
    vj::Controller controllers[vj::MaxVirtualDevices];
    const int count = vj::ControllersFromEnvironment(controllers);
    int found = -1;
    for (int k = 0; found == -1 && path != nullptr && k < count; ++k)
        if (PathOf(k) == path) found = k;
    const vj::Controller controller = controllers[found == -1 ? 0 : found];
    return OpenDevice(found, NintendoVendorId, vj::ProductIdOf(controller));
}

int HID_API_EXPORT HID_API_CALL hid_write(hid_device* dev, const unsigned char* data, size_t length)
{
    if (dev == nullptr || data == nullptr || length == 0) return -1;
    long long stallNs = 0;
    {
        std::lock_guard<std::mutex> guard(DeviceLock);
        if (!dev->closed) stallNs = vj::NextWriteStallNs(dev->state);
    }
    // Held up outside the lock, as the system would hold up this write alone.
    if (stallNs > 0) std::this_thread::sleep_for(std::chrono::nanoseconds(stallNs));
    std::lock_guard<std::mutex> guard(DeviceLock);
    if (dev->closed) return -1;
    if (dev->state.Vanished) {
        dev->lastError = L"Device disconnected";
        vj::LogEventOn(dev->index, "fail write");
        return -1;
    }
    vj::LogReportOn(dev->index, "write", data, length);
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
    vj::LogEventOn(dev->index, "close");
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
    return dev == nullptr ? -1 : CopyString(SerialOf(dev->index).c_str(), string, maxlen);
}

struct hid_device_info HID_API_EXPORT* HID_API_CALL hid_get_device_info(hid_device* dev)
{
    if (dev == nullptr) return nullptr;
    std::lock_guard<std::mutex> guard(DeviceLock);
    // One static record serves every open device, refilled for the one asked about.
    OpenDeviceInfoPath = PathOf(dev->index);
    OpenDeviceInfoSerial = SerialOf(dev->index);
    FillDeviceInfo(&OpenDeviceInfo, dev->controller, const_cast<char*>(OpenDeviceInfoPath.c_str()),
                   const_cast<wchar_t*>(OpenDeviceInfoSerial.c_str()), const_cast<wchar_t*>(ManufacturerName),
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
