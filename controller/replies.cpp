#include "controller/replies.h"

#include "common/time_units.h"
#include "controller/pacing.h"
#include "platform/clock.h"
#include "controller/protocol.h"

namespace {

// The battery byte's high nibble: level 8 full, 6 medium, 4 low, 2 critical, 0 empty; its lowest
// bit is set while charging.
constexpr int BatteryNibbleShift = 4;
constexpr int ChargingBit = 0x1;
constexpr int HighestLowLevel = 4;

long long CountsFromMs(int ms) { return RescaleCount(ms, MillisecondsPerSecond, ReadCounterFrequency()); }

bool TellsInputMode(unsigned char id)
{
    return id == FullModeReportId || id == NfcIrModeReportId || id == SimpleModeReportId;
}

bool HasBatteryByte(unsigned char id)
{
    return id == SubcommandReplyId || id == FullModeReportId || id == NfcIrModeReportId;
}

// Reads one report, waiting no later than deadline (a counter reading). True with the report in
// the link's input buffer, noted.
bool ReadBefore(ControllerConnection& connection, long long deadline)
{
    const long long left = deadline - ReadCounter();
    const long long perMs = CountsFromMs(1);
    const int waitMs = left <= 0 ? 0 : static_cast<int>((left + perMs - 1) / perMs);
    ControllerLinkRecord& link = connection.Link;
    ReadReportWithin(link.Handle, link.InputReport, &link.ReadLength, waitMs);
    if (link.ReadLength == 0) return false;
    NoteInputReportOn(connection, link.InputReport);
    return true;
}

bool WriteUsbCommand(ControllerConnection& connection, unsigned char command)
{
    unsigned char report[OutputReportSize] = {UsbCommandReportId, command};
    WriteReport(connection.Link.Handle, report, &connection.Link.WriteLength);
    NoteReportWrittenOn(connection);
    return connection.Link.WriteLength >= 0;
}

bool AwaitUsbAnswer(ControllerConnection& connection, unsigned char command)
{
    const long long deadline = ReadCounter() + CountsFromMs(UsbReplyWaitMs);
    while (ReadCounter() < deadline) {
        const unsigned char* r = connection.Link.InputReport;
        if (ReadBefore(connection, deadline) && r[0] == UsbReplyId && r[AnsweredCommandByte] == command) return true;
    }
    return false;
}

bool TryUsbCommand(ControllerConnection& connection, unsigned char command, int attempts)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        WaitForReportTurnOn(connection);
        TakeQueuedReportsOn(connection);
        if (!WriteUsbCommand(connection, command)) return false;
        if (AwaitUsbAnswer(connection, command)) return true;
    }
    return false;
}

}  // namespace

void NoteInputReportOn(ControllerConnection& connection, const unsigned char* report)
{
    const unsigned char id = report[0];
    if (!connection.InputModeSet && connection.FoundInputMode == 0 && TellsInputMode(id)) connection.FoundInputMode = id;
    if (HasBatteryByte(id)) {
        const int nibble = report[BatteryByte] >> BatteryNibbleShift;
        if ((nibble & ChargingBit) == 0 && nibble <= HighestLowLevel) connection.BatteryLow = true;
    }
}

void TakeQueuedReportsOn(ControllerConnection& connection)
{
    ControllerLinkRecord& link = connection.Link;
    for (int taken = 0; taken < MostQueuedReports; ++taken) {
        ReadReportWithin(link.Handle, link.InputReport, &link.ReadLength, 0);
        if (link.ReadLength == 0) return;
        NoteInputReportOn(connection, link.InputReport);
    }
}

void WatchForInputModeOn(ControllerConnection& connection, int waitMs)
{
    const long long deadline = ReadCounter() + CountsFromMs(waitMs);
    while (connection.FoundInputMode == 0 && ReadCounter() < deadline) ReadBefore(connection, deadline);
}

SubcommandAnswer SendAcknowledgedSubcommandOn(ControllerConnection& connection, unsigned char id,
                                              unsigned char argument)
{
    SubcommandAnswer answer = SubcommandAnswer::NoAnswer;
    ControllerLinkRecord& link = connection.Link;
    for (int attempt = 0; attempt < SubcommandAttempts; ++attempt) {
        WaitForReportTurnOn(connection);
        TakeQueuedReportsOn(connection);
        // From here on the controller's reports follow the mode this program chose.
        if (id == SubcommandSetInputReportMode) connection.InputModeSet = true;
        WriteSubcommandOn(link, id, argument, NeutralRumble, NeutralRumble);
        NoteReportWrittenOn(connection);
        if (link.WriteLength < 0) return SubcommandAnswer::WriteFailed;
        answer = SubcommandAnswer::NoAnswer;
        const long long deadline = ReadCounter() + CountsFromMs(SubcommandReplyWaitMs);
        while (answer == SubcommandAnswer::NoAnswer && ReadCounter() < deadline) {
            const unsigned char* r = link.InputReport;
            if (!ReadBefore(connection, deadline) || r[0] != SubcommandReplyId || r[RepliedIdByte] != id) continue;
            if ((r[ReplyAckByte] & SubcommandAckBit) != 0) return SubcommandAnswer::Acknowledged;
            answer = SubcommandAnswer::Refused;
        }
    }
    return answer;
}

bool SendUsbCommandOn(ControllerConnection& connection, unsigned char command, bool awaitAnswer)
{
    if (!awaitAnswer) {
        WaitForReportTurnOn(connection);
        return WriteUsbCommand(connection, command);
    }
    return TryUsbCommand(connection, command, UsbAttempts);
}

bool ProbeUsbOn(ControllerConnection& connection) { return TryUsbCommand(connection, UsbHandshake, 1); }
