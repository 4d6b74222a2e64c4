#include "play/live/live_voices.h"

#include "common/midi_bytes.h"
#include "play/arrange/voice_allocation.h"
#include "play/arrange/voice_builder.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int ChannelVolumeController = 7;
constexpr int DataEntryController = 6;
constexpr int SustainController = 64;
constexpr int SustainDownFrom = 64;
constexpr int AllSoundOffController = 120;
constexpr int AllNotesOffController = 123;
constexpr int ParameterLsbController = 100;
constexpr int ParameterMsbController = 101;
constexpr int BendRangeParameter = 0;  // registered parameter 0/0: pitch bend sensitivity

// Ends what band b sounds: its keys no longer sound, the bands that double it fall silent.
void FreeBand(LiveVoices& voices, int b, long long atUs)
{
    LiveBand& band = voices.Bands[static_cast<std::size_t>(b)];
    if (band.Doubles < 0) {
        for (auto& channel : voices.Keys)
            for (LiveKey& key : channel)
                if (key.Band == b) key = LiveKey{};
        for (std::size_t d = 0; d < voices.Bands.size(); ++d)
            if (voices.Bands[d].Doubles == b) FreeBand(voices, static_cast<int>(d), atUs);
    }
    if (band.Recorded >= 0) voices.Played[static_cast<std::size_t>(band.Recorded)].EndUs = atUs;
    band.Key = -1;
    band.Note = RestNote;
    band.Doubles = -1;
    band.Recorded = -1;
}

// Whether a key (of any channel) still holds band b, down or sustained.
bool IsHeld(const LiveVoices& voices, int b)
{
    for (const auto& channel : voices.Keys)
        for (const LiveKey& key : channel)
            if (key.Band == b) return true;
    return false;
}

// A key lets go of its band; the band stops when no key holds it any more.
void ReleaseKey(LiveVoices& voices, LiveKey& key, long long atUs)
{
    const int b = key.Band;
    key = LiveKey{};
    if (b >= 0 && !IsHeld(voices, b)) FreeBand(voices, b, atUs);
}

void EndKey(LiveVoices& voices, int channel, int key, long long atUs)
{
    LiveKey& held = voices.Keys[channel][key];
    if (held.Band < 0) return;
    if (voices.Channels[channel].PedalDown)
        held.Sustained = true;
    else
        ReleaseKey(voices, held, atUs);
}

int BusyBandsOf(const LiveVoices& voices, int controller)
{
    int busy = 0;
    for (const LiveBand& band : voices.Bands) busy += band.Controller == controller && band.Key >= 0 && band.Doubles < 0;
    return busy;
}

// A free band of the kind asked for (the controller with the fewest bands sounding first), else
// one that only doubles; -1 when every band of the kind plays a note of its own.
int FindBand(const LiveVoices& voices, bool high)
{
    for (const bool doubling : {false, true}) {
        int chosen = -1;
        int chosenBusy = 0;
        for (std::size_t b = 0; b < voices.Bands.size(); ++b) {
            const LiveBand& band = voices.Bands[b];
            if (band.High != high || (doubling ? band.Doubles < 0 : band.Key >= 0)) continue;
            const int busy = BusyBandsOf(voices, band.Controller);
            if (chosen < 0 || busy < chosenBusy) {
                chosen = static_cast<int>(b);
                chosenBusy = busy;
            }
        }
        if (chosen >= 0) return chosen;
    }
    return -1;
}

// The band whose note gives way to a new one: of the kind asked for, a note only the pedal
// still holds before one whose key is down, the oldest first. The oldest note has sounded
// longest and is the one a player has most likely moved on from; the newest is what they play.
int FindBandToGiveWay(const LiveVoices& voices, bool high)
{
    int chosen = -1;
    bool chosenHeld = true;
    for (std::size_t b = 0; b < voices.Bands.size(); ++b) {
        const LiveBand& band = voices.Bands[b];
        if (band.High != high || band.Key < 0 || band.Doubles >= 0) continue;
        bool held = false;
        for (const auto& channel : voices.Keys)
            for (const LiveKey& key : channel) held = held || (key.Band == static_cast<int>(b) && !key.Sustained);
        const LiveBand* best = chosen < 0 ? nullptr : &voices.Bands[static_cast<std::size_t>(chosen)];
        if (best == nullptr || (chosenHeld && !held) || (held == chosenHeld && band.Age < best->Age)) {
            chosen = static_cast<int>(b);
            chosenHeld = held;
        }
    }
    return chosen;
}

