#include "monitor/monitor_run.h"

#include "controller/link.h"
#include "monitor/monitor_loop.h"
#include "monitor/poll_thread_control.h"
#include "platform/interrupt.h"
#include "platform/keyboard.h"
#include "platform/console_message.h"

#include <cstdio>

namespace {

constexpr unsigned char ImuOn = 1;
constexpr unsigned char ImuOff = 0;

const char Banner[] = "Tavrel monitor ver 0.1. Press Esc to quit.\n";
const char NoInputText[] = "No input reports are arriving.\n";
const char NotFoundText[] = "JoyCon not found.";

void PrintLine(const char* text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

}  // namespace

int RunMonitor()
{
    ControllerLink.Handle = OpenHidHandle(ControllerVendorId, ControllerProductId);
    if (ControllerLink.Handle == -1) {
        ShowConsoleMessage(NotFoundText);
        return MonitorExitStatusNoController;
    }
    PrintLine(Banner);

    // Subcommands read their answer through the same buffer as the polling thread, so they
    // are sent only while it is stopped.
    SetInputReportMode(InputModeFullStandard);
    EnableImu(ImuOn);
    StartPollThread();
    // An interrupt cuts the check short; that says nothing about the controller.
    if (CheckInputAlive() == 0 && !IsInterruptRequested()) PrintLine(NoInputText);

    BeginKeyReading();
    MonitorLoop();
    EndKeyReading();

    StopPollThread();
    EnableImu(ImuOff);
    SetInputReportMode(InputModeSimpleHid);
    CloseHidHandle(ControllerLink.Handle);
    return IsInterruptRequested() ? InterruptedExitStatus : MonitorExitStatusDone;
}
