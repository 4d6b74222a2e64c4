// Live input: the MIDI byte reader, voices placed as notes come and go, when each controller's
// reports go out, and the recording of what was played.
#include "controller/link.h"
#include "play/live/live_output.h"
#include "play/live/live_recording.h"
#include "play/live/live_status.h"
#include "play/live/live_voices.h"
#include "play/live/midi_stream.h"
#include "play/readers/midi_reader.h"
#include "play/schedule/report_schedule.h"
#include "platform/midi_port_names.h"
#include "rumble/tone_tables.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::vector<int>> ReadAll(MidiStreamReader& reader, const std::vector<int>& bytes)
{
    std::vector<std::vector<int>> messages;
    for (const int byte : bytes) {
        MidiMessage m{};
        if (ReadMidiByte(reader, static_cast<unsigned char>(byte), &m)) messages.push_back({m.Status, m.Data1, m.Data2});
    }
    return messages;
}

TEST(MidiStream, ReadsRunningStatusAndRealTimeBytesAnywhereSkipsSystemExclusiveAndCountsJunk)
{
    MidiStreamReader reader;
    const auto messages = ReadAll(reader, {
        0x05, 0x06,                    // data with no status: junk (2)
        0x90, 0x3C, 0xF8, 0x64,        // a clock tick inside a note-on
        0x40, 0x50,                    // running status: another note-on
        0xF0, 0x7E, 0xFE, 0x01, 0xF7,  // system exclusive, active sensing inside it
        0x41, 0x00,                    // no running status after it: junk (2)
        0xC3, 0x05, 0x06,              // program change, running status of one data byte
        0xB0, 0x07,                    // cut short by the next status: lost (1)
        0xF2, 0x10, 0x20,              // song position: read, not passed on, not junk
        0xE1, 0x00, 0x60,              // pitch bend
        0xF0, 0x01, 0x02, 0x80, 0x3C, 0x00,  // a status byte ends an unterminated exclusive
        0xF7, 0xF4,                    // a stray end of exclusive, an undefined status: junk (2)
    });
    EXPECT_EQ(messages, (std::vector<std::vector<int>>{{0x90, 0x3C, 0x64}, {0x90, 0x40, 0x50}, {0xC3, 0x05, 0},
                                                       {0xC3, 0x06, 0}, {0xE1, 0x00, 0x60}, {0x80, 0x3C, 0x00}}));
    EXPECT_EQ(reader.Skipped, 7);
}

// Controllers playing live on the test's own timeline: messages at their times, and each
// controller's reports when the rules put them, as if every write took no time.
struct Write {
    int Controller;
    long long AtUs;
    std::string Bytes;  // left block, then the right one
    bool operator==(const Write& o) const { return Controller == o.Controller && AtUs == o.AtUs && Bytes == o.Bytes; }
};

std::ostream& operator<<(std::ostream& out, const Write& w) { return out << w.Controller << "@" << w.AtUs << ":" << w.Bytes; }

struct Timed {
    long long AtUs;
    std::vector<int> Bytes;
};

std::string Hex(const RumbleBytes& left, const RumbleBytes& right)
{
    std::string text;
    char pair[3];
    for (const RumbleBytes* r : {&left, &right})
        for (unsigned char b : r->Bytes) {
            std::snprintf(pair, sizeof pair, "%02x", b);
            text += pair;
        }
    return text;
}

std::vector<Write> PlayLive(LiveVoices& voices, const std::vector<Timed>& input, long long untilUs,
                            long long intervalUs = DefaultMinIntervalUs)
{
    MidiStreamReader reader;
    std::vector<LiveOutput> outputs(voices.Actuators.size());
    std::vector<Write> writes;
    std::size_t next = 0;
    long long now = 0;
    for (;;) {
        // The earliest report due, given what every controller sounds now.
        long long due = untilUs + 1;
        std::size_t who = 0;
        for (std::size_t c = 0; c < outputs.size(); ++c) {
            RumbleBytes left, right;
            FormLiveBlocks(voices, static_cast<int>(c), &left, &right);
            const long long turn = outputs[c].HasSent ? outputs[c].SentUs + intervalUs : 0;
            const long long at = NextLiveReportUs(outputs[c], left, right, now, turn);
            if (at < due) {
                due = at;
                who = c;
            }
        }
        if (next < input.size() && input[next].AtUs <= due) {
            now = input[next].AtUs;
            std::vector<MidiMessage> messages;
            for (int byte : input[next].Bytes) {
                MidiMessage m{};
                if (ReadMidiByte(reader, static_cast<unsigned char>(byte), &m)) messages.push_back(m);
            }
            TakeLiveMessages(voices, messages, now);
            ++next;
            continue;
        }
        if (due > untilUs) return writes;
        now = due;
        RumbleBytes left, right;
        FormLiveBlocks(voices, static_cast<int>(who), &left, &right);
        NoteLiveReportSent(outputs[who], left, right, now);
        writes.push_back(Write{static_cast<int>(who), now, Hex(left, right)});
    }
}

