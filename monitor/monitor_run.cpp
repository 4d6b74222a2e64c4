#include "monitor/monitor_run.h"

#include "controller/connection.h"
#include "controller/link.h"
#include "controller/replies.h"
#include "controller/session.h"
#include "monitor/monitor_loop.h"
#include "monitor/poll_thread_control.h"
#include "platform/interrupt.h"
#include "platform/keyboard.h"
#include "platform/console_message.h"

#include <cstdio>

namespace {

constexpr unsigned char ImuOn = 1;
constexpr unsigned char ImuOff = 0;
// Subcommands keep the controller's own report period apart.
constexpr long long ReportIntervalUs = 15000;

const char Banner[] = "Tavrel monitor ver 0.1. Press Esc to quit.\n";
const char NoInputText[] = "No input reports are arriving.\n";
const char NotFoundText[] = "JoyCon not found.";

// The controller as its subcommands reach it: each acknowledged and tried again, the input mode
// it streamed in noted so that it is given back.
ControllerConnection Monitored;

void PrintLine(const char* text)
{
    std::fputs(text, stdout);
    std::fflush(stdout);
}

}  // namespace

int RunMonitor()
{
    const int handle = OpenHidHandle(ControllerVendorId, ControllerProductId);
    if (handle == -1) {
        ShowConsoleMessage(NotFoundText);
        return MonitorExitStatusNoController;
    }
    PrintLine(Banner);
    StartConnection(Monitored, handle, ReportIntervalUs);
    ConnectControllerOn(Monitored);
    // Subcommands read their answers through the link's own buffer, the polling thread through
    // the process-wide one, so they are sent only while it is stopped.
    SendAcknowledgedSubcommandOn(Monitored, SubcommandSetInputReportMode, InputModeFullStandard);
    SendAcknowledgedSubcommandOn(Monitored, SubcommandEnableImu, ImuOn);
    ControllerLink.Handle = handle;
    StartPollThread();
    // An interrupt cuts the check short; that says nothing about the controller.
    if (CheckInputAlive() == 0 && !IsInterruptRequested()) PrintLine(NoInputText);
    BeginKeyReading();
    MonitorLoop();
    EndKeyReading();
    StopPollThread();
    SendAcknowledgedSubcommandOn(Monitored, SubcommandEnableImu, ImuOff);
    SendAcknowledgedSubcommandOn(Monitored, SubcommandSetInputReportMode, InputModeToRestore(Monitored));
    CloseHidHandle(handle);
    return IsInterruptRequested() ? InterruptedExitStatus : MonitorExitStatusDone;
}
