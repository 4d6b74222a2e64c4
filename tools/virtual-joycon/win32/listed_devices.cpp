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
    constexpr ListedDevice Keyboard = {0x045E, 0x07A5, 0x01, 0x06, 9, 2, true, false};
    const Controller controller = ControllerFromEnvironment();
    if (index == 0) return Keyboard;
    if (index == 1) {
        const Controller decoy =
            controller == Controller::LeftJoyCon ? Controller::RightJoyCon : Controller::LeftJoyCon;
        return {NintendoVendorId, ProductIdOf(decoy), 0x01, 0x05, 362, 49, false, false};
    }
    return {NintendoVendorId, ProductIdOf(controller), 0x01, 0x05, 362, 49, false, true};
}

int PresentDeviceCount()
{
    // The controller is the last entry.
    return ModeFromEnvironment() == Mode::Absent ? ListedDeviceCount - 1 : ListedDeviceCount;
}

void FormatPipePath(char* path, unsigned long clientProcessId, int index)
{
    std::snprintf(path, MaxPipePathLength, "\\\\.\\pipe\\tavrel-vj-%lu-%d", clientProcessId, index);
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
        if (index >= ListedDeviceCount) return -1;
    }
    return index;
}

HANDLE OpenServerEvent(unsigned long clientProcessId, const char* what)
{
    char name[96];
    std::snprintf(name, sizeof name, "Local\\tavrel-vj-%lu-%s", clientProcessId, what);
    return CreateEventA(nullptr, TRUE, FALSE, name);
}

}  // namespace vj
