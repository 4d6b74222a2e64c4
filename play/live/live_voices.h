// Gives notes to the bands of every controller as they come: each note-on is placed when it
// arrives, each note-off frees its band at once. The rules are those of MIDI files (upper notes
// to high bands, lower to low bands, spread over the controllers, moved by octaves into a band's
// reach, idle actuators doubling), with what live input adds: the sustain pedal, pitch bend,
// channel volume, and, when every band is taken, the oldest note giving way.
#pragma once

#include "common/midi_bytes.h"
#include "play/live/midi_stream.h"
#include "rumble/tone_tables.h"

#include <vector>

constexpr int DefaultBendRangeSemitones = 2;
constexpr int MaxBendRangeSemitones = 24;
constexpr int DefaultChannelVolume = 100;  // a MIDI channel's volume until controller 7 says otherwise

struct LiveBand {
    int Controller;
    int Actuator;       // 0 (left), 1 (right; Pro Controller only)
    bool High;
    int Key = -1;       // the key it sounds, transposed; -1: free
    int Channel = 0;    // of the note that took the band: its pitch bend and volume apply
    int Note = RestNote;  // the note index played, moved by octaves into the band's reach
    int Velocity = 0;
    long long Age = 0;  // the note-on count when its note began: smaller is older
    int Doubles = -1;   // the band whose note it only doubles; -1: a note of its own
    int Recorded = -1;  // its entry in Played while recording
};

struct LiveChannel {
    bool PedalDown = false;
    int Bend = 0;       // -8192 to 8191
    int BendRangeSemitones = DefaultBendRangeSemitones;
    int Volume = DefaultChannelVolume;
    int ParameterMsb = 127;  // the registered parameter chosen (controllers 101 and 100); 127: none
    int ParameterLsb = 127;
};

// A key as the channel sees it: the band that sounds it and whether only the pedal holds it.
struct LiveKey {
    int Band = -1;
    bool Sustained = false;
};

// A note as it sounded on a band, or a pitch bend, for writing what was played.
struct PlayedEvent {
    long long StartUs;
    long long EndUs;    // -1 while it sounds; pitch bends: StartUs
    int Key;            // the key played (moved by octaves); -1: a pitch bend
    int Velocity;       // with the channel's volume in it; pitch bends: the bend value
    int Channel;
};

struct LiveCounts {
    long long Played = 0;    // notes that sounded on a band of their own
    long long Joined = 0;    // notes whose key already sounded
    long long Moved = 0;     // moved by octaves into a band's reach
    long long GaveWay = 0;   // notes cut short by a newer note when every band was taken
    long long Dropped = 0;   // notes no band reaches
    long long Ignored = 0;   // notes of channels not chosen
};

struct LiveVoices {
    std::vector<LiveBand> Bands;  // an actuator's high band, then its low band
    std::vector<int> Actuators;   // per controller
    LiveChannel Channels[MidiChannelCount];
    LiveKey Keys[MidiChannelCount][MidiKeyCount];
    bool ChannelPlays[MidiChannelCount];
    int Transpose = 0;
    int VolumePercent = 100;
    long long NoteOns = 0;
    LiveCounts Counts;
    bool Recording = false;
    std::vector<PlayedEvent> Played;
};

// Voices for controllers with the given number of actuators (1 or 2) each. channels: 1-16 to
// play, empty for every one but the percussion channel 10. The tone tables must be built.
void StartLiveVoices(LiveVoices& voices, const std::vector<int>& actuators, const std::vector<int>& channels,
                     int transpose, int volumePercent, int bendRangeSemitones, bool recording);

// Takes one message that arrived at atUs. True when what some band sounds may have changed.
bool TakeLiveMessage(LiveVoices& voices, const MidiMessage& message, long long atUs);

// Takes messages that arrived together, in order; notes among them that start one after the
// other start as a chord, placed as a file's notes that start together are: highest, lowest,
// next highest, ..., each counting the others in its place among the keys.
bool TakeLiveMessages(LiveVoices& voices, const std::vector<MidiMessage>& messages, long long atUs);

// Ends every note at atUs, pedal or not.
void SilenceLiveVoices(LiveVoices& voices, long long atUs);

// The rumble blocks controller c's actuators sound now: a Joy-Con's one actuator in both.
void FormLiveBlocks(const LiveVoices& voices, int controller, RumbleBytes* left, RumbleBytes* right);

// The level (0-10) and the frequency code steps of its pitch bend that band b sounds at now.
int LevelOfBand(const LiveVoices& voices, int band);
int BendStepsOfBand(const LiveVoices& voices, int band);
