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

Allocation AllocateVoices(const std::vector<midi_file::MidiNote>& notes, const std::vector<int>& actuators,
                          long long lengthUs, int volumePercent)
{
    Allocation result;
    result.Parts.resize(actuators.size());
    for (std::size_t c = 0; c < actuators.size(); ++c) {
        result.Parts[c].resize(static_cast<std::size_t>(actuators[c]));
        for (int a = 0; a < actuators[c]; ++a) {
            Piece& piece = result.Parts[c][static_cast<std::size_t>(a)];
            piece.Voices.resize(2);
            piece.LengthUs = lengthUs;
            // An actuator's two bands sit side by side: its high band at an even index.
            for (const bool high : {true, false}) {
                BandUse use;
                use.Controller = static_cast<int>(c);
                use.Actuator = a;
                use.High = high;
                result.Bands.push_back(use);
            }
        }
    }
    const std::size_t bandCount = result.Bands.size();
    const auto controllerOf = [&](std::size_t band) { return static_cast<std::size_t>(result.Bands[band].Controller); };
    const auto voiceOf = [&](std::size_t band) -> PieceVoice& {
        const BandUse& use = result.Bands[band];
        return result.Parts[static_cast<std::size_t>(use.Controller)][static_cast<std::size_t>(use.Actuator)]
            .Voices[use.High ? 0 : 1];
    };
    // A step at the time of the band's last one replaces it: a doubled note given up to a note
    // starting at the same time never sounds.
    const auto stepOn = [&](std::size_t band, const VoiceStep& step) {
        std::vector<VoiceStep>& steps = voiceOf(band).Steps;
        if (!steps.empty() && steps.back().AtUs == step.AtUs)
            steps.back() = step;
        else
            steps.push_back(step);
    };

    std::vector<NoteEvent> events;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (notes[i].EndUs <= notes[i].StartUs) {
            ++result.TooShort;
            continue;
        }
        events.push_back(NoteEvent{notes[i].StartUs, true, i});
        events.push_back(NoteEvent{notes[i].EndUs, false, i});
    }
    // Ends before starts at one time, and the higher of notes starting together first.
    std::sort(events.begin(), events.end(), [&](const NoteEvent& a, const NoteEvent& b) {
        if (a.AtUs != b.AtUs) return a.AtUs < b.AtUs;
        if (a.Starts != b.Starts) return !a.Starts;
        return notes[a.Note].Key > notes[b.Note].Key;
    });

    const std::size_t none = notes.size();
    std::vector<std::size_t> holding(bandCount, none);  // the note each band sounds
    std::vector<bool> doubling(bandCount, false);       // the band only doubles its note
    std::vector<int> busy(actuators.size(), 0);          // bands sounding a note of their own
    // Keys of the notes starting at this time that have not been served yet, counted by key, so
    // that a file of many notes starting together costs no more than one key range per note.
    std::vector<int> waiting(static_cast<std::size_t>(KeySlots), 0);
    for (std::size_t e = 0; e < events.size(); ++e) {
        if (events[e].Starts && (e == 0 || !events[e - 1].Starts || events[e - 1].AtUs != events[e].AtUs)) {
            std::size_t end = e;
            while (end < events.size() && events[end].Starts && events[end].AtUs == events[e].AtUs) ++end;
            // Notes starting together are served from the outside in, highest, lowest, next
            // highest, ...: the tune and the bass find bands before inner voices do.
            const std::vector<NoteEvent> group(events.begin() + static_cast<std::ptrdiff_t>(e),
                                               events.begin() + static_cast<std::ptrdiff_t>(end));
            std::fill(waiting.begin(), waiting.end(), 0);
            for (std::size_t k = 0; k < group.size(); ++k) {
                events[e + k] = group[k % 2 == 0 ? k / 2 : group.size() - 1 - k / 2];
                ++waiting[KeySlot(notes[group[k].Note].Key)];
            }
        }
        const NoteEvent& event = events[e];
        const midi_file::MidiNote& note = notes[event.Note];
        if (!event.Starts) {
            for (std::size_t b = 0; b < bandCount; ++b) {
                if (holding[b] != event.Note) continue;
                holding[b] = none;
                if (!doubling[b]) --busy[controllerOf(b)];
                doubling[b] = false;
                voiceOf(b).Steps.push_back(VoiceStep{event.AtUs, RestNote, 0, 0});
            }
            continue;
        }
        --waiting[KeySlot(note.Key)];
        VoiceTally& tally = result.ByVoice[{note.Track, note.Channel}];

        // The same key already sounding: this note holds it on, with every band that plays it.
        std::size_t sounding = bandCount;
        for (std::size_t b = 0; b < bandCount && sounding == bandCount; ++b)
            if (holding[b] != none && !doubling[b] && notes[holding[b]].Key == note.Key) sounding = b;
        if (sounding != bandCount) {
            const std::size_t held = holding[sounding];
            if (note.EndUs > notes[held].EndUs)
                for (std::size_t b = 0; b < bandCount; ++b)
                    if (holding[b] == held) holding[b] = event.Note;
            ++tally.Played;
            ++tally.Joined;
            ++result.Joined;
            continue;
        }

        // Its place among the keys sounding and those starting with it, each key once.
        int above = 0;
        int below = 0;
        for (std::size_t b = 0; b < bandCount; ++b) {
            if (holding[b] == none || doubling[b]) continue;
            above += notes[holding[b]].Key > note.Key;
            below += notes[holding[b]].Key < note.Key;
        }
        const std::size_t mine = KeySlot(note.Key);
        for (std::size_t slot = 0; slot < waiting.size(); ++slot) {
            if (waiting[slot] == 0) continue;
            above += slot > mine;
            below += slot < mine;
        }
        // A free band of the kind the note's place asks for, else one that only doubles, else
        // the same of the other kind.
        const bool preferHigh = above <= below;
        std::size_t chosen = bandCount;
        for (const bool high : {preferHigh, !preferHigh}) {
            for (const bool taken : {false, true}) {
                for (std::size_t b = 0; b < bandCount; ++b) {
                    if (result.Bands[b].High != high) continue;
                    if (taken ? !doubling[b] : holding[b] != none) continue;
                    if (chosen == bandCount || busy[controllerOf(b)] < busy[controllerOf(chosen)]) chosen = b;
                }
                if (chosen != bandCount) break;
            }
            if (chosen != bandCount) break;
        }
        // Every band taken: the melody (nothing above it) or the bass (nothing below) takes the
        // band of an inner voice, one between the others' highest and lowest, which is cut short.
        bool cuts = false;
        if (chosen == bandCount && (above == 0 || below == 0)) {
            int highest = note.Key;
            int lowest = note.Key;
            for (std::size_t b = 0; b < bandCount; ++b) {
                if (holding[b] == none) continue;
                highest = std::max(highest, notes[holding[b]].Key);
                lowest = std::min(lowest, notes[holding[b]].Key);
            }
            for (const bool high : {preferHigh, !preferHigh}) {
                for (std::size_t b = 0; b < bandCount && chosen == bandCount; ++b) {
                    if (holding[b] == none || doubling[b] || result.Bands[b].High != high) continue;
                    const int key = notes[holding[b]].Key;
                    if (key > lowest && key < highest) chosen = b;
                }
            }
            cuts = chosen != bandCount;
        }
        const int index = chosen == bandCount ? RestNote : NoteInReach(note.Key, result.Bands[chosen].High);
        if (index == RestNote) {
            ++result.Dropped;
            ++tally.Dropped;
            continue;
        }
        if (cuts) {
            const midi_file::MidiNote& cut = notes[holding[chosen]];
            ++result.ByVoice[{cut.Track, cut.Channel}].Cut;
            ++result.Cut;
            --busy[controllerOf(chosen)];
        }
        BandUse& band = result.Bands[chosen];
        const int tableLevel = band.High ? HighLevelByNote[index] : LowLevelByNote[index];
        const int level = ScaleLevel(tableLevel, volumePercent * note.Velocity / MaxMidiVelocity);
        const VoiceStep step{event.AtUs, index, band.High ? level : 0, band.High ? 0 : level, note.Channel};
        holding[chosen] = event.Note;
        doubling[chosen] = false;
        ++busy[controllerOf(chosen)];
        stepOn(chosen, step);
        ++voiceOf(chosen).Notes;
        ++band.Notes;
        ++band.NotesByVoice[{note.Track, note.Channel}];
        ++tally.Played;
        if (index != note.Key - MidiKeyOfFirstNote) {
            ++band.Moved;
            ++result.Moved;
            ++tally.Moved;
        }

        // Actuators with nothing to play double it on their band of the same kind.
        for (std::size_t high = 0; high < bandCount; high += 2) {
            if (holding[high] != none || holding[high + 1] != none) continue;
            const std::size_t b = band.High ? high : high + 1;
            holding[b] = event.Note;
            doubling[b] = true;
            stepOn(b, step);
            ++result.Bands[b].Doubled;
        }
    }
    return result;
}
