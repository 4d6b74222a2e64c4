#include "listed_devices.h"

#include "virtual_device.h"

#include <cstdio>
#include <cwchar>

namespace vj {

namespace {
constexpr wchar_t PipeObjectPrefix[] = L"\\Device\\NamedPipe\\tavrel-vj-";
}  // namespace

ListedDevice ListedDeviceAt(int index)
{
    constexpr ListedDevice Keyboard = {0x045E, 0x07A5, 0x01, 0x06, 9, 2, true, -1};
    constexpr unsigned short SnesControllerId = 0x2017;
    Controller controllers[MaxVirtualDevices];
    const int count = ControllersFromEnvironment(controllers);
    if (index == 0) return Keyboard;
    if (index == 1) {
        bool left = false;
        bool right = false;
        for (int k = 0; k < count; ++k) {
            left = left || controllers[k] == Controller::LeftJoyCon;
            right = right || controllers[k] == Controller::RightJoyCon;
        }
        const unsigned short decoy = !left ? ProductIdOf(Controller::LeftJoyCon)
                                     : !right ? ProductIdOf(Controller::RightJoyCon) : SnesControllerId;
        return {NintendoVendorId, decoy, 0x01, 0x05, 362, 49, false, -1};
    }
    const int k = index - DecoyCount;
    // Over USB a Pro Controller's reports are 64 bytes each way.
    if (UsbFromEnvironment()) return {NintendoVendorId, ProductIdOf(controllers[k]), 0x01, 0x05, 64, 64, false, k};
    return {NintendoVendorId, ProductIdOf(controllers[k]), 0x01, 0x05, 362, 49, false, k};
}

int ListedDeviceCount()
{
    Controller controllers[MaxVirtualDevices];
    return DecoyCount + ControllersFromEnvironment(controllers);
}

int PresentDeviceCount()
{
    // The controllers follow the decoys.
    return ModeFromEnvironment() == Mode::Absent ? DecoyCount : ListedDeviceCount();
}

void FormatPipePath(char* path, unsigned long clientProcessId, int index)
{
    // The part a real interface path has that tells its bus: HID over USB names the USB IDs,
    // HID over Bluetooth its service class and the IDs with their source.
    const ListedDevice device = ListedDeviceAt(index);
    char bus[96];
    if (device.ControllerIndex >= 0 && UsbFromEnvironment())
        std::snprintf(bus, sizeof bus, "hid#vid_%04x&pid_%04x", device.VendorId, device.ProductId);
    else
        std::snprintf(bus, sizeof bus, "hid#{00001124-0000-1000-8000-00805f9b34fb}_vid&0002%04x_pid&%04x",
                      device.VendorId, device.ProductId);
    std::snprintf(path, MaxPipePathLength, "\\\\.\\pipe\\tavrel-vj-%lu-%s-%d", clientProcessId, bus, index);
}

int IndexFromPipeObjectName(const wchar_t* name, std::size_t length)
{
    const std::size_t prefixLength = sizeof PipeObjectPrefix / sizeof PipeObjectPrefix[0] - 1;
    if (length <= prefixLength || std::wcsncmp(name, PipeObjectPrefix, prefixLength) != 0) return -1;
    // "<pid>-<index>": the index follows the last dash.
    std::size_t dash = length;
    while (dash > prefixLength && name[dash - 1] != L'-') --dash;
    if (dash == prefixLength || dash == length) return -1;
    int index = 0;
    for (std::size_t i = dash; i < length; ++i) {
        if (name[i] < L'0' || name[i] > L'9') return -1;
        index = index * 10 + (name[i] - L'0');
        if (index >= MaxListedDevices) return -1;
    }
    return index < ListedDeviceCount() ? index : -1;
}

HANDLE OpenServerEvent(unsigned long clientProcessId, const char* what)
{
    char name[96];
    std::snprintf(name, sizeof name, "Local\\tavrel-vj-%lu-%s", clientProcessId, what);
    return CreateEventA(nullptr, TRUE, FALSE, name);
}

}  // namespace vj
