// Puts everything the monitor's tests share back to its state at program start.
#pragma once

#include "controller/link.h"
#include "monitor/input_report.h"
#include "platform/interrupt.h"
#include "tests/fake_hid.h"

inline void ResetMonitorTestState()
{
    fake_hid::Reset();
    ResetControllerLink();
    ResetControllerState();
    ClearInterruptRequest();
}
