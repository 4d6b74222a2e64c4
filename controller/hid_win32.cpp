// HID backend for Windows: SetupAPI lists the HID interfaces, hid.dll tells each one's IDs and
// report sizes, and overlapped file I/O moves the reports with bounded waits.
#include "controller/hid.h"

#include <windows.h>
#include <setupapi.h>

// The HID headers are C headers; older SDKs declare them without C linkage.
extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include "controller/hid_slots.h"

#include <cstring>

namespace {

// Largest report we keep a buffer for; the controller's are 362 (input) and 49 (output).
constexpr int MaxReportBytes = 1024;

// Room for an interface detail record with its device path.
constexpr int MaxDeviceDetailBytes = 2048;

// Longest wait for one output report to be taken by the device.
constexpr DWORD HidWriteTimeoutMs = 500;

// Longest wait for a cancelled request to finish cancelling.
constexpr DWORD CancelSettleMs = 1000;

// One overlapped request with the memory it reads into or writes from. Kept in the device
// record, never on a stack: a thread ended in the middle of a request must not leave the
// system writing into freed memory.
struct HidRequest {
    OVERLAPPED Overlapped;
    bool Pending;  // issued and not yet seen to finish
    unsigned char Buffer[MaxReportBytes];
};

struct HidDeviceRecord {
    HANDLE File;
    DWORD InputReportLength;   // report ID included
    DWORD OutputReportLength;  // report ID included
    HidRequest Read;
    HidRequest Write;
    char Path[MaxDeviceDetailBytes];  // the interface's path while open, "" otherwise
};

// The record of each open handle; Windows handles never leave this file. A record is only
// used while its slot is borrowed (or by the close that holds it).
HidDeviceRecord OpenDevices[MaxOpenHidDevices];

enum class RequestOutcome { Completed, Failed, StillPending };

// Waits up to waitMs for the request to finish and cancels it when it has not. A request that
// finishes while being cancelled counts as completed.
RequestOutcome FinishRequest(HANDLE file, HidRequest& request, DWORD waitMs, DWORD* bytes)
{
    if (WaitForSingleObject(request.Overlapped.hEvent, waitMs) != WAIT_OBJECT_0) {
        CancelIo(file);
        if (WaitForSingleObject(request.Overlapped.hEvent, CancelSettleMs) != WAIT_OBJECT_0)
            return RequestOutcome::StillPending;
    }
    request.Pending = false;
    return GetOverlappedResult(file, &request.Overlapped, bytes, FALSE) ? RequestOutcome::Completed
                                                                        : RequestOutcome::Failed;
}

// A request left pending by a thread that was ended during it is cancelled by the system;
// wait (bounded) until the record's memory is free again. False when it still is not.
bool SettleLeftoverRequest(HANDLE file, HidRequest& request)
{
    if (!request.Pending) return true;
    if (WaitForSingleObject(request.Overlapped.hEvent, CancelSettleMs) != WAIT_OBJECT_0) return false;
    DWORD ignored = 0;
    GetOverlappedResult(file, &request.Overlapped, &ignored, FALSE);
    request.Pending = false;
    return true;
}

// Starts a request; Completed with bytes when it finished at once, StillPending when it runs
// on, Failed otherwise.
RequestOutcome BeginRequest(BOOL started, HidRequest& request)
{
    if (started) return RequestOutcome::Completed;
    if (GetLastError() != ERROR_IO_PENDING) return RequestOutcome::Failed;
    request.Pending = true;
    return RequestOutcome::StillPending;
}

// Report lengths of an open HID device; false when they cannot be read or are out of range.
bool ReadReportLengths(HANDLE file, DWORD* inputLength, DWORD* outputLength)
{
    PHIDP_PREPARSED_DATA preparsed = nullptr;
    if (!HidD_GetPreparsedData(file, &preparsed)) return false;
    HIDP_CAPS caps;
    const bool known = HidP_GetCaps(preparsed, &caps) == HIDP_STATUS_SUCCESS;
    HidD_FreePreparsedData(preparsed);
    if (!known) return false;
    *inputLength = caps.InputReportByteLength;
    *outputLength = caps.OutputReportByteLength;
    return *inputLength > 0 && *inputLength <= MaxReportBytes && *outputLength > 0 &&
           *outputLength <= MaxReportBytes;
}

void InitRequest(HidRequest& request, HANDLE event)
{
    std::memset(&request.Overlapped, 0, sizeof request.Overlapped);
    request.Overlapped.hEvent = event;
    request.Pending = false;
}

// Takes an open device into a free slot of the table. Returns its handle, or -1.
int KeepDevice(const char* path, HANDLE file, DWORD inputLength, DWORD outputLength)
{
    // Manual-reset events, as overlapped results require.
    HANDLE readEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    HANDLE writeEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const int handle = readEvent != nullptr && writeEvent != nullptr ? ReserveHidSlot() : -1;
    if (handle == -1) {
        if (readEvent != nullptr) CloseHandle(readEvent);
        if (writeEvent != nullptr) CloseHandle(writeEvent);
        return -1;
    }
    HidDeviceRecord& device = OpenDevices[handle];
    device.File = file;
    device.InputReportLength = inputLength;
    device.OutputReportLength = outputLength;
    std::strncpy(device.Path, path, sizeof device.Path - 1);
    device.Path[sizeof device.Path - 1] = '\0';
    InitRequest(device.Read, readEvent);
    InitRequest(device.Write, writeEvent);
    PublishHidSlot(handle);
    return handle;
}

// The IDs of the interface at path, read through a handle opened without access rights:
// that reaches every HID device, keyboards included, without opening it for use.
bool ReadDeviceIds(const char* path, USHORT* vendorId, USHORT* productId)
{
    HANDLE query = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (query == INVALID_HANDLE_VALUE) return false;
    HIDD_ATTRIBUTES attributes = {};
    attributes.Size = sizeof attributes;
    const bool known = HidD_GetAttributes(query, &attributes) != FALSE;
    CloseHandle(query);
    *vendorId = attributes.VendorID;
    *productId = attributes.ProductID;
    return known;
}

// Opens the interface at path when it is a HID device with these IDs; no other device is opened
// for use. Returns its handle, or -1.
int OpenIfMatching(const char* path, int vendorId, int productId)
{
    USHORT foundVendor = 0;
    USHORT foundProduct = 0;
    if (!ReadDeviceIds(path, &foundVendor, &foundProduct) || foundVendor != vendorId || foundProduct != productId)
        return -1;
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;

    DWORD inputLength = 0;
    DWORD outputLength = 0;
    int handle = -1;
    if (ReadReportLengths(file, &inputLength, &outputLength))
        handle = KeepDevice(path, file, inputLength, outputLength);
    if (handle == -1) CloseHandle(file);
    return handle;
}

// Whether this process holds the interface at path open.
bool IsPathOpen(const char* path)
{
    for (const HidDeviceRecord& device : OpenDevices)
        if (device.Path[0] != '\0' && std::strcmp(device.Path, path) == 0) return true;
    return false;
}

// Opens the first listed interface with these IDs; with skipOpen, the first not open already.
int OpenFirstMatching(int vendorId, int productId, bool skipOpen)
{
    GUID hidGuid;
    HidD_GetHidGuid(&hidGuid);
    HDEVINFO interfaces =
        SetupDiGetClassDevsA(&hidGuid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (interfaces == INVALID_HANDLE_VALUE) return -1;

    int handle = -1;
    SP_DEVICE_INTERFACE_DATA item;
    item.cbSize = sizeof item;
    for (DWORD index = 0;
         handle == -1 && SetupDiEnumDeviceInterfaces(interfaces, nullptr, &hidGuid, index, &item);
         ++index) {
        alignas(SP_DEVICE_INTERFACE_DETAIL_DATA_A) unsigned char detailBytes[MaxDeviceDetailBytes];
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(detailBytes);
        detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
        if (!SetupDiGetDeviceInterfaceDetailA(interfaces, &item, detail, sizeof detailBytes, nullptr,
                                              nullptr))
            continue;  // path too long for the buffer, or the interface went away
        if (skipOpen && IsPathOpen(detail->DevicePath)) continue;
        handle = OpenIfMatching(detail->DevicePath, vendorId, productId);
    }
    SetupDiDestroyDeviceInfoList(interfaces);
    return handle;
}

}  // namespace

int OpenHidHandle(int vendorId, int productId) { return OpenFirstMatching(vendorId, productId, false); }

int OpenNextHidHandle(int vendorId, int productId) { return OpenFirstMatching(vendorId, productId, true); }

int WriteReport(int handle, const unsigned char* report, int* written)
{
    int sent = -1;
    if (BorrowHidSlot(handle)) {
        HidDeviceRecord& device = OpenDevices[handle];
        if (SettleLeftoverRequest(device.File, device.Write)) {
            // The device takes exactly its output report length; bytes past ours are zero.
            HidRequest& request = device.Write;
            const DWORD ours = device.OutputReportLength < HidOutputReportSize
                                   ? device.OutputReportLength
                                   : static_cast<DWORD>(HidOutputReportSize);
            std::memset(request.Buffer, 0, device.OutputReportLength);
            std::memcpy(request.Buffer, report, ours);

            DWORD bytes = 0;
            RequestOutcome outcome = BeginRequest(
                WriteFile(device.File, request.Buffer, device.OutputReportLength, &bytes, &request.Overlapped),
                request);
            if (outcome == RequestOutcome::StillPending)
                outcome = FinishRequest(device.File, request, HidWriteTimeoutMs, &bytes);
            if (outcome == RequestOutcome::Completed) sent = static_cast<int>(bytes);
        }
        ReturnHidSlot(handle);
    }
    if (written != nullptr) *written = sent;
    return sent;
}

namespace {

// The bus an interface path names: HID over Bluetooth paths carry the HID service's class ID
// or IDs with their Bluetooth source ("_vid&0002"); HID over USB paths carry "vid_".
HidBus BusOfPath(const char* path)
{
    char lower[MaxDeviceDetailBytes];
    std::size_t n = 0;
    for (; path[n] != '\0' && n + 1 < sizeof lower; ++n)
        lower[n] = path[n] >= 'A' && path[n] <= 'Z' ? static_cast<char>(path[n] - 'A' + 'a') : path[n];
    lower[n] = '\0';
    if (std::strstr(lower, "{00001124-0000-1000-8000-00805f9b34fb}") != nullptr ||
        std::strstr(lower, "_vid&0002") != nullptr)
        return HidBus::Bluetooth;
    if (std::strstr(lower, "vid_") != nullptr) return HidBus::Usb;
    return HidBus::Unknown;
}

}  // namespace

int ReadReport(int handle, unsigned char* report, int* length)
{
    return ReadReportWithin(handle, report, length, HidReadTimeoutMs);
}

int ReadReportWithin(int handle, unsigned char* report, int* length, int waitMs)
{
    *length = 0;
    if (!BorrowHidSlot(handle)) return 0;
    HidDeviceRecord& device = OpenDevices[handle];
    HidRequest& request = device.Read;
    const int wait = waitMs < 0 ? 0 : waitMs > HidReadTimeoutMs ? HidReadTimeoutMs : waitMs;
    DWORD bytes = 0;
    RequestOutcome outcome = RequestOutcome::Failed;
    if (SettleLeftoverRequest(device.File, request)) {
        outcome = BeginRequest(
            ReadFile(device.File, request.Buffer, device.InputReportLength, &bytes, &request.Overlapped), request);
        if (outcome == RequestOutcome::StillPending)
            outcome = FinishRequest(device.File, request, static_cast<DWORD>(wait), &bytes);
    }
    if (outcome == RequestOutcome::Completed && bytes > 0) {
        // Stored from byte 0 and zero-padded to the full size the caller's buffer holds.
        const DWORD kept = bytes < HidInputReportSize ? bytes : static_cast<DWORD>(HidInputReportSize);
        std::memcpy(report, request.Buffer, kept);
        std::memset(report + kept, 0, HidInputReportSize - kept);
        *length = HidInputReportSize;
    }
    ReturnHidSlot(handle);
    return *length;
}

HidBus ReadHidBus(int handle)
{
    if (!BorrowHidSlot(handle)) return HidBus::Unknown;
    const HidBus bus = BusOfPath(OpenDevices[handle].Path);
    ReturnHidSlot(handle);
    return bus;
}

// Windows' own HID driver never changes the controller's mode: nothing to say.
bool IsSystemDriverBound(int) { return false; }

int CloseHidHandle(int handle)
{
    const HidSlotClosing closing = BeginClosingHidSlot(handle);
    if (closing == HidSlotClosing::NotOpen) return -1;
    HidDeviceRecord& device = OpenDevices[handle];
    // Closing the file cancels whatever is still pending. Until such a request has finished, the
    // system may still write into the record's buffers and OVERLAPPED, and signal its events:
    // the slot is then never reused and its events stay open.
    CloseHandle(device.File);
    device.Path[0] = '\0';
    const bool settled = closing == HidSlotClosing::Idle && SettleLeftoverRequest(device.File, device.Read) &&
                         SettleLeftoverRequest(device.File, device.Write);
    if (settled) {
        CloseHandle(device.Read.Overlapped.hEvent);
        CloseHandle(device.Write.Overlapped.hEvent);
    }
    FinishClosingHidSlot(handle, !settled);
    return 0;
}