// waiting: the keys (transposed) of notes that arrived with this one and are still to be
// placed; they count in its place among the keys as the ones sounding do.
void StartNote(LiveVoices& voices, int channel, int key, int velocity, long long atUs, const std::vector<int>& waiting)
{
    ++voices.NoteOns;
    if (!voices.ChannelPlays[channel]) {
        ++voices.Counts.Ignored;
        return;
    }
    LiveKey& held = voices.Keys[channel][key];
    if (held.Band >= 0) {
        // The key struck again while the pedal held it: it is down again.
        held.Sustained = false;
        ++voices.Counts.Joined;
        return;
    }
    const int played = key + voices.Transpose;
    // Its key already sounding (a unison on another channel): this note holds that band too.
    for (std::size_t b = 0; b < voices.Bands.size(); ++b) {
        LiveBand& band = voices.Bands[b];
        if (band.Key != played || band.Doubles >= 0) continue;
        held = LiveKey{static_cast<int>(b), false};
        ++voices.Counts.Joined;
        return;
    }
    // Upper notes to high bands, lower to low: its place among the keys sounding.
    int above = 0;
    int below = 0;
    for (const LiveBand& band : voices.Bands) {
        if (band.Key < 0 || band.Doubles >= 0) continue;
        above += band.Key > played;
        below += band.Key < played;
    }
    for (const int other : waiting) {
        above += other > played;
        below += other < played;
    }
    const bool preferHigh = above <= below;
    int b = FindBand(voices, preferHigh);
    if (b < 0) b = FindBand(voices, !preferHigh);
    const bool givesWay = b < 0;
    if (givesWay) b = FindBandToGiveWay(voices, preferHigh);
    const LiveBand& target = voices.Bands[static_cast<std::size_t>(b)];
    const int note = NoteInReach(played, target.High);
    if (note == RestNote) {
        ++voices.Counts.Dropped;
        return;
    }
    if (target.Key >= 0) FreeBand(voices, b, atUs);
    if (givesWay) ++voices.Counts.GaveWay;
    LiveBand& band = voices.Bands[static_cast<std::size_t>(b)];
    band.Key = played;
    band.Channel = channel;
    band.Note = note;
    band.Velocity = velocity;
    band.Age = voices.NoteOns;
    held = LiveKey{b, false};
    ++voices.Counts.Played;
    if (note != played - MidiKeyOfFirstNote) ++voices.Counts.Moved;
    if (voices.Recording) {
        const int loudness = std::min(MaxMidiVelocity, velocity * voices.Channels[channel].Volume / DefaultChannelVolume);
        band.Recorded = static_cast<int>(voices.Played.size());
        voices.Played.push_back(PlayedEvent{atUs, -1, note + MidiKeyOfFirstNote, std::max(loudness, 1), channel});
    }
    // Actuators with nothing to play double it on their band of the same kind.
    for (std::size_t high = 0; high < voices.Bands.size(); high += 2) {
        if (voices.Bands[high].Key >= 0 || voices.Bands[high + 1].Key >= 0) continue;
        LiveBand& copy = voices.Bands[band.High ? high : high + 1];
        copy.Key = played;
        copy.Channel = channel;
        copy.Note = note;
        copy.Velocity = velocity;
        copy.Age = band.Age;
        copy.Doubles = b;
    }
}

void ChangeControl(LiveVoices& voices, int channel, int controller, int value, long long atUs)
{
    LiveChannel& state = voices.Channels[channel];
    switch (controller) {
    case SustainController:
        state.PedalDown = value >= SustainDownFrom;
        if (!state.PedalDown)
            for (LiveKey& key : voices.Keys[channel])
                if (key.Sustained) ReleaseKey(voices, key, atUs);
        break;
    case AllNotesOffController:
        for (int key = 0; key < MidiKeyCount; ++key) EndKey(voices, channel, key, atUs);
        break;
    case AllSoundOffController:
        for (LiveKey& key : voices.Keys[channel]) ReleaseKey(voices, key, atUs);
        break;
    case ChannelVolumeController: state.Volume = value; break;
    case ParameterMsbController: state.ParameterMsb = value; break;
    case ParameterLsbController: state.ParameterLsb = value; break;
    case DataEntryController:
        if (state.ParameterMsb == BendRangeParameter && state.ParameterLsb == BendRangeParameter)
            state.BendRangeSemitones = std::min(value, MaxBendRangeSemitones);
        break;
    default: break;
    }
}

bool IsNoteStart(const MidiMessage& m) { return (m.Status & MidiKindMask) == NoteOnStatus && m.Data2 > 0; }

}  // namespace

void StartLiveVoices(LiveVoices& voices, const std::vector<int>& actuators, const std::vector<int>& channels,
                     int transpose, int volumePercent, int bendRangeSemitones, bool recording)
{
    voices = LiveVoices{};
    voices.Actuators = actuators;
    for (std::size_t c = 0; c < actuators.size(); ++c)
        for (int a = 0; a < actuators[c]; ++a)
            for (const bool high : {true, false}) voices.Bands.push_back(LiveBand{static_cast<int>(c), a, high});
    for (int channel = 0; channel < MidiChannelCount; ++channel) {
        voices.ChannelPlays[channel] = channels.empty() ? channel != midi_file::PercussionChannel
                                                        : std::count(channels.begin(), channels.end(), channel + 1) > 0;
        voices.Channels[channel].BendRangeSemitones = bendRangeSemitones;
    }
    voices.Transpose = transpose;
    voices.VolumePercent = volumePercent;
    voices.Recording = recording;
}

