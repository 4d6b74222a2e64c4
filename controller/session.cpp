#include "controller/session.h"

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
