// Standard MIDI Files: timing through the tempo map, note pairing, and where faults are named.
#include "play/readers/midi_reader.h"
#include "play/arrange/note_selection.h"
#include "play/arrange/voice_allocation.h"
#include "rumble/tone_tables.h"
#include "play/readers/riff_midi.h"
#include "play/report/shown_text.h"

#include <gtest/gtest.h>

#include <tuple>

namespace {

using midi_file::MidiError;
using midi_file::MidiSong;
using Note = std::tuple<long long, long long, int, int, int, int>;  // start, end, key, velocity, channel, track

std::string Bytes(std::initializer_list<int> values)
{
    std::string bytes;
    for (int v : values) bytes += static_cast<char>(v);
    return bytes;
}

std::string Chunk(const char* type, const std::string& data)
{
    const std::size_t n = data.size();
    return type + Bytes({int(n >> 24 & 0xFF), int(n >> 16 & 0xFF), int(n >> 8 & 0xFF), int(n & 0xFF)}) + data;
}

std::string Header(int format, int tracks, int division)
{
    return Chunk("MThd", Bytes({0, format, tracks >> 8, tracks & 0xFF, division >> 8, division & 0xFF}));
}

MidiSong Read(const std::string& file)
{
    MidiSong song{};
    MidiError error{};
    EXPECT_TRUE(midi_file::ReadMidiFile(file, &song, &error)) << error.Offset << ": " << error.Message;
    return song;
}

std::vector<Note> NotesOf(const MidiSong& song)
{
    std::vector<Note> notes;
    for (const auto& n : song.Notes) notes.emplace_back(n.StartUs, n.EndUs, n.Key, n.Velocity, n.Channel, n.Track);
    return notes;
}

TEST(PlayMidi, TempoChangesFromAllTracksTimeEveryTrackExactly)
{
    // 96 ticks a quarter: 250000 us a quarter from tick 192 (track 0), 1000000 from 288 (track 1).
    const std::string first = Bytes({0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0, 0x60, 0xFF, 0x51, 3, 0x03, 0xD0, 0x90,
                                     0x00, 0x90, 62, 90, 0x31, 62, 0, 0x2F, 0x90, 64, 80, 0x60, 64, 0, 0x00, 0xFF, 0x2F, 0});
    const std::string second = Bytes({0x00, 0x92, 59, 70, 0x30, 0x82, 59, 0, 0x81, 0x70, 0xFF, 0x51, 3, 0x0F, 0x42, 0x40});
    const MidiSong song = Read(Header(1, 2, 96) + Chunk("MTrk", first) + Chunk("MTrk", second));
    EXPECT_EQ(NotesOf(song), (std::vector<Note>{{0, 250000, 59, 70, 2, 1},
                                                 {0, 500000, 60, 100, 0, 0},
                                                 {1000000, 1127604, 62, 90, 0, 0},
                                                 {1250000, 2250000, 64, 80, 0, 0}}));
    EXPECT_EQ(song.LengthUs, 2250000);
    EXPECT_EQ(song.TempoChanges, 2);
    EXPECT_EQ(song.TrackCount, 2);
}

TEST(PlayMidi, PairsNotesFirstInFirstOutThroughRunningStatusAndSkippedEvents)
{
    // 16 ticks a quarter, 31250 us a tick. A longer header, a foreign chunk and trailing bytes.
    const std::string track = Bytes({0x00, 0x90, 60, 64, 0x00, 60, 80, 0x10, 60, 0,       // two on, one off by velocity 0
                                     0x00, 0xF0, 3, 0x90, 0x3C, 0xF7,                     // sysex holding note bytes
                                     0x00, 0xFF, 0x03, 4, 'L', 'e', 'a', 'd', 0x00, 0xFF, 0x03, 1, 'X',
                                     0x10, 0x80, 60, 0, 0x00, 0x99, 36, 100,              // the second ends; a drum never does
                                     0x20, 0xFF, 0x2F, 0, 0x00, 0x90, 62, 64});           // after the end: ignored
    const std::string header = Chunk("MThd", Bytes({0, 0, 0, 1, 0, 16, 0xAB, 0xCD}));
    const MidiSong song = Read(header + Chunk("XFIH", Bytes({0x90, 60, 64})) + Chunk("MTrk", track) + "junk");
    EXPECT_EQ(NotesOf(song), (std::vector<Note>{{0, 500000, 60, 64, 0, 0},
                                                 {0, 1000000, 60, 80, 0, 0},
                                                 {1000000, 2000000, 36, 100, 9, 0}}));
    EXPECT_EQ(song.LengthUs, 2000000);
    EXPECT_EQ(song.TrackNames, std::vector<std::string>{"Lead"});
}

TEST(PlayMidi, TheModulationWheelIsKeptWithItsTimeAndChannelAndChosenWithItsTrack)
{
    // 16 ticks a quarter, 31250 us a tick: the wheel of channel 3 at 100, then 0 by running
    // status; another controller (7, volume) and channel 1's wheel at tick 32.
    const std::string track = Bytes({0x00, 0x90, 60, 64, 0x10, 0xB2, 1, 100, 0x10, 1, 0, 0x00, 7, 90,
                                     0x00, 0xB0, 1, 30, 0x10, 0x80, 60, 0, 0x00, 0xFF, 0x2F, 0});
    const MidiSong song = Read(Header(0, 1, 16) + Chunk("MTrk", track));
    ASSERT_EQ(song.Modulation.size(), 3u);
    const auto wheel = [&](std::size_t i) {
        const midi_file::MidiModulation& m = song.Modulation[i];
        return std::make_tuple(m.AtUs, m.Value, m.Channel);
    };
    EXPECT_EQ(wheel(0), std::make_tuple(500000LL, 100, 2));
    EXPECT_EQ(wheel(1), std::make_tuple(1000000LL, 0, 2));
    EXPECT_EQ(wheel(2), std::make_tuple(1000000LL, 30, 0));
    NoteChoice choice;
    choice.Channels = {3};
    choice.TempoPercent = 200;
    const ChosenNotes chosen = ChooseNotes(song, choice);
    ASSERT_EQ(chosen.Vibrato.size(), 2u);
    EXPECT_EQ(chosen.Vibrato[0].AtUs, 250000);
    EXPECT_EQ(chosen.Vibrato[0].Depth, 100);
    // The note keeps its channel on the band it is given, for the vibrato to find.
    BuildToneTables();
    choice.Channels = {1};
    const Allocation voices = AllocateVoices(ChooseNotes(song, choice).Notes, {1}, 1000000, 100);
    ASSERT_FALSE(voices.Parts[0][0].Voices[0].Steps.empty());
    EXPECT_EQ(voices.Parts[0][0].Voices[0].Steps[0].Channel, 0);
}

TEST(PlayMidi, FaultsNameTheirByte)
{
    const std::string head = Header(0, 1, 96);   // 14 bytes; track data starts at 22
    std::string notes = Bytes({0x00, 0x90, 60, 64});
    for (std::size_t i = 1; i <= midi_file::MaxNotes; ++i) notes += Bytes({0x00, 60, 64});
    // A tempo change so far on that tick times tempo would not fit in 64 bits.
    std::string far = Bytes({0x00, 0xFF, 0x51, 3, 0xFF, 0xFF, 0xFF});
    for (int i = 0; i < 2100; ++i) far += Bytes({0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0x01, 0});
    far += Bytes({0x00, 0xFF, 0x51, 3, 0x07, 0xA1, 0x20});
    const struct {
        std::string File;
        std::size_t Offset;
        const char* Says;
    } cases[] = {
        {"RIFF" + head.substr(4), 0, "no MThd"},
        {std::string(midi_file::MaxFileBytes + 1, 0), midi_file::MaxFileBytes, "larger than 16 MiB"},
        {Header(1, 1, 0xE728) + Chunk("MTrk", ""), 12, "SMPTE"},
        {Header(2, 1, 96), 8, "format 2"},
        {Header(0, 2, 96), 10, "more than one track"},
        {head + Chunk("MTrk", "abcdef").substr(0, 12), 14, "runs past the end of the file"},
        {Header(1, 65535, 96) + Chunk("MTrk", "") + "MTr", 25, "ends before all"},
        {head + Chunk("MTrk", Bytes({0x81, 0x81, 0x81, 0x81, 0x00, 0x90})), 22, "longer than four"},
        {head + Chunk("MTrk", Bytes({0x00, 60, 64})), 23, "running status"},
        {head + Chunk("MTrk", Bytes({0x00, 0x90, 60, 64, 0x00, 0xF0, 0, 0x00, 60, 64})), 30, "running status"},
        {head + Chunk("MTrk", Bytes({0x00, 0x90, 60})) + "more", 25, "ends inside an event"},
        {head + Chunk("MTrk", Bytes({0x00, 0xFF, 0x01, 0x10, 'a'})) + "more", 27, "past the end of the track"},
        {head + Chunk("MTrk", Bytes({0x00, 0xF4})), 23, "status byte 0xF4"},
        {head + Chunk("MTrk", Bytes({0x00, 0x90, 60, 0x90})), 25, "above 127"},
        {head + Chunk("MTrk", Bytes({0x00, 0xFF, 0x51, 2, 7, 0xA1})), 25, "set-tempo"},
        {Header(0, 1, 1) + Chunk("MTrk", Bytes({0x00, 0xFF, 0x51, 3, 0xFF, 0xFF, 0xFF, 0xC0, 0x00, 0xFF, 0x2F, 0})), 29,
         "longer than a day"},
        {head + Chunk("MTrk", far), 29, "longer than a day"},
        {head + Chunk("MTrk", notes), 22 + 4 + 3 * (midi_file::MaxNotes - 1), "more than 1000000 notes"},
    };
    for (const auto& c : cases) {
        MidiSong song{};
        MidiError error{};
        ASSERT_FALSE(midi_file::ReadMidiFile(c.File, &song, &error)) << c.Says;
        EXPECT_EQ(error.Offset, c.Offset) << c.Says << ": " << error.Message;
        EXPECT_NE(error.Message.find(c.Says), std::string::npos) << error.Message;
    }
}

}  // namespace

