// Feeds arbitrary bytes to live playing: the first byte chooses the controllers, the rest is a
// MIDI stream read a byte at a time into the voices, a millisecond apart. Checks after every
// message that the bands and the keys agree, that no level passes the safe maximum, and that
// what was played writes a MIDI file that reads back.
#include "fuzz/require.h"
#include "play/live/live_recording.h"
#include "play/live/live_voices.h"
#include "play/live/midi_stream.h"
#include "play/readers/midi_reader.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

constexpr int MaxLevel = LevelCount - 1;
constexpr long long ByteSpacingUs = 1000;

void CheckVoices(const LiveVoices& voices)
{
    for (std::size_t b = 0; b < voices.Bands.size(); ++b) {
        const LiveBand& band = voices.Bands[b];
        const int level = LevelOfBand(voices, static_cast<int>(b));
        Require(level >= 0 && level <= MaxLevel, "a level above the safe maximum");
        if (band.Key < 0) continue;
        Require(band.Note >= 0 && band.Note < NoteCount, "a sounding band without a note");
        if (band.Doubles >= 0) {
            const LiveBand& source = voices.Bands[static_cast<std::size_t>(band.Doubles)];
            Require(source.Key == band.Key && source.Doubles < 0, "a band doubling what does not sound");
            continue;
        }
        bool held = false;
        for (const auto& channel : voices.Keys)
            for (const LiveKey& key : channel) held = held || key.Band == static_cast<int>(b);
        Require(held, "a band sounding a note no key holds");
    }
    for (const auto& channel : voices.Keys)
        for (const LiveKey& key : channel)
            if (key.Band >= 0) {
                const LiveBand& band = voices.Bands[static_cast<std::size_t>(key.Band)];
                Require(band.Key >= 0 && band.Doubles < 0, "a key held on a band that is silent");
            }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    static const bool built = (BuildToneTables(), true);
    (void)built;
    // Up to four controllers, each a Joy-Con or a Pro Controller, from the bits of the first byte.
    std::vector<int> actuators;
    for (int c = 0; c <= (data[0] & 3); ++c) actuators.push_back((data[0] >> (2 + c)) & 1 ? 2 : 1);
    LiveVoices voices;
    StartLiveVoices(voices, actuators, {}, (data[0] & 0x40) ? 12 : 0, (data[0] & 0x80) ? 400 : 100,
                    DefaultBendRangeSemitones, true);
    MidiStreamReader reader;
    long long now = 0;
    for (std::size_t i = 1; i < size; ++i) {
        now += ByteSpacingUs;
        MidiMessage message{};
        if (!ReadMidiByte(reader, data[i], &message)) continue;
        Require(message.Status >= 0x80 && message.Status < 0xF0 && message.Data1 < 0x80 && message.Data2 < 0x80,
                "a message that is not a channel message");
        TakeLiveMessage(voices, message, now);
        CheckVoices(voices);
    }
    Require(reader.Skipped >= 0 && static_cast<std::size_t>(reader.Skipped) < size, "more skipped than read");
    SilenceLiveVoices(voices, now + ByteSpacingUs);
    for (const PlayedEvent& e : voices.Played) Require(e.EndUs >= e.StartUs, "a played note that never ends");
    midi_file::MidiSong song;
    midi_file::MidiError error{};
    Require(midi_file::ReadMidiFile(FormRecordingMidi(voices.Played, 0), &song, &error), "a recording that does not read back");
    return 0;
}
