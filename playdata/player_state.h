// The player's settings that play-data commands change.
#pragma once

struct PlayerStateRecord {
    int UnitMs;         // milliseconds per length unit, at least 1
    int DefaultLength;  // units of a note or rest that gives no length, 1 to 16
    int Octave;         // octave of the note letters, 1 to 5
};

extern PlayerStateRecord PlayerState;

// Puts the settings back to their values at program start.
void ResetPlayerState();
