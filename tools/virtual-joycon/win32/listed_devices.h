// The HID interfaces the Windows virtual controller lists, in the order SetupAPI enumerates
// them, and what its two stand-in DLLs and its pipe server share about them. Each interface's
// device path is a named pipe that the server (virtual-joycon-server.exe, one per client
// process) serves: "\\.\pipe\tavrel-vj-<client process id>-<bus>-<index of ListedDeviceAt>",
// where <bus> is the part of a real interface path that tells USB from Bluetooth.
#pragma once

#include <windows.h>

#include "virtual_device.h"

#include <cstddef>

namespace vj {

struct ListedDevice {
    unsigned short VendorId;
    unsigned short ProductId;
    unsigned short UsagePage;
    unsigned short Usage;
    unsigned short InputReportLength;   // report ID included, as HidP_GetCaps gives them
    unsigned short OutputReportLength;
    bool RefusesWriting;  // opening it for writing fails, as Windows refuses keyboards and mice
    int ControllerIndex;  // which simulated controller (and device log) it is, from 0; -1 for a decoy
};

constexpr int DecoyCount = 2;
constexpr int MaxListedDevices = DecoyCount + MaxVirtualDevices;

// Two decoys first (a keyboard, a left Joy-Con), then each controller TAVREL_VJ_CONTROLLER
// lists, in its order, on Bluetooth (on USB with TAVREL_VJ_BUS=usb). No decoy has a controller's IDs: when a left Joy-Con is
// listed the second decoy is a right one, and when both are, a SNES controller (057E/2017).
// Read on each call: the stand-in DLLs and the server, a process of its own that inherits the
// client's environment, see the same devices. index is below ListedDeviceCount().
ListedDevice ListedDeviceAt(int index);
int ListedDeviceCount();

// The HID device interface class, which SetupAPI lists them under.
constexpr GUID HidInterfaceClass = {0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// How many of the listed devices are present: the decoys only in absent mode.
int PresentDeviceCount();

// Longest pipe path, terminating zero included.
constexpr std::size_t MaxPipePathLength = 160;

// Writes the device path of entry index for the client process into path.
void FormatPipePath(char* path, unsigned long clientProcessId, int index);

// The index of the listed device of a pipe, from its kernel object name
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
