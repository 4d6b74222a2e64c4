#include "play/midi_listing.h"

#include "play/listing.h"

#include <map>

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
    std::fprintf(out, "length: %s (%lld us at the file's tempo)\n", FormatPlayTime(chosen.LengthUs).c_str(),
                 song.LengthUs);

    // The notes of every track and channel as read; "left out" where they are not chosen.
    std::map<std::pair<int, int>, int> read;
    for (const midi_file::MidiNote& note : song.Notes) ++read[{note.Track, note.Channel}];
    int track = -1;
    for (const auto& entry : read) {
        const int t = entry.first.first;
        const int channel = entry.first.second;
        if (t != track) {
            if (track != -1) std::fprintf(out, "\n");
            track = t;
            std::fprintf(out, "track %d", t + 1);
            if (!song.TrackNames[static_cast<std::size_t>(t)].empty())
                std::fprintf(out, " \"%s\"", song.TrackNames[static_cast<std::size_t>(t)].c_str());
            std::fprintf(out, ":");
        } else {
            std::fprintf(out, ";");
        }
        std::fprintf(out, " channel %d: %d notes%s", channel + 1, entry.second,
                     IsChosen(choice, t, channel) ? "" : " (left out)");
    }
    if (track != -1) std::fprintf(out, "\n");
    if (choice.Transpose != 0) std::fprintf(out, "transposed by %+d semitones\n", choice.Transpose);
    if (choice.TempoPercent != 100) std::fprintf(out, "tempo: %d %%\n", choice.TempoPercent);

    for (std::size_t c = 0; c < controllers.size(); ++c) {
        std::fprintf(out, "controller %zu, %s: %zu reports\n", c + 1, controllers[c].c_str(), schedules[c].Reports.size());
        const bool two = allocation.Parts[c].size() > 1;
        for (const BandUse& band : allocation.Bands) {
            if (band.Controller != static_cast<int>(c)) continue;
            std::fprintf(out, "  %s%s band: %d notes", ActuatorName(band, two), band.High ? "high" : "low", band.Notes);
            const char* separator = " (";
            for (const auto& voice : band.NotesByVoice) {
                std::fprintf(out, "%strack %d channel %d: %d", separator, voice.first.first + 1, voice.first.second + 1,
                             voice.second);
                separator = ", ";
            }
            std::fprintf(out, "%s", band.NotesByVoice.empty() ? "" : ")");
            if (band.Moved > 0) std::fprintf(out, ", %d moved by octaves", band.Moved);
            std::fprintf(out, "\n");
        }
    }
    std::fprintf(out, "played: %zu notes, %d moved by octaves into a band's reach\n",
                 chosen.Notes.size() - static_cast<std::size_t>(allocation.Dropped + allocation.TooShort),
                 allocation.Moved);
    std::fprintf(out, "dropped: %d notes (more at once than there are bands)\n", allocation.Dropped);
    if (allocation.TooShort > 0) std::fprintf(out, "of no length: %d notes\n", allocation.TooShort);
    if (chosen.LeftOut > 0) std::fprintf(out, "left out: %d notes\n", chosen.LeftOut);
}
