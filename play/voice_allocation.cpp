#include "play/voice_allocation.h"

#include "play/voice_builder.h"
#include "rumble/tone_tables.h"

#include <algorithm>

namespace {

// Whether a band sounds note: its codes reach it and its level table gives it a level.
bool Sounds(int note, bool high)
{
    return high ? HighBandReaches[note] && HighLevelByNote[note] > 0 : LowBandReaches[note] && LowLevelByNote[note] > 0;
}

// The note index a band plays for key, moved by octaves into the table and then to where the
// band sounds (one stretch of notes, so only one direction can help); RestNote when no octave
// of it sounds.
int NoteInReach(int key, bool high)
{
    int note = key - MidiKeyOfFirstNote;
    while (note < 0) note += SemitonesPerOctave;
    while (note >= NoteCount) note -= SemitonesPerOctave;
    for (int n = note; n < NoteCount; n += SemitonesPerOctave)
        if (Sounds(n, high)) return n;
    for (int n = note - SemitonesPerOctave; n >= 0; n -= SemitonesPerOctave)
        if (Sounds(n, high)) return n;
    return RestNote;
}

// Transposed keys lie within MaxTransposeSemitones of 0-127; each has a slot.
constexpr int KeySlots = 256;
constexpr int KeySlotOffset = 64;

std::size_t KeySlot(int key) { return static_cast<std::size_t>(std::clamp(key + KeySlotOffset, 0, KeySlots - 1)); }

struct NoteEvent {
    long long AtUs;
    bool Starts;
    std::size_t Note;
};

}  // namespace

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
            for (const bool high : {true, false}) {
                BandUse use;
                use.Controller = static_cast<int>(c);
                use.Actuator = a;
                use.High = high;
                result.Bands.push_back(use);
            }
        }
    }
    const auto controllerOf = [&](std::size_t band) { return static_cast<std::size_t>(result.Bands[band].Controller); };
    const auto voiceOf = [&](const BandUse& band) -> PieceVoice& {
        return result.Parts[static_cast<std::size_t>(band.Controller)][static_cast<std::size_t>(band.Actuator)]
            .Voices[band.High ? 0 : 1];
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
    std::vector<std::size_t> holding(result.Bands.size(), none);  // the note each band sounds
    std::vector<int> busy(actuators.size(), 0);                    // bands sounding per controller
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
        if (event.Starts) --waiting[KeySlot(note.Key)];
        if (!event.Starts) {
            for (std::size_t b = 0; b < holding.size(); ++b) {
                if (holding[b] != event.Note) continue;
                holding[b] = none;
                --busy[controllerOf(b)];
                voiceOf(result.Bands[b]).Steps.push_back(VoiceStep{event.AtUs, RestNote, 0, 0});
            }
            continue;
        }
        // Its place among the notes sounding and those starting with it.
        int above = 0;
        int below = 0;
        for (std::size_t held : holding) {
            if (held == none) continue;
            above += notes[held].Key > note.Key;
            below += notes[held].Key < note.Key;
        }
        const std::size_t mine = KeySlot(note.Key);
        for (std::size_t slot = 0; slot < waiting.size(); ++slot) {
            above += slot > mine ? waiting[slot] : 0;
            below += slot < mine ? waiting[slot] : 0;
        }
        const bool preferHigh = above <= below;
        std::size_t chosen = holding.size();
        for (const bool high : {preferHigh, !preferHigh}) {
            for (std::size_t b = 0; b < holding.size(); ++b) {
                if (holding[b] != none || result.Bands[b].High != high) continue;
                if (chosen == holding.size() || busy[controllerOf(b)] < busy[controllerOf(chosen)]) chosen = b;
            }
            if (chosen != holding.size()) break;
        }
        if (chosen == holding.size()) {
            ++result.Dropped;
            continue;
        }
        BandUse& band = result.Bands[chosen];
        const int index = NoteInReach(note.Key, band.High);
        if (index == RestNote) {
            ++result.Dropped;
            continue;
        }
        holding[chosen] = event.Note;
        ++busy[controllerOf(chosen)];
        const int tableLevel = band.High ? HighLevelByNote[index] : LowLevelByNote[index];
        const int level = ScaleLevel(tableLevel, volumePercent * note.Velocity / MaxMidiVelocity);
        voiceOf(band).Steps.push_back(
            VoiceStep{event.AtUs, index, band.High ? level : 0, band.High ? 0 : level});
        ++voiceOf(band).Notes;
        ++band.Notes;
        ++band.NotesByVoice[{note.Track, note.Channel}];
        if (index != note.Key - MidiKeyOfFirstNote) {
            ++band.Moved;
            ++result.Moved;
        }
    }
    return result;
}
