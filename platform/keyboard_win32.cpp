// The console keyboard of the C runtime; the console needs no mode change for it.
#include "platform/keyboard.h"

#include <conio.h>

void BeginKeyReading() {}

void EndKeyReading() {}

bool IsKeyWaiting() { return _kbhit() != 0; }

int ReadKey() { return _getch(); }
