// The console monitor: one line of decoded input values, then a 16 ms wait, until Esc.
#pragma once

// Prints what the polling thread last decoded, line after line, until Esc is pressed or an
// interrupt is requested. Keys are read through platform/keyboard.h, at most one per line;
// keys other than Esc are consumed and ignored. Reads no reports itself.
void MonitorLoop();
