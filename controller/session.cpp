#include "controller/session.h"

#include "controller/pacing.h"
#include "controller/replies.h"
#include "platform/interrupt.h"

namespace {

constexpr unsigned char VibrationOn = 1;
constexpr unsigned char VibrationOff = 0;

}  // namespace

void SetUpControllerOn(ControllerLinkRecord& link, unsigned char lamps)
{
    if (!IsInterruptRequested()) SendSubcommandOn(link, SubcommandSetInputReportMode, InputModeSimpleHid);
    if (!IsInterruptRequested()) SendSubcommandOn(link, SubcommandSetPlayerLights, lamps);
    if (!IsInterruptRequested()) SendSubcommandOn(link, SubcommandEnableVibration, VibrationOn);
}

void RestoreControllerOn(ControllerLinkRecord& link)
{
    SendRumbleBlocksOn(link, SilenceRumble, SilenceRumble);
    SendSubcommandOn(link, SubcommandEnableVibration, VibrationOff);
    SendSubcommandOn(link, SubcommandSetPlayerLights, LampsOff);
    SendSubcommandOn(link, SubcommandSetInputReportMode, InputModeSimpleHid);
}

namespace {

// The steps of the USB handshake that are answered; 0x80 0x04 follows them unanswered.
constexpr unsigned char AnsweredUsbSteps[] = {UsbHandshake, UsbHighSpeed, UsbHandshake};

SetUpOutcome ShakeHandsOverUsb(ControllerConnection& connection, int firstStep)
{
    for (int step = firstStep; step < static_cast<int>(sizeof AnsweredUsbSteps); ++step) {
        if (IsInterruptRequested()) return SetUpOutcome::Interrupted;
        if (!SendUsbCommandOn(connection, AnsweredUsbSteps[step], true))
            return connection.Link.WriteLength < 0 ? SetUpOutcome::ControllerLost : SetUpOutcome::HandshakeFailed;
    }
    if (!SendUsbCommandOn(connection, UsbNoTimeout, false)) return SetUpOutcome::ControllerLost;
    return SetUpOutcome::Ready;
}

}  // namespace

SetUpOutcome ConnectControllerOn(ControllerConnection& connection)
{
    connection.Bus = ReadHidBus(connection.Link.Handle);
    WatchForInputModeOn(connection, InputModeWatchMs);
    int firstStep = 0;
    if (connection.Bus == HidBus::Unknown && ProbeUsbOn(connection)) {
        connection.Bus = HidBus::Usb;
        firstStep = 1;  // the probe was the first handshake
    }
    if (connection.Bus == HidBus::Usb) {
        const SetUpOutcome shaken = ShakeHandsOverUsb(connection, firstStep);
        if (shaken != SetUpOutcome::Ready) return shaken;
        // A controller that streamed nothing before the handshake may do so now.
        WatchForInputModeOn(connection, InputModeWatchMs);
    }
    return IsInterruptRequested() ? SetUpOutcome::Interrupted : SetUpOutcome::Ready;
}

unsigned char InputModeToRestore(const ControllerConnection& connection)
{
    return connection.FoundInputMode != 0 ? connection.FoundInputMode : InputModeSimpleHid;
}

SetUpOutcome SetUpConnectionOn(ControllerConnection& connection, unsigned char lamps)
{
    const SetUpOutcome connected = ConnectControllerOn(connection);
    if (connected != SetUpOutcome::Ready) return connected;
    // The simple mode streams least while playing; the mode and the lamps are not needed to play.
    if (SendAcknowledgedSubcommandOn(connection, SubcommandSetInputReportMode, InputModeSimpleHid) ==
        SubcommandAnswer::WriteFailed)
        return SetUpOutcome::ControllerLost;
    if (IsInterruptRequested()) return SetUpOutcome::Interrupted;
    if (SendAcknowledgedSubcommandOn(connection, SubcommandSetPlayerLights, lamps) == SubcommandAnswer::WriteFailed)
        return SetUpOutcome::ControllerLost;
    if (IsInterruptRequested()) return SetUpOutcome::Interrupted;
    switch (SendAcknowledgedSubcommandOn(connection, SubcommandEnableVibration, VibrationOn)) {
    case SubcommandAnswer::Acknowledged: return SetUpOutcome::Ready;
    case SubcommandAnswer::WriteFailed: return SetUpOutcome::ControllerLost;
    case SubcommandAnswer::Refused:
    case SubcommandAnswer::NoAnswer: break;
    }
    return SetUpOutcome::VibrationRefused;
}

void RestoreConnectionOn(ControllerConnection& connection)
{
    WaitForReportTurnOn(connection);
    SendRumbleBlocksOn(connection.Link, SilenceRumble, SilenceRumble);
    NoteReportWrittenOn(connection);
    SendAcknowledgedSubcommandOn(connection, SubcommandEnableVibration, VibrationOff);
    SendAcknowledgedSubcommandOn(connection, SubcommandSetPlayerLights, LampsOff);
    SendAcknowledgedSubcommandOn(connection, SubcommandSetInputReportMode, InputModeToRestore(connection));
}
