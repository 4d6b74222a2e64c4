// Puts everything the monitor's tests share back to its state at program start.
#pragma once

#include "controller/link.h"
#include "monitor/input_report.h"
#include "platform/interrupt.h"
#include "tests/support/core_state_reset.h"
#include "tests/support/fake_hid.h"
#include "tests/support/test_clock.h"

inline void ResetMonitorTestState()
{
    fake_hid::Reset();
    test_clock::Reset();
    ResetControllerLink();
    ResetControllerState();
    ClearInterruptRequest();
}
