// Key reading for the console monitor.
#pragma once

// BeginKeyReading puts the terminal in a no-echo, unbuffered mode (POSIX; nothing to do on
// Windows) and EndKeyReading restores it; it is also restored when the process is interrupted.
// When standard input is not a terminal, its bytes are read as keys.
void BeginKeyReading();
void EndKeyReading();

// True when a key is waiting to be read.
bool IsKeyWaiting();

// Reads one waiting key without echo and returns its code.
int ReadKey();
