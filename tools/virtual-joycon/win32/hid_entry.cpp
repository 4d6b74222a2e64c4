// The hid.dll stand-in of the Windows virtual controller: the class GUID, a device's IDs and its
// capabilities, for handles opened on the pipes that the setupapi.dll stand-in lists. It
// makes a handle opened for writing behave as a HID device handle does (a read into a buffer
// shorter than the report fails) and tells the server that this connection is the program's.
#include <windows.h>
#include <winternl.h>

extern "C" {
#include <hidsdi.h>
#include <hidpi.h>
}

#include "listed_devices.h"

namespace {

constexpr unsigned long PreparsedMagic = 0x4A565050;  // 'PPVJ'
constexpr USHORT ReleaseNumber = 0x0001;
constexpr DWORD AnnounceWaitMs = 5000;
constexpr ULONG MaxObjectNameBytes = 1024;

// HidP status codes (ntstatus-style values from the HID documentation).
constexpr NTSTATUS HidStatusSuccess = static_cast<NTSTATUS>(0x00110000L);
constexpr NTSTATUS HidStatusInvalidPreparsedData = static_cast<NTSTATUS>(0xC0110001L);

// ObjectBasicInformation's record, as documented for NtQueryObject.
struct BasicObjectInformation {
    ULONG Attributes;
    ACCESS_MASK GrantedAccess;
    ULONG HandleCount;
    ULONG PointerCount;
    ULONG Reserved[10];
};
constexpr int ObjectBasicInformationClass = 0;
constexpr int ObjectNameInformationClass = 1;

struct PreparsedRecord {
    unsigned long Magic;
    int Index;
};

// Which listed device a handle is open on, or -1.
int DeviceIndexOf(HANDLE file)
{
    alignas(UNICODE_STRING) unsigned char buffer[MaxObjectNameBytes];
    ULONG returned = 0;
    if (NtQueryObject(file, static_cast<OBJECT_INFORMATION_CLASS>(ObjectNameInformationClass), buffer,
                      sizeof buffer, &returned) != 0)
        return -1;
    const UNICODE_STRING* name = reinterpret_cast<const UNICODE_STRING*>(buffer);
    return vj::IndexFromPipeObjectName(name->Buffer, name->Length / sizeof(wchar_t));
}

bool IsOpenForWriting(HANDLE file)
{
    BasicObjectInformation information = {};
    ULONG returned = 0;
    if (NtQueryObject(file, static_cast<OBJECT_INFORMATION_CLASS>(ObjectBasicInformationClass),
                      &information, sizeof information, &returned) != 0)
        return false;
    return (information.GrantedAccess & FILE_WRITE_DATA) != 0;
}

// A handle opened for writing reads whole reports (message mode) and is announced to the
// server. Asking again is harmless: the server takes one announcement per connection.
void AnnounceWhenWritable(HANDLE file)
{
    if (!IsOpenForWriting(file)) return;
    DWORD mode = PIPE_READMODE_MESSAGE;
    SetNamedPipeHandleState(file, &mode, nullptr, nullptr);
    OVERLAPPED overlapped = {};
    overlapped.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (overlapped.hEvent == nullptr) return;
    DWORD written = 0;
    if (!WriteFile(file, vj::OpenAnnouncement, sizeof vj::OpenAnnouncement, &written, &overlapped) &&
        GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(overlapped.hEvent, AnnounceWaitMs) != WAIT_OBJECT_0) CancelIo(file);
        GetOverlappedResult(file, &overlapped, &written, TRUE);
    }
    CloseHandle(overlapped.hEvent);
}

}  // namespace

extern "C" {

void NTAPI HidD_GetHidGuid(LPGUID guid)
{
    if (guid != nullptr) *guid = vj::HidInterfaceClass;
}

BOOLEAN NTAPI HidD_GetAttributes(HANDLE file, PHIDD_ATTRIBUTES attributes)
{
    const int index = DeviceIndexOf(file);
    if (index < 0 || attributes == nullptr || attributes->Size != sizeof(HIDD_ATTRIBUTES)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    AnnounceWhenWritable(file);
    const vj::ListedDevice device = vj::ListedDeviceAt(index);
    attributes->VendorID = device.VendorId;
    attributes->ProductID = device.ProductId;
    attributes->VersionNumber = ReleaseNumber;
    return TRUE;
}

BOOLEAN NTAPI HidD_GetPreparsedData(HANDLE file, PHIDP_PREPARSED_DATA* preparsed)
{
    const int index = DeviceIndexOf(file);
    if (index < 0 || preparsed == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    AnnounceWhenWritable(file);
    *preparsed = reinterpret_cast<PHIDP_PREPARSED_DATA>(new PreparsedRecord{PreparsedMagic, index});
    return TRUE;
}

BOOLEAN NTAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA preparsed)
{
    PreparsedRecord* record = reinterpret_cast<PreparsedRecord*>(preparsed);
    if (record == nullptr || record->Magic != PreparsedMagic) return FALSE;
    record->Magic = 0;
    delete record;
    return TRUE;
}

NTSTATUS NTAPI HidP_GetCaps(PHIDP_PREPARSED_DATA preparsed, PHIDP_CAPS caps)
{
    const PreparsedRecord* record = reinterpret_cast<const PreparsedRecord*>(preparsed);
    if (record == nullptr || record->Magic != PreparsedMagic || caps == nullptr)
        return HidStatusInvalidPreparsedData;
    const vj::ListedDevice device = vj::ListedDeviceAt(record->Index);
    *caps = HIDP_CAPS{};
    caps->UsagePage = device.UsagePage;
    caps->Usage = device.Usage;
    caps->InputReportByteLength = device.InputReportLength;
    caps->OutputReportByteLength = device.OutputReportLength;
    caps->NumberLinkCollectionNodes = 1;
    return HidStatusSuccess;
}

}  // extern "C"
