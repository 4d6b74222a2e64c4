#include "app/run_sequence.h"

#include "app/tune.h"
#include "controller/link.h"
#include "platform/interrupt.h"
#include "platform/message_box.h"

#include <cstdio>

namespace {

constexpr unsigned char LampsPlaying = 0x01;
constexpr unsigned char LampsOff = 0x00;
constexpr unsigned char VibrationOn = 1;
constexpr unsigned char VibrationOff = 0;

const char Banner[] = "Tavrel ver 0.1 by Orvane.\n";
const char NotFoundText[] = "JoyCon not found.";

// Set-up steps stop at an interrupt; the tear-down always runs in full.
void SetUpController()
{
    if (!IsInterruptRequested()) SetInputReportMode(InputModeSimpleHid);
    if (!IsInterruptRequested()) SetPlayerLights(LampsPlaying);
    if (!IsInterruptRequested()) EnableVibration(VibrationOn);
}

void RestoreController()
{
    SendRumbleSilence();
    EnableVibration(VibrationOff);
    SetPlayerLights(LampsOff);
    SetInputReportMode(InputModeSimpleHid);
}

}  // namespace

int RunTavrel()
{
    ControllerLink.Handle = OpenHidHandle(ControllerVendorId, ControllerProductId);
    if (ControllerLink.Handle == -1) {
        ShowMessageBox(NotFoundText);
        return ExitStatusNoController;
    }

    std::fputs(Banner, stdout);
    std::fflush(stdout);

    SetUpController();
    PlayTune();
    RestoreController();

    CloseHidHandle(ControllerLink.Handle);
    return IsInterruptRequested() ? InterruptedExitStatus : ExitStatusPlayed;
}
