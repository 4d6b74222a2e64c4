// Notes of a MIDI song given out over the bands of several controllers.
#include "play/arrange/voice_allocation.h"
#include "play/arrange/voice_builder.h"
#include "rumble/tone_tables.h"

#include <gtest/gtest.h>

namespace {

constexpr int Full = 127;

midi_file::MidiNote NoteOf(int key, long long startMs, long long endMs, int velocity = Full, int track = 1)
{
    return midi_file::MidiNote{startMs * 1000, endMs * 1000, key, velocity, 0, track};
}

// The note index each band of the allocation plays at its first step (RestNote for none).
std::vector<int> FirstNotes(const Allocation& a)
{
    std::vector<int> notes;
    for (const std::vector<Piece>& part : a.Parts)
        for (const Piece& piece : part)
            for (const PieceVoice& voice : piece.Voices) notes.push_back(voice.Steps.empty() ? RestNote : voice.Steps[0].Note);
    return notes;
}

TEST(VoiceAllocation, HighestNotesToHighBandsLowestToLowSpreadOverControllersTheRestDropped)
{
    BuildToneTables();
    // Five notes at once on two Joy-Cons (four bands), given lowest first.
    const std::vector<midi_file::MidiNote> notes{NoteOf(45, 0, 500), NoteOf(52, 0, 500), NoteOf(57, 0, 500),
                                                  NoteOf(64, 0, 500), NoteOf(76, 0, 500)};
    const Allocation a = AllocateVoices(notes, {1, 1}, 500000, 100);
    // Bands in order: controller 1 high, low; controller 2 high, low. The outer notes are served
    // first, each on the controller with fewer bands sounding; the middle note (57) finds every
    // band taken.
    EXPECT_EQ(FirstNotes(a), (std::vector<int>{76 - 33, 52 - 33, 64 - 33, 45 - 33}));
    EXPECT_EQ(a.Dropped, 1);
    // A band falls silent when its note ends.
    EXPECT_EQ(a.Parts[0][0].Voices[0].Steps.back().AtUs, 500000);
    EXPECT_EQ(a.Parts[0][0].Voices[0].Steps.back().Note, RestNote);
}

TEST(VoiceAllocation, NotesOutOfReachMoveByOctavesAndVelocityScalesTheLevel)
{
    BuildToneTables();
    // A Pro Controller: two actuators. Key 108 is above the table, key 21 below it and below the
    // table's lowest octave that has a level; the low note at half velocity.
    const std::vector<midi_file::MidiNote> notes{NoteOf(108, 0, 100), NoteOf(21, 0, 100, 64)};
    const Allocation a = AllocateVoices(notes, {2}, 100000, 100);
    ASSERT_EQ(a.Parts[0].size(), 2u);
    const VoiceStep& high = a.Parts[0][0].Voices[0].Steps[0];
    const VoiceStep& low = a.Parts[0][0].Voices[1].Steps[0];
    EXPECT_EQ(high.Note, 108 - 33 - 24);
    EXPECT_EQ(low.Note, 21 - 33 + 24);
    EXPECT_TRUE(HighBandReaches[high.Note] && LowBandReaches[low.Note]);
    EXPECT_EQ(a.Moved, 2);
    EXPECT_EQ(high.HighLevel, HighLevelByNote[high.Note]);
    EXPECT_EQ(low.LowLevel, ScaleLevel(LowLevelByNote[low.Note], 100 * 64 / Full));
    EXPECT_EQ(low.HighLevel, 0);
}

TEST(VoiceAllocation, APitchAlreadySoundingIsHeldOnSoTheMelodyKeepsABand)
{
    BuildToneTables();
    // One Joy-Con: a bass doubled on another channel a little later and longer, then the melody.
    const std::vector<midi_file::MidiNote> notes{
        {0, 1000000, 40, Full, 0, 1}, {5000, 1200000, 40, Full, 1, 2}, {10000, 500000, 76, Full, 0, 3}};
    const Allocation a = AllocateVoices(notes, {1}, 1200000, 100);
    EXPECT_EQ(a.Dropped, 0);
    EXPECT_EQ(a.Joined, 1);
    EXPECT_EQ(a.ByVoice.at({2, 1}).Joined, 1);
    const auto& high = a.Parts[0][0].Voices[0].Steps;
    const auto& low = a.Parts[0][0].Voices[1].Steps;
    // The bass, alone at first, took the high band and sounds once until the later copy ends;
    // the melody has the other band.
    ASSERT_EQ(high.size(), 2u);
    EXPECT_EQ((high[0].Note - (40 - 33)) % 12, 0);
    EXPECT_EQ(high[1].AtUs, 1200000);
    ASSERT_FALSE(low.empty());
    EXPECT_EQ(low[0].AtUs, 10000);
    EXPECT_EQ((low[0].Note - (76 - 33)) % 12, 0);
}

TEST(VoiceAllocation, AnIdleControllerDoublesTheMelodyAndGivesItUpToANoteOfItsOwn)
{
    BuildToneTables();
    // Two Joy-Cons: a melody note alone, then an inner voice, then a note above the melody.
    const std::vector<midi_file::MidiNote> notes{NoteOf(76, 0, 1000), NoteOf(64, 500, 1000), NoteOf(81, 600, 1000)};
    const Allocation a = AllocateVoices(notes, {1, 1}, 1000000, 100);
    EXPECT_EQ(a.Dropped, 0);
    const auto& first = a.Parts[0][0].Voices[0].Steps;
    const auto& second = a.Parts[1][0].Voices[0].Steps;
    ASSERT_EQ(first.size(), 2u);
    ASSERT_EQ(second.size(), 3u);
    EXPECT_EQ(first[0].Note, 76 - 33);
    // The second controller's high band doubled it until the high note needed the band.
    EXPECT_EQ(second[0].Note, 76 - 33);
    EXPECT_EQ(second[1].AtUs, 600000);
    EXPECT_EQ(second[1].Note, 81 - 33);
    EXPECT_EQ(a.Parts[1][0].Voices[1].Steps[0].Note, 64 - 33);
    EXPECT_EQ(a.Bands[2].Doubled, 1);
}

}  // namespace
