// Puts the core's process-wide records back to their state at program start, for tests and
// fuzz targets that run many cases in one process. The program itself never resets them.
// Inline, so that a target pulls in only the records it resets.
#pragma once

#include "controller/link.h"
#include "monitor/input_report.h"
#include "playdata/player_state.h"

#include <cstring>
#include <initializer_list>

// No device, zero buffers and packet counter.
inline void ResetControllerLink()
{
    ControllerLink.Handle = -1;
    std::memset(ControllerLink.OutputReport, 0, sizeof ControllerLink.OutputReport);
    std::memset(ControllerLink.InputReport, 0, sizeof ControllerLink.InputReport);
    ControllerLink.ReadLength = 0;
    ControllerLink.WriteLength = 0;
    ControllerLink.PacketCounter = 0;
}

// The player's settings at program start.
inline void ResetPlayerState() { PlayerState = PlayerStateRecord{InitialUnitMs, InitialDefaultLength, InitialOctave}; }

// Every decoded value zero.
inline void ResetControllerState()
{
    for (auto* field : {&ControllerState.ReportSeen, &ControllerState.Buttons1, &ControllerState.Buttons2})
        field->store(0);
    for (auto* field : {&ControllerState.Stick1, &ControllerState.Stick2, &ControllerState.Acc1, &ControllerState.Acc2,
                        &ControllerState.Acc3, &ControllerState.Gyr1, &ControllerState.Gyr2, &ControllerState.Gyr3})
        field->store(0);
}