bool TakeLiveMessages(LiveVoices& voices, const std::vector<MidiMessage>& messages, long long atUs)
{
    bool changed = false;
    for (std::size_t i = 0; i < messages.size();) {
        if (!IsNoteStart(messages[i])) {
            changed = TakeLiveMessage(voices, messages[i++], atUs) || changed;
            continue;
        }
        // Notes that arrived together, served from the outside in as a file's chords are.
        std::size_t end = i;
        while (end < messages.size() && IsNoteStart(messages[end])) ++end;
        std::vector<MidiMessage> chord(messages.begin() + static_cast<std::ptrdiff_t>(i),
                                       messages.begin() + static_cast<std::ptrdiff_t>(end));
        std::stable_sort(chord.begin(), chord.end(),
                         [](const MidiMessage& a, const MidiMessage& b) { return a.Data1 > b.Data1; });
        std::vector<int> waiting;
        for (const MidiMessage& m : chord)
            if (voices.ChannelPlays[m.Status & MidiChannelMask]) waiting.push_back(m.Data1 + voices.Transpose);
        std::sort(waiting.begin(), waiting.end());
        waiting.erase(std::unique(waiting.begin(), waiting.end()), waiting.end());
        for (std::size_t k = 0; k < chord.size(); ++k) {
            const MidiMessage& m = chord[k % 2 == 0 ? k / 2 : chord.size() - 1 - k / 2];
            const int played = m.Data1 + voices.Transpose;
            waiting.erase(std::remove(waiting.begin(), waiting.end(), played), waiting.end());
            StartNote(voices, m.Status & MidiChannelMask, m.Data1, m.Data2, atUs, waiting);
        }
        changed = true;
        i = end;
    }
    return changed;
}

bool TakeLiveMessage(LiveVoices& voices, const MidiMessage& message, long long atUs)
{
    const int channel = message.Status & MidiChannelMask;
    switch (message.Status & MidiKindMask) {
    case NoteOnStatus:
        if (message.Data2 > 0) {
            StartNote(voices, channel, message.Data1, message.Data2, atUs, {});
            return true;
        }
        EndKey(voices, channel, message.Data1, atUs);
        return true;
    case NoteOffStatus: EndKey(voices, channel, message.Data1, atUs); return true;
    case ControlChangeStatus: ChangeControl(voices, channel, message.Data1, message.Data2, atUs); return true;
    case PitchBendStatus: {
        const int bend = (message.Data2 << MidiDataBits | message.Data1) - PitchBendCentre;
        if (voices.Channels[channel].Bend == bend) return false;
        voices.Channels[channel].Bend = bend;
        if (voices.Recording) voices.Played.push_back(PlayedEvent{atUs, atUs, -1, bend, channel});
        return true;
    }
    default: return false;
    }
}

void SilenceLiveVoices(LiveVoices& voices, long long atUs)
{
    for (std::size_t b = 0; b < voices.Bands.size(); ++b)
        if (voices.Bands[b].Key >= 0 && voices.Bands[b].Doubles < 0) FreeBand(voices, static_cast<int>(b), atUs);
}

int LevelOfBand(const LiveVoices& voices, int b)
{
    const LiveBand& band = voices.Bands[static_cast<std::size_t>(b)];
    if (band.Key < 0) return 0;
    const int table = band.High ? HighLevelByNote[band.Note] : LowLevelByNote[band.Note];
    const long long scale = static_cast<long long>(voices.VolumePercent) * band.Velocity *
                            voices.Channels[band.Channel].Volume / (MaxMidiVelocity * DefaultChannelVolume);
    return ScaleLevel(table, static_cast<int>(scale));
}

int BendStepsOfBand(const LiveVoices& voices, int b)
{
    const LiveBand& band = voices.Bands[static_cast<std::size_t>(b)];
    if (band.Key < 0) return 0;
    const LiveChannel& channel = voices.Channels[band.Channel];
    return static_cast<int>(std::lround(static_cast<double>(channel.Bend) * channel.BendRangeSemitones *
                                        CodeStepsPerSemitone / PitchBendCentre));
}

void FormLiveBlocks(const LiveVoices& voices, int controller, RumbleBytes* left, RumbleBytes* right)
{
    RumbleBytes blocks[2] = {};
    int actuator = 0;
    for (std::size_t high = 0; high < voices.Bands.size(); high += 2) {
        if (voices.Bands[high].Controller != controller) continue;
        const int h = static_cast<int>(high);
        blocks[actuator++] = FormBentRumbleBytes(voices.Bands[high].Note, LevelOfBand(voices, h), BendStepsOfBand(voices, h),
                                                 voices.Bands[high + 1].Note, LevelOfBand(voices, h + 1),
                                                 BendStepsOfBand(voices, h + 1));
    }
    *left = blocks[0];
    *right = actuator > 1 ? blocks[1] : blocks[0];
}
