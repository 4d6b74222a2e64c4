// tavrel-play's exit statuses, the same for files and for live input (an interrupt ends with
// InterruptedExitStatus, platform/interrupt.h).
#pragma once

constexpr int ExitPlayed = 0;
constexpr int ExitNoController = 1;
constexpr int ExitBadInput = 2;
constexpr int ExitControllerLost = 3;
