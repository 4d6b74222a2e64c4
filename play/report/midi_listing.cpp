#include "play/report/midi_listing.h"

#include "play/report/wording.h"
#include "play/report/shown_text.h"

#include <map>
#include <set>

namespace {

const char* ActuatorName(const BandUse& band, bool twoActuators)
{
    if (!twoActuators) return "";
    return band.Actuator == 0 ? "left " : "right ";
}

}  // namespace

void PrintMidiListing(std::FILE* out, const std::string& name, const midi_file::MidiSong& song,
                      const NoteChoice& choice, const ChosenNotes& chosen, const Allocation& allocation,
                      const std::vector<std::string>& controllers, const std::vector<Schedule>& schedules)
{
    std::fprintf(out, "%s: Standard MIDI File, format %d, %d track%s, %d ticks per quarter note, %d tempo change%s\n",
                 name.c_str(), song.Format, song.TrackCount, song.TrackCount == 1 ? "" : "s", song.TicksPerQuarter,
                 song.TempoChanges, song.TempoChanges == 1 ? "" : "s");
    std::fprintf(out, "length: %s to the end of the last note; the file %s (%lld us at the file's tempo)\n",
                 FormatPlayTime(chosen.LengthUs).c_str(), FormatPlayTime(chosen.FileLengthUs).c_str(), song.LengthUs);
    std::set<int> wavering;
    for (const VibratoSetting& setting : chosen.Vibrato)
        if (setting.Depth > 0) wavering.insert(setting.Channel + 1);
    if (!wavering.empty()) {
        std::string channels;
        for (int channel : wavering) channels += (channels.empty() ? "" : ", ") + std::to_string(channel);
        std::fprintf(out, "vibrato: the modulation wheel of channel%s %s; played as 5 ms samples\n",
                     wavering.size() == 1 ? "" : "s", channels.c_str());
    }

    // Every track as --tracks counts them, with the notes of each channel as read; "left out"
    // where they are not chosen.
    std::map<std::pair<int, int>, int> read;
    for (const midi_file::MidiNote& note : song.Notes) ++read[{note.Track, note.Channel}];
    for (int t = 0; t < song.TrackCount; ++t) {
        std::fprintf(out, "track %d", t + 1);
        const std::string& trackName = song.TrackNames[static_cast<std::size_t>(t)];
        if (!trackName.empty()) std::fprintf(out, " \"%s\"", ShownText(trackName).c_str());
        std::fprintf(out, ":");
        const char* separator = "";
        for (auto entry = read.lower_bound({t, 0}); entry != read.end() && entry->first.first == t; ++entry) {
            const int channel = entry->first.second;
            std::fprintf(out, "%s channel %d: %s", separator, channel + 1, CountOf(entry->second, "note").c_str());
            const auto tally = allocation.ByVoice.find(entry->first);
            if (!IsChosen(choice, t, channel))
                std::fprintf(out, " (left out)");
            else if (tally != allocation.ByVoice.end())
                std::fprintf(out, " (%d played, %d joined, %d moved, %d cut short, %d dropped)", tally->second.Played,
                             tally->second.Joined, tally->second.Moved, tally->second.Cut, tally->second.Dropped);
            separator = ";";
        }
        std::fprintf(out, "%s\n", *separator == '\0' ? " no notes" : "");
    }
    if (choice.Transpose != 0) std::fprintf(out, "transposed by %+d semitones\n", choice.Transpose);
    if (choice.TempoPercent != 100) std::fprintf(out, "tempo: %d %%\n", choice.TempoPercent);

    for (std::size_t c = 0; c < controllers.size(); ++c) {
        std::fprintf(out, "controller %zu, %s: %s\n", c + 1, controllers[c].c_str(),
                     CountOf(static_cast<long long>(schedules[c].Reports.size()), "report").c_str());
        const bool two = allocation.Parts[c].size() > 1;
        for (const BandUse& band : allocation.Bands) {
            if (band.Controller != static_cast<int>(c)) continue;
            std::fprintf(out, "  %s%s band: %s", ActuatorName(band, two), band.High ? "high" : "low",
                         CountOf(band.Notes, "note").c_str());
            const char* separator = " (";
            for (const auto& voice : band.NotesByVoice) {
                std::fprintf(out, "%strack %d channel %d: %d", separator, voice.first.first + 1, voice.first.second + 1,
                             voice.second);
                separator = ", ";
            }
            std::fprintf(out, "%s", band.NotesByVoice.empty() ? "" : ")");
            if (band.Moved > 0) std::fprintf(out, ", %d moved by octaves", band.Moved);
            if (band.Doubled > 0) std::fprintf(out, ", %d doubled from another band", band.Doubled);
            std::fprintf(out, "\n");
        }
    }
    const long long played = static_cast<long long>(chosen.Notes.size()) - allocation.Dropped - allocation.TooShort;
    std::fprintf(out, "played: %s, %d moved by octaves into a band's reach, %d joined to their pitch already sounding, "
                      "%d cut short by the melody or the bass\n",
                 CountOf(played, "note").c_str(), allocation.Moved, allocation.Joined, allocation.Cut);
    std::fprintf(out, "dropped: %s (more at once than there are bands)\n", CountOf(allocation.Dropped, "note").c_str());
    if (allocation.TooShort > 0) std::fprintf(out, "of no length: %s\n", CountOf(allocation.TooShort, "note").c_str());
    if (chosen.LeftOut > 0) std::fprintf(out, "left out: %s\n", CountOf(chosen.LeftOut, "note").c_str());
}
