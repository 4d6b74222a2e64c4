#include "virtual_device.h"

#include "common/time_units.h"
#include "event_log.h"
#include "joycon_reports.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vj {

namespace {

constexpr unsigned char InitialInputMode = InputModeSimpleHid;
constexpr long long DefaultSpacingNs = 15 * NanosecondsPerMillisecond;
// How long a strict controller takes to answer each subcommand, in turn: 15 to 30 ms.
constexpr long long ReplyDelaysNs[] = {15000000, 22000000, 30000000, 18000000, 26000000};
constexpr long long UsbReplyDelayNs = 2 * NanosecondsPerMillisecond;
// The USB handshake, in the order the controller needs it.
constexpr unsigned char UsbSteps[] = {UsbHandshake, UsbHighSpeed, UsbHandshake, UsbNoTimeout};
constexpr int UsbStepCount = sizeof UsbSteps;
// How long a stalled write is held up (TAVREL_VJ_STALL): from the shortest up to the longest.
constexpr long long ShortestStallNs = 30 * NanosecondsPerMillisecond;
constexpr long long LongestStallNs = 60 * NanosecondsPerMillisecond;
constexpr std::uint64_t StallChoices = 1000000;  // the share's resolution

// Sequence number of the 15 ms tick at time ns.
std::uint32_t FullSlotAt(const DeviceState& device, long long ns)
{
    return static_cast<std::uint32_t>((ns - device.OpenNs) / FullReportPeriodNs);
}

bool IsSet(const char* name, const char* value)
{
    const char* text = std::getenv(name);
    return text != nullptr && std::strcmp(text, value) == 0;
}

// A hex byte from the environment, or fallback when unset or not one.
unsigned char HexFromEnvironment(const char* name, unsigned char fallback)
{
    const char* text = std::getenv(name);
    if (text == nullptr || *text == '\0') return fallback;
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 16);
    return *end == '\0' && value <= 0xFF ? static_cast<unsigned char>(value) : fallback;
}

long long SpacingFromEnvironment()
{
    const char* text = std::getenv("TAVREL_VJ_SPACING_MS");
    if (text == nullptr) return DefaultSpacingNs;
    const double ms = std::strtod(text, nullptr);
    return ms > 0 ? static_cast<long long>(ms * NanosecondsPerMillisecond) : 0;
}

// A share from 0 to 1 from the environment, 0 when unset or not one.
double ShareFromEnvironment(const char* name)
{
    const char* text = std::getenv(name);
    if (text == nullptr) return 0;
    char* end = nullptr;
    const double share = std::strtod(text, &end);
    return *end == '\0' && share > 0 ? (share < 1 ? share : 1) : 0;
}

// A well-mixed 64-bit value of n (splitmix64's finaliser), so that stalled writes fall evenly.
std::uint64_t Mixed(std::uint64_t n)
{
    n += 0x9E3779B97F4A7C15ull;
    n = (n ^ (n >> 30)) * 0xBF58476D1CE4E5B9ull;
    n = (n ^ (n >> 27)) * 0x94D049BB133111EBull;
    return n ^ (n >> 31);
}

// The period of the reports streamed in mode, 0 for a mode that streams none.
long long PeriodOf(unsigned char mode)
{
    if (mode == FullModeReportId) return FullReportPeriodNs;
    if (mode == SimpleModeReportId) return SimpleReportPeriodNs;
    return 0;
}

// The streamed report of tick k in the device's mode.
Report StreamedReport(const DeviceState& device, long long k)
{
    const std::uint32_t tick = static_cast<std::uint32_t>(k);
    Report bytes;
    if (device.InputMode == FullModeReportId) {
        bytes.assign(StandardReportSize, 0);
        BuildFullReport(tick, device.ImuOn, bytes.data());
        if (device.LowBattery) MarkBatteryLow(bytes.data());
    } else {
        bytes.assign(SimpleReportSize, 0);
        BuildSimpleReport(tick, bytes.data());
    }
    return bytes;
}

void Enqueue(DeviceState& device, const Report& bytes)
{
    device.Queue.push_back(QueuedReport{device.QueuedCount++, bytes});
    if (device.Queue.size() > MaxQueuedReports) device.Queue.pop_front();
}

// The first tick of the device's stream still to be queued, -1 when it streams nothing.
long long NextTick(const DeviceState& device, long long period)
{
    if (period == 0) return -1;
    const long long first = (device.StreamStartNs - device.OpenNs) / period + 1;
    return device.StreamedUpTo + 1 > first ? device.StreamedUpTo + 1 : first;
}

