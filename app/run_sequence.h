// The whole run: open the controller, set it up, play the tune, restore it, close it.
#pragma once

constexpr int ExitStatusPlayed = 0;
constexpr int ExitStatusNoController = 1;

// Returns the process exit status: 0 after the tune, 1 when no controller opened, 130 when
// an interrupt stopped the run (the controller is restored and closed all the same).
int RunTavrel();
