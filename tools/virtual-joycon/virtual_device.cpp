#include "virtual_device.h"

#include "joycon_reports.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vj {

namespace {

constexpr unsigned char InitialInputMode = 0x3F;

// Sequence number of the 15 ms tick at time ns.
std::uint32_t FullSlotAt(const DeviceState& device, long long ns)
{
    return static_cast<std::uint32_t>((ns - device.OpenNs) / FullReportPeriodNs);
}

}  // namespace

Mode ModeFromEnvironment()
{
    const char* text = std::getenv("TAVREL_VJ_MODE");
    if (text == nullptr) return Mode::Normal;
    if (std::strcmp(text, "absent") == 0) return Mode::Absent;
    if (std::strcmp(text, "silent") == 0) return Mode::Silent;
    if (std::strcmp(text, "vanish") == 0) return Mode::Vanish;
    return Mode::Normal;
}

long long VanishAfterFromEnvironment()
{
    const char* text = std::getenv("TAVREL_VJ_VANISH_AFTER");
    if (text == nullptr) return 0;
    const long long n = std::strtoll(text, nullptr, 10);
    return n < 0 ? 0 : n;
}

int ControllersFromEnvironment(Controller controllers[MaxVirtualDevices])
{
    const char* text = std::getenv("TAVREL_VJ_CONTROLLER");
    if (text == nullptr || *text == '\0') text = "right";
    int count = 0;
    while (count < MaxVirtualDevices) {
        const char* end = std::strchr(text, ',');
        const std::size_t n = end == nullptr ? std::strlen(text) : static_cast<std::size_t>(end - text);
        Controller& controller = controllers[count++];
        if (n == 4 && std::strncmp(text, "left", n) == 0) {
            controller = Controller::LeftJoyCon;
        } else if (n == 3 && std::strncmp(text, "pro", n) == 0) {
            controller = Controller::ProController;
        } else {
            controller = Controller::RightJoyCon;
            // Read on every enumeration and open: say it once, not each time.
            static std::atomic<bool> warned{false};
            if (!(n == 5 && std::strncmp(text, "right", n) == 0) && !warned.exchange(true))
                std::fprintf(stderr, "virtual-joycon: TAVREL_VJ_CONTROLLER=%s names other than right, left, pro; "
                                     "acting as right for them\n", std::getenv("TAVREL_VJ_CONTROLLER"));
        }
        if (end == nullptr) break;
        text = end + 1;
    }
    return count;
}

Controller ControllerFromEnvironment()
{
    Controller controllers[MaxVirtualDevices];
    ControllersFromEnvironment(controllers);
    return controllers[0];
}

unsigned short ProductIdOf(Controller controller)
{
    switch (controller) {
    case Controller::LeftJoyCon: return 0x2006;
    case Controller::ProController: return 0x2009;
    case Controller::RightJoyCon: break;
    }
    return 0x2007;
}

const wchar_t* ProductNameOf(Controller controller)
{
    switch (controller) {
    case Controller::LeftJoyCon: return L"Joy-Con (L)";
    case Controller::ProController: return L"Pro Controller";
    case Controller::RightJoyCon: break;
    }
    return L"Joy-Con (R)";
}

void StartDevice(DeviceState& device, long long nowNs)
{
    device.DeviceMode = ModeFromEnvironment();
    device.VanishAfter = VanishAfterFromEnvironment();
    device.WritesDone = 0;
    device.Vanished = device.DeviceMode == Mode::Vanish && device.VanishAfter == 0;
    device.OpenNs = nowNs;
    device.InputMode = InitialInputMode;
    device.ImuOn = false;
    device.StreamStartNs = nowNs;
    device.LastFullSlot = -1;
    device.LastSimpleSlot = -1;
    device.PendingReplies.clear();
}

void TakeWrite(DeviceState& device, const unsigned char* data, std::size_t length, long long nowNs)
{
    ++device.WritesDone;
    if (device.DeviceMode == Mode::Vanish && device.WritesDone >= device.VanishAfter)
        device.Vanished = true;
    if (length <= SubcommandArgumentByte || data[0] != SubcommandOutputId) return;
    const unsigned char id = data[SubcommandIdByte];
    const unsigned char argument = data[SubcommandArgumentByte];
    if (id == SubcommandSetInputMode) {
        device.InputMode = argument;
        device.StreamStartNs = nowNs;
    } else if (id == SubcommandEnableImu) {
        device.ImuOn = argument != 0;
    }
    if (device.DeviceMode == Mode::Silent) return;
    Report reply(StandardReportSize, 0);
    BuildSubcommandReply(FullSlotAt(device, nowNs), id, reply.data());
    device.PendingReplies.push_back(reply);
}

bool FindNextReport(const DeviceState& device, long long nowNs, NextReport* next, long long* nextDueNs)
{
    *nextDueNs = -1;
    if (!device.PendingReplies.empty()) {
        next->IsReply = true;
        next->Slot = -1;
        next->Bytes = device.PendingReplies.front();
        return true;
    }
    if (device.DeviceMode == Mode::Silent) return false;

    long long period = 0;
    long long lastSlot = 0;
    if (device.InputMode == FullReportId) {
        period = FullReportPeriodNs;
        lastSlot = device.LastFullSlot;
    } else if (device.InputMode == SimpleReportId) {
        period = SimpleReportPeriodNs;
        lastSlot = device.LastSimpleSlot;
    } else {
        return false;
    }
    // The first report of a mode is the first tick strictly after the mode was set.
    long long first = (device.StreamStartNs - device.OpenNs) / period + 1;
    if (first <= lastSlot) first = lastSlot + 1;
    const long long current = (nowNs - device.OpenNs) / period;
    if (current < first) {
        *nextDueNs = device.OpenNs + first * period;
        return false;
    }
    next->IsReply = false;
    next->Slot = current;
    const std::uint32_t k = static_cast<std::uint32_t>(current);
    if (device.InputMode == FullReportId) {
        next->Bytes.assign(StandardReportSize, 0);
        BuildFullReport(k, device.ImuOn, next->Bytes.data());
    } else {
        next->Bytes.assign(SimpleReportSize, 0);
        BuildSimpleReport(k, next->Bytes.data());
    }
    return true;
}

void MarkDelivered(DeviceState& device, const NextReport& next)
{
    if (next.IsReply) {
        if (!device.PendingReplies.empty()) device.PendingReplies.pop_front();
    } else if (next.Bytes[0] == FullReportId) {
        device.LastFullSlot = next.Slot;
    } else {
        device.LastSimpleSlot = next.Slot;
    }
}

}  // namespace vj