// Strict: queues, in time order, every streamed report and delayed reply due by nowNs.
void QueueDue(DeviceState& device, long long nowNs)
{
    const long long period = PeriodOf(device.InputMode);
    long long tick = NextTick(device, period);
    // After a long time unread only the newest reports are still in the queue.
    if (tick >= 0 && device.Delayed.empty()) {
        const long long current = (nowNs - device.OpenNs) / period;
        const long long kept = static_cast<long long>(MaxQueuedReports);
        if (current - tick > kept) tick = current - kept;
    }
    for (;;) {
        const long long tickNs = tick >= 0 ? device.OpenNs + tick * period : -1;
        const bool tickDue = tick >= 0 && tickNs <= nowNs;
        const bool replyDue = !device.Delayed.empty() && device.Delayed.front().DueNs <= nowNs;
        if (!tickDue && !replyDue) return;
        if (replyDue && (!tickDue || device.Delayed.front().DueNs <= tickNs)) {
            Enqueue(device, device.Delayed.front().Bytes);
            device.Delayed.pop_front();
        } else {
            Enqueue(device, StreamedReport(device, tick));
            device.StreamedUpTo = tick++;
        }
    }
}

// Strict: when the next report will be queued, -1 for never unasked.
long long NextQueuedNs(const DeviceState& device)
{
    const long long period = PeriodOf(device.InputMode);
    const long long tick = NextTick(device, period);
    long long due = tick >= 0 ? device.OpenNs + tick * period : -1;
    if (!device.Delayed.empty() && (due < 0 || device.Delayed.front().DueNs < due)) due = device.Delayed.front().DueNs;
    return due;
}

// Sends a reply: at once (the next read brings it), or strictly after the controller's delay.
void Answer(DeviceState& device, const Report& reply, long long delayNs, long long nowNs)
{
    if (!device.Strict) {
        device.PendingReplies.push_back(reply);
        return;
    }
    // Answers leave in the order their reports came.
    long long due = nowNs + delayNs;
    if (!device.Delayed.empty() && device.Delayed.back().DueNs > due) due = device.Delayed.back().DueNs;
    device.Delayed.push_back(DelayedReply{due, reply});
}

void TakeUsbCommand(DeviceState& device, unsigned char command, long long nowNs)
{
    if (device.HandshakeStep < UsbStepCount && command == UsbSteps[device.HandshakeStep]) ++device.HandshakeStep;
    if (command != UsbStatus && command != UsbHandshake && command != UsbHighSpeed) return;
    Report reply(UsbReportSize, 0);
    BuildUsbReply(command, reply.data());
    Answer(device, reply, UsbReplyDelayNs, nowNs);
}

void LogFault(const DeviceState& device, const char* text)
{
    char line[96];
    std::snprintf(line, sizeof line, "fault %s", text);
    LogEventOn(device.LogIndex, line);
}

}  // namespace

bool UsbFromEnvironment() { return IsSet("TAVREL_VJ_BUS", "usb"); }

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
    case Controller::LeftJoyCon: return LeftJoyConProductId;
    case Controller::ProController: return ProControllerProductId;
    case Controller::RightJoyCon: break;
    }
    return RightJoyConProductId;
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

void StartDevice(DeviceState& device, long long nowNs, int logIndex)
{
    device.LogIndex = logIndex;
    device.DeviceMode = ModeFromEnvironment();
    device.VanishAfter = VanishAfterFromEnvironment();
    device.WritesDone = 0;
    device.Vanished = device.DeviceMode == Mode::Vanish && device.VanishAfter == 0;
    device.OpenNs = nowNs;
    device.InputMode = HexFromEnvironment("TAVREL_VJ_START_MODE", InitialInputMode);
    device.ImuOn = false;
    // A mode set before the device was opened streams from the first tick after the open.
    device.StreamStartNs = nowNs;
    device.LastFullSlot = -1;
    device.LastSimpleSlot = -1;
    device.PendingReplies.clear();
    device.Strict = IsSet("TAVREL_VJ_STRICT", "1");
    device.Usb = UsbFromEnvironment();
    device.HandshakeStep = 0;
    device.SpacingNs = SpacingFromEnvironment();
    device.LastWriteNs = -1;
    device.DropId = HexFromEnvironment("TAVREL_VJ_DROP", 0);
    device.Dropped = false;
    device.LowBattery = IsSet("TAVREL_VJ_BATTERY", "low");
    device.RepliesMade = 0;
    device.Queue.clear();
    device.Delayed.clear();
    device.QueuedCount = 0;
    device.StreamedUpTo = -1;
    device.StallShare = ShareFromEnvironment("TAVREL_VJ_STALL");
}

