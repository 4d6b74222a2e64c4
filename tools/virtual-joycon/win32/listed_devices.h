// The HID interfaces the Windows virtual controller lists, in the order SetupAPI enumerates
// them, and what its two stand-in DLLs and its pipe server share about them. Each interface's
// device path is a named pipe that the server (virtual-joycon-server.exe, one per client
// process) serves: "\\.\pipe\tavrel-vj-<client process id>-<index in ListedDevices>".
#pragma once

#include <windows.h>

#include <cstddef>
#include <iterator>

namespace vj {

struct ListedDevice {
    unsigned short VendorId;
    unsigned short ProductId;
    unsigned short UsagePage;
    unsigned short Usage;
    unsigned short InputReportLength;   // report ID included, as HidP_GetCaps gives them
    unsigned short OutputReportLength;
    bool RefusesWriting;  // opening it for writing fails, as Windows refuses keyboards and mice
    bool IsController;    // the simulated controller; the others are decoys
};

// Two decoys first (a keyboard, a left Joy-Con), then the right Joy-Con on Bluetooth.
constexpr ListedDevice ListedDevices[] = {
    {0x045E, 0x07A5, 0x01, 0x06, 9, 2, true, false},
    {0x057E, 0x2006, 0x01, 0x05, 362, 49, false, false},
    {0x057E, 0x2007, 0x01, 0x05, 362, 49, false, true},
};
constexpr int ListedDeviceCount = static_cast<int>(std::size(ListedDevices));

// The HID device interface class, which SetupAPI lists them under.
constexpr GUID HidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// How many of ListedDevices are present: without the controller in absent mode.
int PresentDeviceCount();

// Longest pipe path, terminating zero included.
constexpr std::size_t MaxPipePathLength = 64;

// Writes the device path of entry index for the client process into path.
void FormatPipePath(char* path, unsigned long clientProcessId, int index);

// The index in ListedDevices of a pipe, from its kernel object name
// ("\Device\NamedPipe\tavrel-vj-<pid>-<index>"), or -1 when it is none of ours.
int IndexFromPipeObjectName(const wchar_t* name, std::size_t length);

// What the hid.dll stand-in sends through a handle opened for writing when the program first
// asks about it, so that the server knows which connection is the program's open device. Its
// length is no report's, and the server never logs it as a write.
constexpr unsigned char OpenAnnouncement[] = {'t', 'a', 'v', 'r', 'e', 'l', '-', 'v', 'j', '-', 'o', 'p', 'e', 'n'};

// A named, manual-reset event between the setupapi.dll stand-in and the server of one client
// process, created by whichever side asks first. "ready": the server's pipes exist. "drain":
// the client is exiting. "drained": the server has logged everything the client did.
HANDLE OpenServerEvent(unsigned long clientProcessId, const char* what);

}  // namespace vj
