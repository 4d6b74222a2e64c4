// The whole run of tavrel-monitor: open the controller, switch on full reports and the motion
// sensors (each subcommand acknowledged), poll and print until Esc, then switch the sensors off,
// give back the input mode the controller was found in and close.
#pragma once

constexpr int MonitorExitStatusDone = 0;
constexpr int MonitorExitStatusNoController = 1;

// Returns the process exit status: 0 after Esc, 1 when no controller opened, 130 when an
// interrupt ended the run (the controller is restored and closed all the same).
int RunMonitor();
