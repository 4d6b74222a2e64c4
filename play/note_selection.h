// Chooses the notes of a MIDI song that play: by track and channel, transposed, at a tempo.
#pragma once

#include "play/midi_reader.h"

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
    long long LengthUs = 0;
    int LeftOut = 0;            // notes of tracks or channels not chosen
};

// Whether the notes of track (from 0) and channel (from 0) play.
bool IsChosen(const NoteChoice& choice, int track, int channel);

ChosenNotes ChooseNotes(const midi_file::MidiSong& song, const NoteChoice& choice);