// A Joy-Con's block: both actuator places carry it.
std::string Both(const RumbleBytes& r) { return Hex(r, r); }

std::string Silence() { return Both(RumbleBytes{{SilenceRumble[0], SilenceRumble[1], SilenceRumble[2], SilenceRumble[3]}}); }

// The block of a key on the high band (and another on the low) at full velocity.
std::string Keys(int high, int low = -1)
{
    const int h = high < 0 ? RestNote : high - 33;
    const int l = low < 0 ? RestNote : low - 33;
    return Both(FormBandRumbleBytes(h, h < 0 ? 0 : HighLevelByNote[h], l, l < 0 ? 0 : LowLevelByNote[l]));
}

class LiveVoicesTest : public ::testing::Test {
protected:
    void SetUp() override { BuildToneTables(); }
};

TEST_F(LiveVoicesTest, ChangesGoOutAsSoonAsTheIntervalAllowsMergedWithinItAndRefreshedWhileSounding)
{
    LiveVoices voices;
    StartLiveVoices(voices, {1}, {}, 0, 100, DefaultBendRangeSemitones, false);
    const std::vector<Write> writes = PlayLive(voices, {
        {100000, {0x90, 72, 127}},         // C5 on the high band
        {105000, {0x90, 60, 127}},         // C4, 5 ms later: waits for the turn, merged
        {108000, {0x80, 72, 0}},           // C5 off within the same interval: the later state wins
        {250000, {0x80, 60, 0}},           // off: silence at once
    }, 300000);
    EXPECT_EQ(writes, (std::vector<Write>{
        {0, 0, Silence()},                 // the first report, then silence is kept
        {0, 100000, Keys(72)},
        {0, 115000, Keys(-1, 60)},         // C4 took the low band: C5 sounded above it
        {0, 165000, Keys(-1, 60)},         // resent while it sounds
        {0, 215000, Keys(-1, 60)},
        {0, 250000, Silence()},
    }));
}

TEST_F(LiveVoicesTest, EveryBandTakenTheOldestGivesWayFirstAmongNotesOnlyThePedalHolds)
{
    LiveVoices voices;
    StartLiveVoices(voices, {2}, {}, 0, 100, DefaultBendRangeSemitones, false);  // a Pro Controller
    const auto play = [&](std::vector<int> bytes) {
        MidiStreamReader reader;
        for (int b : bytes) {
            MidiMessage m{};
            if (ReadMidiByte(reader, static_cast<unsigned char>(b), &m)) TakeLiveMessage(voices, m, 0);
        }
        std::vector<int> keys;  // left high, left low, right high, right low
        for (const LiveBand& band : voices.Bands) keys.push_back(band.Key);
        return keys;
    };
    using Keys = std::vector<int>;
    EXPECT_EQ(play({0x90, 72, 100}), (Keys{72, -1, 72, -1}));  // C5, doubled by the idle actuator
    EXPECT_EQ(play({0x90, 60, 100}), (Keys{72, 60, 72, -1}));  // C4 below it: a low band
    EXPECT_EQ(play({0x90, 76, 100}), (Keys{72, 60, 76, -1}));  // E5 takes the band that only doubled
    EXPECT_EQ(play({0x90, 48, 100}), (Keys{72, 60, 76, 48}));
    EXPECT_EQ(play({0x90, 79, 100}), (Keys{79, 60, 76, 48}));  // G5: C5, the oldest high note, gives way
    EXPECT_EQ(voices.Counts.GaveWay, 1);
    EXPECT_EQ(play({0x80, 72, 0}), (Keys{79, 60, 76, 48}));    // the key of the note cut short: nothing
    EXPECT_EQ(play({0x90, 83, 100}), (Keys{79, 60, 83, 48}));  // B5: now E5 is the oldest
    // Pedal down, B5 released: only the pedal holds it, so it gives way before the older G5.
    EXPECT_EQ(play({0xB0, 64, 127, 0x80, 83, 0}), (Keys{79, 60, 83, 48}));
    EXPECT_EQ(play({0x90, 81, 100}), (Keys{79, 60, 81, 48}));
    EXPECT_EQ(play({0xB0, 123, 0}), (Keys{79, 60, 81, 48}));  // all notes off: the pedal holds them
    EXPECT_EQ(play({0xB0, 64, 0}), (Keys{-1, -1, -1, -1}));   // pedal up: they end
    EXPECT_EQ(play({0x90, 60, 100, 0xB0, 64, 127, 0xB0, 120, 0}), (Keys{-1, -1, -1, -1}));  // all sound off
}

