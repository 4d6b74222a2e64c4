// Chooses the notes of a MIDI song that play: by track and channel, transposed, at a tempo.
#pragma once

#include "play/readers/midi_reader.h"
#include "play/arrange/piece.h"

#include <string>
#include <vector>

constexpr int MaxTransposeSemitones = 48;
constexpr int LowestTempoPercent = 10;
constexpr int HighestTempoPercent = 1000;

struct NoteChoice {
    std::vector<int> Tracks;    // from 1; empty: every track
    std::vector<int> Channels;  // 1-16; empty: every channel but the percussion channel
    int Transpose = 0;          // semitones
    int TempoPercent = 100;     // 200 plays twice as fast
};

struct ChosenNotes {
    std::vector<midi_file::MidiNote> Notes;  // in the song's order, keys transposed, times scaled
    long long LengthUs = 0;     // to the end of the last chosen note: the silence after it is not played
    long long FileLengthUs = 0; // to the file's last event, at the chosen tempo
    int LeftOut = 0;            // notes of tracks or channels not chosen
    std::vector<VibratoSetting> Vibrato;  // the chosen tracks' and channels' modulation wheel, times scaled
};

// The tracks that choices name, from 1: numbers ("3"), ranges ("2-5") and track names (matched
// without regard to case), each track once, in the file's order. False with error saying which
// choice names no track of the song, and what the song has.
bool ResolveTracks(const std::vector<std::string>& choices, const midi_file::MidiSong& song, std::vector<int>* tracks,
                   std::string* error);

// Where the song has notes: "track 2 (channels 1, 2), track 3 (channel 10)"; "" when nowhere.
std::string WhereNotesAre(const midi_file::MidiSong& song);

// Whether the notes of track (from 0) and channel (from 0) play.
bool IsChosen(const NoteChoice& choice, int track, int channel);

ChosenNotes ChooseNotes(const midi_file::MidiSong& song, const NoteChoice& choice);
