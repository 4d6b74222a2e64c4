#include "play/arrange/note_selection.h"

#include "play/report/shown_text.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

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
    chosen.FileLengthUs = AtTempo(song.LengthUs, choice.TempoPercent);
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
        chosen.LengthUs = std::max(chosen.LengthUs, played.EndUs);
    }
    for (const midi_file::MidiModulation& wheel : song.Modulation)
        if (IsChosen(choice, wheel.Track, wheel.Channel))
            chosen.Vibrato.push_back(VibratoSetting{AtTempo(wheel.AtUs, choice.TempoPercent), wheel.Channel, wheel.Value});
    return chosen;
}

namespace {

bool IsNumber(const std::string& text)
{
    return !text.empty() && text.size() <= 9 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c) != 0; });
}

bool SameNameAs(const std::string& a, const std::string& b)
{
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

std::string NamedTracks(const midi_file::MidiSong& song)
{
    std::string names;
    for (std::size_t t = 0; t < song.TrackNames.size(); ++t) {
        if (song.TrackNames[t].empty()) continue;
        names += (names.empty() ? "" : ", ") + std::to_string(t + 1) + " \"" + ShownText(song.TrackNames[t]) + "\"";
    }
    return names.empty() ? "none of its tracks has a name" : "its named tracks: " + names;
}

}  // namespace

bool ResolveTracks(const std::vector<std::string>& choices, const midi_file::MidiSong& song, std::vector<int>* tracks,
                   std::string* error)
{
    std::set<int> chosen;
    const std::string count = "the file has " + std::to_string(song.TrackCount) + " track" +
                              (song.TrackCount == 1 ? "" : "s");
    for (const std::string& choice : choices) {
        const std::size_t dash = choice.find('-');
        if (IsNumber(choice) || (dash != std::string::npos && IsNumber(choice.substr(0, dash)) &&
                                 IsNumber(choice.substr(dash + 1)))) {
            const int first = std::stoi(choice.substr(0, dash));
            const int last = dash == std::string::npos ? first : std::stoi(choice.substr(dash + 1));
            if (first < 1 || last < first) {
                *error = "--tracks " + choice + " names no track: tracks count from 1, a range from low to high";
                return false;
            }
            if (last > song.TrackCount) {
                *error = "there is no track " + std::to_string(last) + "; " + count;
                return false;
            }
            for (int t = first; t <= last; ++t) chosen.insert(t);
            continue;
        }
        bool found = false;
        for (std::size_t t = 0; t < song.TrackNames.size(); ++t) {
            if (song.TrackNames[t].empty() || !SameNameAs(ShownText(song.TrackNames[t]), choice)) continue;
            chosen.insert(static_cast<int>(t) + 1);
            found = true;
        }
        if (!found) {
            *error = "no track is named \"" + choice + "\"; " + NamedTracks(song);
            return false;
        }
    }
    tracks->assign(chosen.begin(), chosen.end());
    return true;
}

std::string WhereNotesAre(const midi_file::MidiSong& song)
{
    std::map<int, std::set<int>> channels;
    for (const midi_file::MidiNote& note : song.Notes) channels[note.Track].insert(note.Channel + 1);
    std::string where;
    for (const auto& track : channels) {
        where += (where.empty() ? "" : ", ") + std::string("track ") + std::to_string(track.first + 1) + " (channel" +
                 (track.second.size() == 1 ? " " : "s ");
        std::string list;
        for (const int channel : track.second) list += (list.empty() ? "" : ", ") + std::to_string(channel);
        where += list + ")";
    }
    return where;
}
