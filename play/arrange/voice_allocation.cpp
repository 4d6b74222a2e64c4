#include "play/arrange/voice_allocation.h"

#include "play/arrange/voice_builder.h"
#include "rumble/tone_tables.h"

#include <algorithm>

namespace {

// Transposed keys lie within MaxTransposeSemitones of 0-127; each has a slot.
constexpr int KeySlots = 256;
constexpr int KeySlotOffset = 64;

std::size_t KeySlot(int key) { return static_cast<std::size_t>(std::clamp(key + KeySlotOffset, 0, KeySlots - 1)); }

struct NoteEvent {
    long long AtUs;
    bool Starts;
    std::size_t Note;
};

// Whether a band sounds note: its codes reach it and its level table gives it a level.
bool BandSounds(int note, bool high)
{
    return high ? HighBandReaches[note] && HighLevelByNote[note] > 0 : LowBandReaches[note] && LowLevelByNote[note] > 0;
}

}  // namespace

int NoteInReach(int key, bool high)
{
    int note = key - MidiKeyOfFirstNote;
    while (note < 0) note += SemitonesPerOctave;
    while (note >= NoteCount) note -= SemitonesPerOctave;
    for (int n = note; n < NoteCount; n += SemitonesPerOctave)
        if (BandSounds(n, high)) return n;
    for (int n = note - SemitonesPerOctave; n >= 0; n -= SemitonesPerOctave)
        if (BandSounds(n, high)) return n;
    return RestNote;
}

namespace {

// Where the allocation stands as it goes through the song's events.
struct Allocating {
    const std::vector<midi_file::MidiNote>& Notes;
    Allocation& Result;
    std::size_t None;                 // no note: Notes.size()
    std::vector<std::size_t> Holding;  // the note each band sounds
    std::vector<bool> Doubling;        // the band only doubles its note
    std::vector<int> Busy;             // per controller: bands sounding a note of their own
    // Keys of the notes starting at this time that have not been served yet, counted by key, so
    // that a file of many notes starting together costs no more than one key range per note.
    std::vector<int> Waiting;
};

// Every actuator's piece of two voices, and its two bands side by side: its high band at an even
// index.
void StartAllocation(const std::vector<int>& actuators, long long lengthUs, Allocation* result)
{
    result->Parts.resize(actuators.size());
    for (std::size_t c = 0; c < actuators.size(); ++c) {
        result->Parts[c].resize(static_cast<std::size_t>(actuators[c]));
        for (int a = 0; a < actuators[c]; ++a) {
            Piece& piece = result->Parts[c][static_cast<std::size_t>(a)];
            piece.Voices.resize(2);
            piece.LengthUs = lengthUs;
            for (const bool high : {true, false}) {
                BandUse use;
                use.Controller = static_cast<int>(c);
                use.Actuator = a;
                use.High = high;
                result->Bands.push_back(use);
            }
        }
    }
}

// Each note's start and end, ends before starts at one time and the higher of notes starting
// together first; notes of no length are counted in *tooShort and left out.
std::vector<NoteEvent> NoteEventsOf(const std::vector<midi_file::MidiNote>& notes, int* tooShort)
{
    std::vector<NoteEvent> events;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (notes[i].EndUs <= notes[i].StartUs) {
            ++*tooShort;
            continue;
        }
        events.push_back(NoteEvent{notes[i].StartUs, true, i});
        events.push_back(NoteEvent{notes[i].EndUs, false, i});
    }
    std::sort(events.begin(), events.end(), [&](const NoteEvent& a, const NoteEvent& b) {
        if (a.AtUs != b.AtUs) return a.AtUs < b.AtUs;
        if (a.Starts != b.Starts) return !a.Starts;
        if (notes[a.Note].Key != notes[b.Note].Key) return notes[a.Note].Key > notes[b.Note].Key;
        // The song's order last: every standard library then sorts alike, so that every build
        // (and the browser's) gives the same notes the same bands.
        return a.Note < b.Note;
    });
    return events;
}

// At the first of the notes starting together at events[e]: serves them from the outside in,
// highest, lowest, next highest, ..., so that the tune and the bass find bands before inner
// voices do; and counts their keys as waiting.
void OrderStartingTogether(Allocating& state, std::vector<NoteEvent>& events, std::size_t e)
{
    std::size_t end = e;
    while (end < events.size() && events[end].Starts && events[end].AtUs == events[e].AtUs) ++end;
    const std::vector<NoteEvent> group(events.begin() + static_cast<std::ptrdiff_t>(e),
                                       events.begin() + static_cast<std::ptrdiff_t>(end));
    std::fill(state.Waiting.begin(), state.Waiting.end(), 0);
    for (std::size_t k = 0; k < group.size(); ++k) {
        events[e + k] = group[k % 2 == 0 ? k / 2 : group.size() - 1 - k / 2];
        ++state.Waiting[KeySlot(state.Notes[group[k].Note].Key)];
    }
}

