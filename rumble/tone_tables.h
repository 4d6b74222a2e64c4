// Note frequencies, the rumble frequency and amplitude codes derived from them, and the
// loudness level of every note.
#pragma once

constexpr int NoteCount = 60;   // NoteIndex 0 (55 Hz) to 59, one semitone a step
constexpr int RestNote = -1;    // NoteIndex of a rest
constexpr int LevelCount = 11;  // loudness levels 0 to 10

extern const double ToneFrequencies[NoteCount];
extern int HighFrequencyCodes[NoteCount];
extern int LowFrequencyCodes[NoteCount];
extern const unsigned char HighAmplitudeCodes[LevelCount];
extern const unsigned char LowAmplitudeCodes[LevelCount];
extern const int HighLevelByNote[NoteCount];
extern const int LowLevelByNote[NoteCount];

// The four bytes of one rumble block: high band code and amplitude, low band code and amplitude.
struct RumbleBytes {
    unsigned char Bytes[4];
};

// Fills HighFrequencyCodes and LowFrequencyCodes from ToneFrequencies.
void BuildToneTables();

// Rumble bytes of note (0-59) at high band level highLevel and low band level lowLevel (0-10).
RumbleBytes FormRumbleBytes(int note, int highLevel, int lowLevel);