TEST_F(LiveVoicesTest, PitchBendMovesTheBandsCodeToTheNearestStepAndVolumeScalesTheLevel)
{
    LiveVoices voices;
    StartLiveVoices(voices, {2}, {}, 0, 100, DefaultBendRangeSemitones, false);  // a Pro Controller
    MidiStreamReader reader;
    const auto send = [&](std::vector<int> bytes) {
        for (int b : bytes) {
            MidiMessage m{};
            if (ReadMidiByte(reader, static_cast<unsigned char>(b), &m)) TakeLiveMessage(voices, m, 0);
        }
        RumbleBytes left, right;
        FormLiveBlocks(voices, 0, &left, &right);
        return Hex(left, right);
    };
    const int a4 = 69 - 33;
    const RumbleBytes plain = FormBandRumbleBytes(a4, HighLevelByNote[a4], RestNote, 0);
    // A4 alone: both actuators (the second doubling it) play it on their high band.
    EXPECT_EQ(send({0x90, 69, 127}), Hex(plain, plain));
    // Full bend up at 2 semitones: 5.33 steps of 32 to an octave, so 5.
    const RumbleBytes up5 = FormBentRumbleBytes(a4, HighLevelByNote[a4], 5, RestNote, 0, 0);
    EXPECT_EQ(send({0xE0, 0x7F, 0x7F}), Hex(up5, up5));
    EXPECT_NE(up5.Bytes[0], plain.Bytes[0]);
    // The sender sets 12 semitones (registered parameter 0): half a bend down is an octave down.
    const RumbleBytes down32 = FormBentRumbleBytes(a4, HighLevelByNote[a4], -32, RestNote, 0, 0);
    EXPECT_EQ(send({0xB0, 101, 0, 100, 0, 6, 12, 0xE0, 0x00, 0x00}), Hex(down32, down32));
    EXPECT_EQ(FormBentRumbleBytes(a4 - 12, HighLevelByNote[a4], 0, RestNote, 0, 0).Bytes[0], down32.Bytes[0]);
    // Channel volume 50 halves the level; 0 silences the band while the note still holds it.
    const int half = (HighLevelByNote[a4] + 1) / 2;
    send({0xE0, 0x00, 0x40});
    const RumbleBytes quiet = FormBandRumbleBytes(a4, half, RestNote, 0);
    EXPECT_EQ(send({0xB0, 7, 50}), Hex(quiet, quiet));
    const RumbleBytes none = FormBandRumbleBytes(a4, 0, RestNote, 0);
    EXPECT_EQ(send({0xB0, 7, 0}), Hex(none, none));
    EXPECT_EQ(voices.Bands[0].Key, 69);
    // Channels not chosen play nothing: the percussion channel 10 by default.
    send({0xB0, 7, 100, 0x80, 69, 0, 0x99, 69, 127});
    EXPECT_EQ(voices.Bands[0].Key, -1);
    EXPECT_EQ(voices.Counts.Ignored, 1);
}

