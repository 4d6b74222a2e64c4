// Interpreter of one play-data command string.
#pragma once

// Echoes text, then changes the player state or plays one note or rest. Returns when the
// command's effect is complete. text is a NUL-terminated string; any bytes are accepted.
void PlayCommand(const char* text);
