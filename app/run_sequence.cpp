#include "app/run_sequence.h"

#include "app/tune.h"
#include "controller/link.h"
#include "controller/session.h"
#include "platform/interrupt.h"
#include "platform/message_box.h"

#include <cstdio>

namespace {

const char Banner[] = "Tavrel ver 0.1 by Orvane.\n";

}  // namespace

int RunTavrel()
{
    ControllerLink.Handle = OpenHidHandle(ControllerVendorId, ControllerProductId);
    if (ControllerLink.Handle == -1) {
        ShowMessageBox(ControllerNotFoundText);
        return ExitStatusNoController;
    }

    std::fputs(Banner, stdout);
    std::fflush(stdout);

    SetUpControllerOn(ControllerLink, LampsPlaying);
    PlayTune();
    RestoreControllerOn(ControllerLink);

    CloseHidHandle(ControllerLink.Handle);
    return IsInterruptRequested() ? InterruptedExitStatus : ExitStatusPlayed;
}