TEST_F(LiveVoicesTest, ChordsArePlacedAsAFilesAndTheRecordingHoldsTheNotesAsTheySoundedAndReadsBack)
{
    LiveVoices voices;
    StartLiveVoices(voices, {1}, {}, 0, 100, DefaultBendRangeSemitones, true);
    const auto take = [&](long long atUs, std::vector<int> bytes) {
        MidiStreamReader reader;
        std::vector<MidiMessage> messages;
        for (int b : bytes) {
            MidiMessage m{};
            if (ReadMidiByte(reader, static_cast<unsigned char>(b), &m)) messages.push_back(m);
        }
        TakeLiveMessages(voices, messages, atUs);
    };
    take(1000000, {0xB0, 7, 50, 0x90, 72, 100});  // the recording starts at the first note
    take(1200000, {0x90, 28, 80});                 // E1 is out of the low band's reach: moved up
    take(1300000, {0x90, 74, 90});                 // every band taken: C5 gives way
    take(1500000, {0x80, 28, 0, 0x80, 74, 0});
    take(1600000, {0x90, 60, 100, 67, 100});       // a chord: its top note to the high band
    EXPECT_EQ(voices.Bands[0].Key, 67);
    EXPECT_EQ(voices.Bands[1].Key, 60);
    SilenceLiveVoices(voices, 1700000);
    midi_file::MidiSong song;
    midi_file::MidiError error{};
    ASSERT_TRUE(midi_file::ReadMidiFile(FormRecordingMidi(voices.Played, 0), &song, &error)) << error.Message;
    ASSERT_EQ(song.Notes.size(), 5u);
    const auto note = [&](std::size_t i) {
        const midi_file::MidiNote& n = song.Notes[i];
        return std::vector<long long>{n.StartUs, n.EndUs, n.Key, n.Velocity};
    };
    EXPECT_EQ(note(0), (std::vector<long long>{0, 300000, 72, 50}));
    EXPECT_EQ(note(1), (std::vector<long long>{200000, 500000, 52, 40}));  // E3: the lowest E the band sounds
    EXPECT_EQ(note(2), (std::vector<long long>{300000, 500000, 74, 45}));
    EXPECT_EQ(note(3), (std::vector<long long>{600000, 700000, 60, 50}));
    EXPECT_EQ(note(4), (std::vector<long long>{600000, 700000, 67, 50}));
}

}  // namespace

namespace {

TEST_F(LiveVoicesTest, TheStatusLineNamesWhatEachBandOfEachControllerPlays)
{
    LiveVoices voices;
    StartLiveVoices(voices, {1, 2}, {}, 0, 100, DefaultBendRangeSemitones, false);
    TakeLiveMessages(voices, {{0x90, 76, 100}, {0x90, 61, 100}}, 0);  // E5, then C#4 below it
    EXPECT_EQ(FormLiveStatus(voices.Bands, {"right Joy-Con", "Pro Controller"}),
              "right Joy-Con E5 - | Pro Controller L: E5 C#4 R: E5 -");  // the Pro Controller doubles E5
}

}  // namespace

namespace {

TEST(MidiPorts, APortIsChosenByItsIdOrTheOnlyNameThatHoldsWhatIsGiven)
{
    const std::vector<MidiPortName> ports{{"20:0", "USB Keyboard:MIDI 1"}, {"24:0", "Synth:In"}, {"24:1", "Synth:Thru"}};
    std::size_t index = 9;
    std::string failure;
    EXPECT_EQ(MatchMidiPort(ports, "24:1", "CLIENT:PORT", &index, &failure), PortMatch::Found);
    EXPECT_EQ(index, 2u);
    EXPECT_EQ(MatchMidiPort(ports, "usb keyboard", "CLIENT:PORT", &index, &failure), PortMatch::Found);
    EXPECT_EQ(index, 0u);
    EXPECT_EQ(MatchMidiPort(ports, "synth", "CLIENT:PORT", &index, &failure), PortMatch::Several);
    EXPECT_EQ(failure, "\"synth\" matches several MIDI input ports: 24:0 \"Synth:In\", 24:1 \"Synth:Thru\"; give more "
                       "of the name, or its CLIENT:PORT");
    EXPECT_EQ(MatchMidiPort(ports, "piano", "number", &index, &failure), PortMatch::None);
    EXPECT_EQ(failure.rfind("no MIDI input port named \"piano\"; there are: 20:0", 0), 0u);
}

}  // namespace
