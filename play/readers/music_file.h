// The one place that tells what a file's bytes hold and reads them: a tune in the play-data
// language, a Standard MIDI File (also wrapped in RIFF), or a rumble file (.bnvib, .jcvib). Sound
// is told by its first bytes alone (LooksLikeSound), since it is read as it comes.
#pragma once

#include "play/readers/midi_reader.h"
#include "play/readers/music_error.h"
#include "play/readers/rumble_stream.h"
#include "play/readers/text_reader.h"

#include <cstddef>
#include <string>
#include <vector>

enum class MusicFormat { Tune, Midi, RumbleFile, NotMusic };

// A file's bytes made ready to read: RIFF MIDI unwrapped to the MIDI it holds.
struct MusicBytes {
    std::string Bytes;
    std::size_t Offset = 0;  // of Bytes in the file, so that errors name the file's own bytes
    MusicFormat Format = MusicFormat::Tune;
};

// What a file held, read and checked.
struct MusicFile {
    MusicFormat Format = MusicFormat::Tune;
    std::vector<tune_text::Voice> Voices;  // a tune
    midi_file::MidiSong Song;              // MIDI
    RumbleStream Stream;                   // a rumble file
};

// Tells the format of a file's bytes (moved into *music), unwrapping RIFF MIDI. False with error
// where a RIFF file holds no MIDI. A file of control bytes that no text has is NotMusic.
bool TellMusicFormat(std::string bytes, const std::string& name, MusicBytes* music, MusicError* error);

// Reads what TellMusicFormat told. False with error naming the file and, where there is one,
// the byte at fault: "name: byte N: why", "name:line:column: why".
bool ReadMusicFile(const MusicBytes& music, const std::string& name, MusicFile* file, MusicError* error);

// "name:line:column: why", a tune's fault as every reader of tunes says it.
std::string TuneFaultText(const std::string& name, const tune_text::TextError& fault);

// "name: not a MIDI file and not a tune", said about the run.
bool RefuseNotMusic(const std::string& name, MusicError* error);

// True when the bytes are a rumble file's (.bnvib, .jcvib).
bool LooksLikeRumbleFile(const std::string& bytes);

// Reads a rumble file; false with "name: byte N: why", or that it has nothing to play.
bool ReadRumbleFile(const std::string& bytes, const std::string& name, RumbleStream* stream, MusicError* error);

// Whether bytes hold control bytes that no text has (NUL, and the others but tab, line feed,
// vertical tab, form feed and carriage return): an image or a program, not a tune.
bool LooksLikeBinary(const std::string& bytes);