std::size_t ControllerOf(const Allocating& state, std::size_t band)
{
    return static_cast<std::size_t>(state.Result.Bands[band].Controller);
}

PieceVoice& VoiceOf(Allocating& state, std::size_t band)
{
    const BandUse& use = state.Result.Bands[band];
    return state.Result.Parts[static_cast<std::size_t>(use.Controller)][static_cast<std::size_t>(use.Actuator)]
        .Voices[use.High ? 0 : 1];
}

// A step at the time of the band's last one replaces it: a doubled note given up to a note
// starting at the same time never sounds.
void StepOn(Allocating& state, std::size_t band, const VoiceStep& step)
{
    std::vector<VoiceStep>& steps = VoiceOf(state, band).Steps;
    if (!steps.empty() && steps.back().AtUs == step.AtUs)
        steps.back() = step;
    else
        steps.push_back(step);
}

// A note ends: every band that sounds it falls silent.
void EndNote(Allocating& state, const NoteEvent& event)
{
    for (std::size_t b = 0; b < state.Holding.size(); ++b) {
        if (state.Holding[b] != event.Note) continue;
        state.Holding[b] = state.None;
        if (!state.Doubling[b]) --state.Busy[ControllerOf(state, b)];
        state.Doubling[b] = false;
        VoiceOf(state, b).Steps.push_back(VoiceStep{event.AtUs, RestNote, 0, 0});
    }
}

// The same key already sounding: the note holds it on, with every band that plays it. False
// when its key is not sounding.
bool JoinSoundingKey(Allocating& state, const NoteEvent& event, VoiceTally& tally)
{
    const std::size_t bandCount = state.Holding.size();
    const midi_file::MidiNote& note = state.Notes[event.Note];
    std::size_t sounding = bandCount;
    for (std::size_t b = 0; b < bandCount && sounding == bandCount; ++b)
        if (state.Holding[b] != state.None && !state.Doubling[b] && state.Notes[state.Holding[b]].Key == note.Key)
            sounding = b;
    if (sounding == bandCount) return false;
    const std::size_t held = state.Holding[sounding];
    if (note.EndUs > state.Notes[held].EndUs)
        for (std::size_t b = 0; b < bandCount; ++b)
            if (state.Holding[b] == held) state.Holding[b] = event.Note;
    ++tally.Played;
    ++tally.Joined;
    ++state.Result.Joined;
    return true;
}

// The note's place among the keys sounding and those starting with it, each key once.
struct KeyPlace {
    int Above = 0;
    int Below = 0;
};

KeyPlace PlaceAmongSounding(const Allocating& state, int key)
{
    KeyPlace place;
    for (std::size_t b = 0; b < state.Holding.size(); ++b) {
        if (state.Holding[b] == state.None || state.Doubling[b]) continue;
        place.Above += state.Notes[state.Holding[b]].Key > key;
        place.Below += state.Notes[state.Holding[b]].Key < key;
    }
    const std::size_t mine = KeySlot(key);
    for (std::size_t slot = 0; slot < state.Waiting.size(); ++slot) {
        if (state.Waiting[slot] == 0) continue;
        place.Above += slot > mine;
        place.Below += slot < mine;
    }
    return place;
}

// A free band of the kind asked for, else one that only doubles, else the same of the other
// kind; among them, on the controller with the fewest bands sounding. The band count when none.
std::size_t ChooseFreeBand(const Allocating& state, bool preferHigh)
{
    const std::size_t bandCount = state.Holding.size();
    std::size_t chosen = bandCount;
    for (const bool high : {preferHigh, !preferHigh}) {
        for (const bool taken : {false, true}) {
            for (std::size_t b = 0; b < bandCount; ++b) {
                if (state.Result.Bands[b].High != high) continue;
                if (taken ? !state.Doubling[b] : state.Holding[b] != state.None) continue;
                if (chosen == bandCount || state.Busy[ControllerOf(state, b)] < state.Busy[ControllerOf(state, chosen)])
                    chosen = b;
            }
            if (chosen != bandCount) return chosen;
        }
    }
    return chosen;
}

// Every band taken: the melody or the bass takes the band of an inner voice, one between the
// others' highest and lowest. The band count when there is none.
std::size_t ChooseInnerVoiceToCut(const Allocating& state, int key, bool preferHigh)
{
    const std::size_t bandCount = state.Holding.size();
    int highest = key;
    int lowest = key;
    for (std::size_t b = 0; b < bandCount; ++b) {
        if (state.Holding[b] == state.None) continue;
        highest = std::max(highest, state.Notes[state.Holding[b]].Key);
        lowest = std::min(lowest, state.Notes[state.Holding[b]].Key);
    }
    std::size_t chosen = bandCount;
    for (const bool high : {preferHigh, !preferHigh}) {
        for (std::size_t b = 0; b < bandCount && chosen == bandCount; ++b) {
            if (state.Holding[b] == state.None || state.Doubling[b] || state.Result.Bands[b].High != high) continue;
            const int held = state.Notes[state.Holding[b]].Key;
            if (held > lowest && held < highest) chosen = b;
        }
    }
    return chosen;
}

