// Keeping a controller's output reports apart: a controller loses reports that come closer than
// its own report period, so every report to it, subcommands included, waits for its turn.
#pragma once

#include "controller/connection.h"

// value counted at from per second, counted at to per second, without overflow for any length a
// piece may have.
long long RescaleCount(long long value, long long from, long long to);

// Waits until the counter reaches target: sleeps until shortly before, then spins. With
// stopAtInterrupt it returns -1 as soon as an interrupt is requested. Returns the reading that
// reached the target.
long long WaitUntilCounter(long long target, bool stopAtInterrupt);

// The counter reading at which the connection's next output report may go out.
long long NextReportTurnOf(const ControllerConnection& connection);

// Waits until the next output report may go out (never stopped by an interrupt: the wait is
// one interval at most).
void WaitForReportTurnOn(const ControllerConnection& connection);

// Records that an output report has just been written: the interval counts from now, the end
// of the write, since a write held up in the system may have reached the controller only then.
void NoteReportWrittenOn(ControllerConnection& connection);
