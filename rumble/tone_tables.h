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
// Whether a band's frequency codes reach a note (the high band from about 82 Hz, the low band
// up to about 626 Hz).
extern bool HighBandReaches[NoteCount];
extern bool LowBandReaches[NoteCount];

// The four bytes of one rumble block: high band code and amplitude, low band code and amplitude.
struct RumbleBytes {
    unsigned char Bytes[4];
};

// Fills HighFrequencyCodes, LowFrequencyCodes and the band reach tables from ToneFrequencies.
void BuildToneTables();

// Rumble bytes of note (0-59) at high band level highLevel and low band level lowLevel (0-10).
RumbleBytes FormRumbleBytes(int note, int highLevel, int lowLevel);

// Rumble bytes of two notes at once: highNote on the high band at highLevel, lowNote on the low
// band at lowLevel. A band whose note is RestNote, or outside the band's reach, stays silent
// with the silence report's bytes for that band, so two rests give the silence report.
RumbleBytes FormBandRumbleBytes(int highNote, int highLevel, int lowNote, int lowLevel);

// Frequency codes come 32 to an octave.
constexpr double CodeStepsPerOctave = 32.0;
constexpr double CodeStepsPerSemitone = CodeStepsPerOctave / 12.0;

// FormBandRumbleBytes with each sounding band's frequency code moved by highSteps and lowSteps
// codes (a bent pitch), held within the codes the band can make.
RumbleBytes FormBentRumbleBytes(int highNote, int highLevel, int highSteps, int lowNote, int lowLevel, int lowSteps);
