#include "monitor/monitor_loop.h"

#include "monitor/input_report.h"
#include "platform/interrupt.h"
#include "platform/keyboard.h"
#include "rumble/delay.h"

#include <cstdio>

namespace {

constexpr int MonitorIntervalMs = 16;
constexpr int EscapeKey = 27;
constexpr int KeyCodeMask = 0xFF;

bool IsQuitKeyPressed()
{
    return IsKeyWaiting() && (ReadKey() & KeyCodeMask) == EscapeKey;
}

void PrintControllerState()
{
    std::printf("button=%02X,%02X , stick=%04X,%04X , Acc=%04X,%04X,%04X , Gyr=%04X,%04X,%04X\n",
                unsigned{ControllerState.Buttons1}, unsigned{ControllerState.Buttons2},
                unsigned{ControllerState.Stick1}, unsigned{ControllerState.Stick2},
                unsigned{ControllerState.Acc1}, unsigned{ControllerState.Acc2},
                unsigned{ControllerState.Acc3}, unsigned{ControllerState.Gyr1},
                unsigned{ControllerState.Gyr2}, unsigned{ControllerState.Gyr3});
    std::fflush(stdout);
}

}  // namespace

void MonitorLoop()
{
    for (;;) {
        // Ctrl-C ends the loop as Esc does, so that the caller still restores the controller.
        if (IsQuitKeyPressed() || IsInterruptRequested()) return;
        PrintControllerState();
        DelayMs(MonitorIntervalMs);
    }
}
