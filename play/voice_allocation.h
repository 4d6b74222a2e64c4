// Gives the notes of a MIDI song to the bands of every controller: each actuator has a high and
// a low band, a Joy-Con one actuator and a Pro Controller two.
#pragma once

#include "play/midi_reader.h"
#include "play/piece.h"

#include <map>
#include <utility>
#include <vector>

constexpr int MidiKeyOfFirstNote = 33;  // NoteIndex 0, 55 Hz, is MIDI key 33 (A1)
constexpr int MaxMidiVelocity = 127;
constexpr int SemitonesPerOctave = 12;

// What one band plays.
struct BandUse {
    int Controller;  // from 0, in the order the controllers were given
    int Actuator;    // 0 (left), 1 (right; Pro Controller only)
    bool High;
    int Notes = 0;
    int Moved = 0;   // notes moved by octaves to where the band sounds them
    std::map<std::pair<int, int>, int> NotesByVoice;  // (track, channel) -> notes
};

struct Allocation {
    // Per controller, per actuator: a piece of two voices, the high band's and the low band's.
    std::vector<std::vector<Piece>> Parts;
    std::vector<BandUse> Bands;
    int Dropped = 0;  // notes that found every band taken
    int Moved = 0;
    int TooShort = 0; // notes of no length, which cannot sound
};

// Plays notes on controllers with the given number of actuators (1 or 2) each, for a song of
// lengthUs. A note goes to a free band: to a high band when it is in the upper half of the notes
// sounding with it, else to a low band, else to the other kind; among bands of a kind, to the
// controller with the fewest bands sounding. A band keeps its note until the note ends. The
// note's level is the band's table level for it, scaled by the velocity and volumePercent.
// The tone tables must be built.
Allocation AllocateVoices(const std::vector<midi_file::MidiNote>& notes, const std::vector<int>& actuators,
                          long long lengthUs, int volumePercent);