// The note sounds on the chosen band as the band's note index for it, at the band's table level
// scaled by the velocity and the volume; returns its step.
VoiceStep SoundNote(Allocating& state, const NoteEvent& event, std::size_t chosen, int index, int volumePercent,
                    VoiceTally& tally)
{
    const midi_file::MidiNote& note = state.Notes[event.Note];
    BandUse& band = state.Result.Bands[chosen];
    const int tableLevel = band.High ? HighLevelByNote[index] : LowLevelByNote[index];
    const int level = ScaleLevel(tableLevel, volumePercent * note.Velocity / MaxMidiVelocity);
    const VoiceStep step{event.AtUs, index, band.High ? level : 0, band.High ? 0 : level, note.Channel};
    state.Holding[chosen] = event.Note;
    state.Doubling[chosen] = false;
    ++state.Busy[ControllerOf(state, chosen)];
    StepOn(state, chosen, step);
    ++VoiceOf(state, chosen).Notes;
    ++band.Notes;
    ++band.NotesByVoice[{note.Track, note.Channel}];
    ++tally.Played;
    if (index != note.Key - MidiKeyOfFirstNote) {
        ++band.Moved;
        ++state.Result.Moved;
        ++tally.Moved;
    }
    return step;
}

// Actuators with nothing to play double the step on their band of the same kind.
void DoubleOnIdleActuators(Allocating& state, const NoteEvent& event, bool high, const VoiceStep& step)
{
    for (std::size_t first = 0; first < state.Holding.size(); first += 2) {
        if (state.Holding[first] != state.None || state.Holding[first + 1] != state.None) continue;
        const std::size_t b = high ? first : first + 1;
        state.Holding[b] = event.Note;
        state.Doubling[b] = true;
        StepOn(state, b, step);
        ++state.Result.Bands[b].Doubled;
    }
}

// Gives a starting note a band: its key's, a free one, or an inner voice's; or drops it.
void StartNote(Allocating& state, const NoteEvent& event, int volumePercent)
{
    const midi_file::MidiNote& note = state.Notes[event.Note];
    --state.Waiting[KeySlot(note.Key)];
    VoiceTally& tally = state.Result.ByVoice[{note.Track, note.Channel}];
    if (JoinSoundingKey(state, event, tally)) return;
    const std::size_t bandCount = state.Holding.size();
    const KeyPlace place = PlaceAmongSounding(state, note.Key);
    const bool preferHigh = place.Above <= place.Below;
    std::size_t chosen = ChooseFreeBand(state, preferHigh);
    bool cuts = false;
    if (chosen == bandCount && (place.Above == 0 || place.Below == 0)) {
        chosen = ChooseInnerVoiceToCut(state, note.Key, preferHigh);
        cuts = chosen != bandCount;
    }
    const int index = chosen == bandCount ? RestNote : NoteInReach(note.Key, state.Result.Bands[chosen].High);
    if (index == RestNote) {
        ++state.Result.Dropped;
        ++tally.Dropped;
        return;
    }
    if (cuts) {
        const midi_file::MidiNote& cut = state.Notes[state.Holding[chosen]];
        ++state.Result.ByVoice[{cut.Track, cut.Channel}].Cut;
        ++state.Result.Cut;
        --state.Busy[ControllerOf(state, chosen)];
    }
    const VoiceStep step = SoundNote(state, event, chosen, index, volumePercent, tally);
    DoubleOnIdleActuators(state, event, state.Result.Bands[chosen].High, step);
}

}  // namespace

Allocation AllocateVoices(const std::vector<midi_file::MidiNote>& notes, const std::vector<int>& actuators,
                          long long lengthUs, int volumePercent)
{
    Allocation result;
    StartAllocation(actuators, lengthUs, &result);
    std::vector<NoteEvent> events = NoteEventsOf(notes, &result.TooShort);
    const std::size_t bandCount = result.Bands.size();
    Allocating state{notes,
                     result,
                     notes.size(),
                     std::vector<std::size_t>(bandCount, notes.size()),
                     std::vector<bool>(bandCount, false),
                     std::vector<int>(actuators.size(), 0),
                     std::vector<int>(static_cast<std::size_t>(KeySlots), 0)};
    for (std::size_t e = 0; e < events.size(); ++e) {
        if (events[e].Starts && (e == 0 || !events[e - 1].Starts || events[e - 1].AtUs != events[e].AtUs))
            OrderStartingTogether(state, events, e);
        if (events[e].Starts)
            StartNote(state, events[e], volumePercent);
        else
            EndNote(state, events[e]);
    }
    return result;
}
