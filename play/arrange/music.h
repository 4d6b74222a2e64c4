// Music ready to plan: what a file held, arranged as the choices ask, and checked to play. The
// file's music is one of four kinds, each with its own part of the record.
#pragma once

#include "controller/protocol.h"
#include "play/arrange/note_selection.h"
#include "play/arrange/piece.h"
#include "play/arrange/rumble_parts.h"
#include "play/readers/music_file.h"
#include "play/sound/sound_rumble.h"

#include <functional>
#include <string>
#include <vector>

enum class MusicKind { Tune, Midi, RumbleFiles, Sound };

// What a listener chose, for any kind of music (the MIDI choices are refused for the others
// before this is used).
struct PlayChoices {
    std::vector<std::string> Tracks;  // MIDI: as given: numbers, ranges, names
    NoteChoice Choice;                // MIDI: channels, transpose, tempo (Tracks resolve into it)
    int VolumePercent = 100;
    long long StartUs = 0;            // begin partway
    int Loops = 1;                    // times to play; 0 until interrupted
    NoteShape Shape;                  // of notes (tunes and MIDI)
    SoundChannel Channel = SoundChannel::Mix;  // of a sound, for controllers of one actuator
    long long MinIntervalUs = ControllerReportPeriodUs;  // least time between two reports to a controller
};

struct Music {
    MusicKind Kind = MusicKind::Tune;
    Piece TextPiece;           // Tune
    midi_file::MidiSong Song;  // Midi
    NoteChoice Choice;         // Midi: the choices' own, its tracks resolved in the song
    ChosenNotes Chosen;        // Midi
    RumbleParts Parts;         // RumbleFiles and Sound
    SoundRumble Sound;         // Sound: what the analysis found (its streams moved into Parts)
    int Passes = 1;            // of the whole; 0 until interrupted
};

// Whether the music plays as a stream of 5 ms samples read from a file (rumble files, sound).
inline bool IsStreamed(const Music& music) { return music.Kind == MusicKind::RumbleFiles || music.Kind == MusicKind::Sound; }

// Arranges what a file held: a tune's voices into a piece at the volume, a song's chosen notes,
// a rumble file on both sides. False with error naming the file.
bool ArrangeMusic(MusicFile file, const std::string& name, const PlayChoices& choices, Music* music, MusicError* error);

// Analyses a sound as it comes into the streams of Parts: a stereo file's sides for a Pro
// Controller's two actuators, the mix (or the channel chosen) for a controller of one. progress
// gets the share read. False with error naming the file.
bool ArrangeSound(SoundSource& source, const std::string& name, const PlayChoices& choices,
                  const std::function<void(double share)>& progress, Music* music, MusicError* error);

// Puts a rumble file on one side (the left or right actuators) beside what plays on the other.
void PutRumbleFileOnSide(RumbleStream stream, const std::string& name, RumbleSide side, Music* music);

// The music's length, before --start and loops.
long long MusicLengthUs(const Music& music);

// Sets the passes, and makes the streams as they play from the start with their loops. False
// with error where that would last too long. The start must be before the end.
bool PrepareMusic(const PlayChoices& choices, Music* music, MusicError* error);