long long NextWriteStallNs(const DeviceState& device)
{
    if (device.StallShare <= 0) return 0;
    const std::uint64_t draw = Mixed((static_cast<std::uint64_t>(device.LogIndex) << 32) +
                                     static_cast<std::uint64_t>(device.WritesDone));
    if (static_cast<double>(draw % StallChoices) >= device.StallShare * StallChoices) return 0;
    const std::uint64_t spread = static_cast<std::uint64_t>(LongestStallNs - ShortestStallNs) + 1;
    return ShortestStallNs + static_cast<long long>(Mixed(draw) % spread);
}

void TakeWrite(DeviceState& device, const unsigned char* data, std::size_t length, long long nowNs)
{
    ++device.WritesDone;
    if (device.DeviceMode == Mode::Vanish && device.WritesDone >= device.VanishAfter)
        device.Vanished = true;
    if (device.Strict) {
        QueueDue(device, nowNs);
        if (device.LastWriteNs >= 0 && nowNs - device.LastWriteNs < device.SpacingNs) {
            char text[64];
            std::snprintf(text, sizeof text, "spacing %.3f ms",
                          static_cast<double>(nowNs - device.LastWriteNs) / NanosecondsPerMillisecond);
            LogFault(device, text);
        }
    }
    device.LastWriteNs = nowNs;
    if (length == 0) return;
    if (device.Usb) {
        if (data[0] == UsbCommandReportId && length > 1) {
            TakeUsbCommand(device, data[1], nowNs);
            return;
        }
        if (device.Strict && length != UsbOutputReportSize) LogFault(device, "write of a wrong length over USB");
        if (device.HandshakeStep < UsbStepCount) {
            LogFault(device, "before handshake");
            return;
        }
    }
    if (length <= SubcommandArgumentByte || data[0] != SubcommandReportId) return;
    const unsigned char id = data[SubcommandIdByte];
    const unsigned char argument = data[SubcommandArgumentByte];
    if (device.DropId != 0 && id == device.DropId && !device.Dropped) {
        device.Dropped = true;
        char line[16];
        std::snprintf(line, sizeof line, "drop %02x", id);
        LogEventOn(device.LogIndex, line);
        return;
    }
    if (id == SubcommandSetInputReportMode) {
        device.InputMode = argument;
        device.StreamStartNs = nowNs;
        device.StreamedUpTo = -1;
    } else if (id == SubcommandEnableImu) {
        device.ImuOn = argument != 0;
    }
    if (device.DeviceMode == Mode::Silent) return;
    Report reply(StandardReportSize, 0);
    BuildSubcommandReply(FullSlotAt(device, nowNs), id, reply.data());
    if (device.LowBattery) MarkBatteryLow(reply.data());
    const std::size_t delays = sizeof ReplyDelaysNs / sizeof ReplyDelaysNs[0];
    Answer(device, reply, ReplyDelaysNs[static_cast<std::size_t>(device.RepliesMade++) % delays], nowNs);
}

bool FindNextReport(DeviceState& device, long long nowNs, NextReport* next, long long* nextDueNs)
{
    *nextDueNs = -1;
    if (device.Strict) {
        if (device.DeviceMode == Mode::Silent) return false;
        QueueDue(device, nowNs);
        if (device.Queue.empty()) {
            *nextDueNs = NextQueuedNs(device);
            return false;
        }
        const QueuedReport& first = device.Queue.front();
        next->IsReply = first.Bytes[0] == SubcommandReplyId || first.Bytes[0] == UsbReplyId;
        next->Slot = first.Number;
        next->Bytes = first.Bytes;
        return true;
    }
    if (!device.PendingReplies.empty()) {
        next->IsReply = true;
        next->Slot = -1;
        next->Bytes = device.PendingReplies.front();
        return true;
    }
    if (device.DeviceMode == Mode::Silent) return false;

    long long period = 0;
    long long lastSlot = 0;
    if (device.InputMode == FullModeReportId) {
        period = FullReportPeriodNs;
        lastSlot = device.LastFullSlot;
    } else if (device.InputMode == SimpleModeReportId) {
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
    next->Bytes = StreamedReport(device, current);
    return true;
}

void MarkDelivered(DeviceState& device, const NextReport& next)
{
    if (device.Strict) {
        if (!device.Queue.empty() && device.Queue.front().Number == next.Slot) device.Queue.pop_front();
        return;
    }
    if (next.IsReply) {
        if (!device.PendingReplies.empty()) device.PendingReplies.pop_front();
    } else if (next.Bytes[0] == FullModeReportId) {
        device.LastFullSlot = next.Slot;
    } else {
        device.LastSimpleSlot = next.Slot;
    }
}

}  // namespace vj