namespace {

std::string LittleChunk(const char* type, const std::string& data)
{
    const std::size_t n = data.size();
    return type + Bytes({int(n & 0xFF), int(n >> 8 & 0xFF), int(n >> 16 & 0xFF), int(n >> 24 & 0xFF)}) + data;
}

TEST(PlayMidi, RiffMidiFilesGiveTheirDataChunkAndFaultsNameTheirByte)
{
    const std::string smf = Header(0, 1, 96) + Chunk("MTrk", Bytes({0x00, 0x90, 60, 64, 0x60, 0x80, 60, 0}));
    // An odd-sized chunk before the data is padded to an even length.
    const std::string form = "RMID" + LittleChunk("INFO", "odd") + std::string(1, '\0') + LittleChunk("data", smf);
    const std::string file = LittleChunk("RIFF", form);
    ASSERT_TRUE(midi_file::LooksLikeRiffMidi(file));
    std::string midi;
    std::size_t data = 0;
    std::size_t at = 0;
    std::string message;
    ASSERT_TRUE(midi_file::FindRiffMidiData(file, &midi, &data, &at, &message)) << message;
    EXPECT_EQ(midi, smf);
    EXPECT_EQ(data, 12u + 8 + 4 + 8);
    // A data chunk that claims more than the file has.
    const std::string cut = file.substr(0, file.size() - 5);
    ASSERT_FALSE(midi_file::FindRiffMidiData(cut, &midi, &data, &at, &message));
    EXPECT_EQ(at, 12u + 8 + 4 + 4);
    EXPECT_NE(message.find("runs past the end"), std::string::npos) << message;
    ASSERT_FALSE(midi_file::FindRiffMidiData(LittleChunk("RIFF", "RMID"), &midi, &data, &at, &message));
    EXPECT_NE(message.find("without a \"data\" chunk"), std::string::npos) << message;
}

TEST(PlayMidi, NamesAreShownAsUtf8WithoutControlCharacters)
{
    EXPECT_EQ(ShownText("Caf\xc3\xa9 \xe2\x99\xaa"), "Caf\xc3\xa9 \xe2\x99\xaa");  // UTF-8 kept
    EXPECT_EQ(ShownText("Caf\xe9 \xbd"), "Caf\xc3\xa9 \xc2\xbd");                 // Latin-1 turned into UTF-8
    EXPECT_EQ(ShownText("a\x1b[2Jb\x7f"), "a?[2Jb?");                             // controls cannot drive the terminal
    EXPECT_EQ(ShownText("\x9b" "2J\xe9"), "?2J\xc3\xa9");                         // nor can C1 controls
    EXPECT_EQ(ShownText("\xc2\x9b" "2J"), "?2J");
    EXPECT_EQ(ShownText("\xed\xa0\x80"), "\xc3\xad\xc2\xa0?");                    // a surrogate is no UTF-8
}

}  // namespace

