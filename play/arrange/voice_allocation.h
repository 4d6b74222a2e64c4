// Gives the notes of a MIDI song to the bands of every controller: each actuator has a high and
// a low band, a Joy-Con one actuator and a Pro Controller two.
#pragma once


#include "common/pitch_units.h"
#include "play/readers/midi_reader.h"
#include "play/arrange/piece.h"

#include <map>
#include <utility>
#include <vector>

constexpr int MidiKeyOfFirstNote = 33;  // NoteIndex 0, 55 Hz, is MIDI key 33 (A1)
constexpr int MaxMidiVelocity = 127;

// What one band plays.
struct BandUse {
    int Controller;  // from 0, in the order the controllers were given
    int Actuator;    // 0 (left), 1 (right; Pro Controller only)
    bool High;
    int Notes = 0;
    int Moved = 0;   // notes moved by octaves to where the band sounds them
    int Doubled = 0; // notes it doubled for an actuator that had nothing else to play
    std::map<std::pair<int, int>, int> NotesByVoice;  // (track, channel) -> notes
};

// What became of the notes of one track and channel.
struct VoiceTally {
    int Played = 0;  // sounded, on a band of their own or joined to their pitch already sounding
    int Joined = 0;  // of those: their pitch was already sounding, which they held on
    int Moved = 0;   // of those: moved by octaves into a band's reach
    int Cut = 0;     // of those: cut short, their band taken by the melody or the bass
    int Dropped = 0; // every band taken, or no band reaches them
};

struct Allocation {
    // Per controller, per actuator: a piece of two voices, the high band's and the low band's.
    std::vector<std::vector<Piece>> Parts;
    std::vector<BandUse> Bands;
    std::map<std::pair<int, int>, VoiceTally> ByVoice;  // (track, channel) -> tally
    int Dropped = 0;  // notes that found every band taken
    int Moved = 0;
    int Joined = 0;   // notes whose pitch was already sounding
    int Cut = 0;      // inner notes cut short by the melody or the bass
    int TooShort = 0; // notes of no length, which cannot sound
};

// The note index a band plays for a MIDI key, moved by octaves into the table and then to where
// the band sounds (its codes reach the note and its level table gives it a level); RestNote when
// no octave of it sounds. The tone tables must be built.
int NoteInReach(int key, bool high);

// Plays notes on controllers with the given number of actuators (1 or 2) each, for a song of
// lengthUs. A note whose key already sounds (a doubled line, a unison on another channel) holds
// that band on until it ends too, so that the bands go to different notes. Any other note goes to
// a free band: to a high band when it is in the upper half of the keys sounding with it, else to
// a low band, else to the other kind; among bands of a kind, to the controller with the fewest
// bands sounding. A band keeps its note until the note ends, unless every band is taken when
// a note above or below all the others starts: the melody or the bass then takes the band of
// an inner voice, which is cut short. An actuator with nothing to play
// doubles the note starting (notes starting together are served the highest first, so the
// melody is doubled first); a doubled note gives its band up to any note that needs it. The
// note's level is the band's table level for it, scaled by the velocity and volumePercent.
// The tone tables must be built.
Allocation AllocateVoices(const std::vector<midi_file::MidiNote>& notes, const std::vector<int>& actuators,
                          long long lengthUs, int volumePercent);
