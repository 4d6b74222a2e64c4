#include "play/note_selection.h"

#include <algorithm>

namespace {

constexpr int PercentWhole = 100;

bool Contains(const std::vector<int>& list, int value) { return std::find(list.begin(), list.end(), value) != list.end(); }

// A time at another tempo. Song times are bounded by a day, so the product cannot overflow.
long long AtTempo(long long us, int tempoPercent) { return us * PercentWhole / tempoPercent; }

}  // namespace

bool IsChosen(const NoteChoice& choice, int track, int channel)
{
    const bool trackChosen = choice.Tracks.empty() || Contains(choice.Tracks, track + 1);
    const bool channelChosen = choice.Channels.empty() ? channel != midi_file::PercussionChannel
                                                       : Contains(choice.Channels, channel + 1);
    return trackChosen && channelChosen;
}

ChosenNotes ChooseNotes(const midi_file::MidiSong& song, const NoteChoice& choice)
{
    ChosenNotes chosen;
    chosen.LengthUs = AtTempo(song.LengthUs, choice.TempoPercent);
    for (const midi_file::MidiNote& note : song.Notes) {
        if (!IsChosen(choice, note.Track, note.Channel)) {
            ++chosen.LeftOut;
            continue;
        }
        midi_file::MidiNote played = note;
        played.Key += choice.Transpose;
        played.StartUs = AtTempo(note.StartUs, choice.TempoPercent);
        played.EndUs = AtTempo(note.EndUs, choice.TempoPercent);
        chosen.Notes.push_back(played);
    }
    return chosen;
}
