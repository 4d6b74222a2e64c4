// Reads a Standard MIDI File (format 0 or 1, ticks per quarter note) into timed notes, with
// every size bounded so that no file can make it crash, hang or allocate without limit.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace midi_file {

constexpr std::size_t MaxFileBytes = 16 * 1024 * 1024;   // larger files are refused
constexpr std::size_t MaxNotes = 1000000;                 // more notes are refused
constexpr std::size_t MaxModulations = 1000000;           // and more modulation settings
constexpr long long MaxLengthUs = 24LL * 3600 * 1000000;  // a song longer than a day is refused
constexpr int PercussionChannel = 9;                      // channel 10 as people count, from 0

struct MidiNote {
    long long StartUs;   // from the start of the song, after the tempo map
    long long EndUs;     // >= StartUs
    int Key;             // 0-127
    int Velocity;        // 1-127, of the note-on
    int Channel;         // 0-15
    int Track;           // 0-based index of the MTrk chunk it came from
};

// A modulation wheel setting (controller 1): how much vibrato the channel asks for from then on.
struct MidiModulation {
    long long AtUs;
    int Value;    // 0 (none) to 127
    int Channel;
    int Track;
};

struct MidiSong {
    int Format;                  // 0 or 1
    int TrackCount;              // MTrk chunks read
    int TicksPerQuarter;
    int TempoChanges;            // set-tempo meta events seen (all tracks)
    long long LengthUs;          // time of the last event of any track (end of track included)
    std::vector<MidiNote> Notes; // sorted by StartUs, then Key, then Channel, then Track
    std::vector<MidiModulation> Modulation;  // sorted by AtUs
    std::vector<std::string> TrackNames; // one per track; the first track-name meta text, or ""
};

struct MidiError {
    std::size_t Offset;   // byte offset in the file where the fault is
    std::string Message;  // lower case, without the offset
};

// True when the bytes start with the "MThd" chunk type.
bool LooksLikeMidi(const std::string& bytes);

// Reads the whole file. True with song filled, or false with error set at the first fault.
// song is left untouched on failure.
bool ReadMidiFile(const std::string& bytes, MidiSong* song, MidiError* error);

}  // namespace midi_file
