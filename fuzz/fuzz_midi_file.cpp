// Feeds arbitrary bytes to the MIDI file reader and the RIFF MIDI unwrapping. Checks that a
// rejection names a byte inside the file, and that an accepted song keeps its notes sorted, in
// range and within the song's length.
#include "fuzz/require.h"
#include "play/readers/midi_reader.h"
#include "play/readers/riff_midi.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>

namespace {

constexpr int MaxKey = 127;
constexpr int MaxVelocity = 127;
constexpr int MaxChannel = 15;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    // A RIFF MIDI file's data chunk, found or refused, lies within the file.
    std::string wrapped;
    std::size_t dataAt = 0;
    std::size_t faultAt = 0;
    std::string message;
    if (midi_file::FindRiffMidiData(bytes, &wrapped, &dataAt, &faultAt, &message))
        Require(dataAt <= size && wrapped.size() <= size - dataAt && bytes.compare(dataAt, wrapped.size(), wrapped) == 0,
                "a data chunk outside the file");
    else
        Require(faultAt <= size && !message.empty(), "a RIFF fault outside the file or without a message");
    midi_file::MidiSong song{};
    midi_file::MidiError error{};
    if (!midi_file::ReadMidiFile(bytes, &song, &error)) {
        Require(error.Offset <= size, "an error outside the file");
        Require(!error.Message.empty(), "an error without a message");
        return 0;
    }
    Require(song.Format == 0 || song.Format == 1, "a format other than 0 or 1");
    Require(song.TicksPerQuarter > 0, "no ticks per quarter note");
    Require(song.TrackNames.size() == static_cast<std::size_t>(song.TrackCount), "not one name per track");
    Require(song.Notes.size() <= midi_file::MaxNotes, "too many notes");
    Require(song.LengthUs >= 0 && song.LengthUs <= midi_file::MaxLengthUs, "a length out of range");
    for (std::size_t i = 0; i < song.Notes.size(); ++i) {
        const midi_file::MidiNote& n = song.Notes[i];
        Require(0 <= n.StartUs && n.StartUs <= n.EndUs && n.EndUs <= song.LengthUs, "a note out of the song");
        Require(n.Key >= 0 && n.Key <= MaxKey, "a key out of range");
        Require(n.Velocity >= 1 && n.Velocity <= MaxVelocity, "a velocity out of range");
        Require(n.Channel >= 0 && n.Channel <= MaxChannel, "a channel out of range");
        Require(n.Track >= 0 && n.Track < song.TrackCount, "a track out of range");
        if (i == 0) continue;
        const midi_file::MidiNote& p = song.Notes[i - 1];
        Require(std::tie(p.StartUs, p.Key, p.Channel, p.Track) <= std::tie(n.StartUs, n.Key, n.Channel, n.Track),
                "notes out of order");
    }
    return 0;
}
