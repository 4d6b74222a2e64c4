// The player's settings that play-data commands change.
#pragma once

#include "common/pitch_units.h"  // SemitonesPerOctave: note index steps per octave


struct PlayerStateRecord {
    int UnitMs;         // milliseconds per length unit, at least 1
    int DefaultLength;  // units of a note or rest that gives no length, 1 to 16
    int Octave;         // octave of the note letters, 1 to 5
};

// The bounds and fallback the commands keep the settings in.
constexpr int UnitMsFallback = 100;  // replaces a unit time of 0 or less
constexpr int MinDefaultLength = 1;
constexpr int MaxDefaultLength = 16;
constexpr int MinOctave = 1;
constexpr int MaxOctave = 5;

// The settings at program start.
constexpr int InitialUnitMs = 80;
constexpr int InitialDefaultLength = 4;
constexpr int InitialOctave = 4;

extern PlayerStateRecord PlayerState;