namespace {

TEST(PlayMidi, TracksAreChosenByNumberRangeOrNameAndAWrongOneSaysWhatThereIs)
{
    midi_file::MidiSong song{};
    song.TrackCount = 5;
    song.TrackNames = {"", "Piano", "Bass", "bass", ""};
    std::vector<int> tracks;
    std::string error;
    ASSERT_TRUE(ResolveTracks({"5", "2-3", "BASS"}, song, &tracks, &error)) << error;
    EXPECT_EQ(tracks, (std::vector<int>{2, 3, 4, 5}));
    const struct {
        std::string Choice;
        const char* Says;
    } wrong[] = {{"6", "there is no track 6; the file has 5 tracks"},
                 {"3-9", "there is no track 9"},
                 {"0", "tracks count from 1"},
                 {"4-2", "a range from low to high"},
                 {"Drums", "no track is named \"Drums\"; its named tracks: 2 \"Piano\", 3 \"Bass\", 4 \"bass\""}};
    for (const auto& w : wrong) {
        EXPECT_FALSE(ResolveTracks({w.Choice}, song, &tracks, &error)) << w.Choice;
        EXPECT_NE(error.find(w.Says), std::string::npos) << error;
    }
    song.Notes = {{0, 1, 60, 64, 9, 2}, {0, 1, 60, 64, 0, 1}, {0, 1, 62, 64, 1, 1}};
    EXPECT_EQ(WhereNotesAre(song), "track 2 (channels 1, 2), track 3 (channel 10)");
}

}  // namespace
