// The play-data interpreter, with the note player replaced by one that records its calls.
#include "playdata/play_command.h"
#include "playdata/player_state.h"
#include "tests/support/core_state_reset.h"
#include "tests/support/recording_note_player.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

namespace {

using recording_note_player::Call;
using recording_note_player::Calls;

class PlayCommandTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ResetPlayerState();
        Calls.clear();
    }

    // Runs the commands and returns what they printed.
    static std::string Run(std::initializer_list<const char*> commands)
    {
        ::testing::internal::CaptureStdout();
        for (const char* command : commands) PlayCommand(command);
        return ::testing::internal::GetCapturedStdout();
    }

    static void SetOctave3Unit25Length2() { PlayerState = PlayerStateRecord{25, 2, 3}; }
};

TEST_F(PlayCommandTest, EveryCommandIsEchoedIgnoredOnesIncluded)
{
    EXPECT_EQ(Run({"e4", "", "x5", "#", "9", "i", "\x80z", "~"}),
              "play data = \"e4\"\n"
              "play data = \"\"\n"
              "play data = \"x5\"\n"
              "play data = \"#\"\n"
              "play data = \"9\"\n"
              "play data = \"i\"\n"
              "play data = \"\x80z\"\n"
              "play data = \"~\"\n");
    // Only e4 played; the rest (a high byte is negative as a signed char) did nothing.
    EXPECT_EQ(Calls, (std::vector<Call>{{43, 4, 80}}));
    EXPECT_EQ(PlayerState.UnitMs, 80);
    EXPECT_EQ(PlayerState.DefaultLength, 4);
    EXPECT_EQ(PlayerState.Octave, 4);
}

TEST_F(PlayCommandTest, UnitTimeIsReplacedWhenNotPositiveAndKeptWhenMissing)
{
    Run({"t0"});
    EXPECT_EQ(PlayerState.UnitMs, 100);
    Run({"t7", "t-5"});
    EXPECT_EQ(PlayerState.UnitMs, 100);
    Run({"T1000"});
    EXPECT_EQ(PlayerState.UnitMs, 1000);
    Run({"t", "tx", "t -"});
    EXPECT_EQ(PlayerState.UnitMs, 1000);
    Run({"t \t+25ms"});
    EXPECT_EQ(PlayerState.UnitMs, 25);
    Run({"t99999999999"});
    EXPECT_EQ(PlayerState.UnitMs, INT_MAX);
    Run({"t-99999999999"});
    EXPECT_EQ(PlayerState.UnitMs, 100);
}

TEST_F(PlayCommandTest, DefaultLengthAndOctaveAreHeldToTheirBounds)
{
    Run({"l0"});
    EXPECT_EQ(PlayerState.DefaultLength, 1);
    Run({"l40"});
    EXPECT_EQ(PlayerState.DefaultLength, 16);
    Run({"L7", "l"});
    EXPECT_EQ(PlayerState.DefaultLength, 7);
    Run({"l-99999999999"});
    EXPECT_EQ(PlayerState.DefaultLength, 1);

    Run({"o9"});
    EXPECT_EQ(PlayerState.Octave, 5);
    Run({">"});
    EXPECT_EQ(PlayerState.Octave, 5);
    Run({"o0"});
    EXPECT_EQ(PlayerState.Octave, 1);
    Run({"<"});
    EXPECT_EQ(PlayerState.Octave, 1);
    Run({"O3", ">", ">", "<", "o"});
    EXPECT_EQ(PlayerState.Octave, 4);
    Run({"o99999999999"});
    EXPECT_EQ(PlayerState.Octave, 5);
    EXPECT_TRUE(Calls.empty());
}

TEST_F(PlayCommandTest, NoteLettersAccidentalsAndLengths)
{
    SetOctave3Unit25Length2();
    Run({"e", "b-1", "g+", "C4", "c", "d", "f", "a", "b", "h", "H3", "e 3", "e3x", "e-3", "e--3",
         "c++", "E+9"});
    EXPECT_EQ(Calls, (std::vector<Call>{
                         {31, 2, 25}, {37, 1, 25}, {35, 2, 25}, {27, 4, 25}, {27, 2, 25},
                         {29, 2, 25}, {32, 2, 25}, {36, 2, 25}, {38, 2, 25}, {36, 2, 25},
                         {36, 3, 25}, {31, 3, 25}, {31, 3, 25}, {30, 3, 25}, {30, -3, 25},
                         {28, 2, 25}, {32, 9, 25},
                     }));
}

TEST_F(PlayCommandTest, NotesOutsideTheTableBecomeRestsOfTheSameLength)
{
    Run({"o5", "l3", "a", "a+", "b-", "b", "g+", "a-2", "o1", "c-", "c", "b+"});
    EXPECT_EQ(Calls, (std::vector<Call>{
                         {-1, 3, 80}, {-1, 3, 80}, {-1, 3, 80}, {-1, 3, 80}, {59, 3, 80},
                         {59, 2, 80}, {2, 3, 80}, {3, 3, 80}, {15, 3, 80},
                     }));
}

TEST_F(PlayCommandTest, RestsTakeTheirLengthOrTheDefault)
{
    SetOctave3Unit25Length2();
    Run({"r", "r1", "R8", "r0", "r-4", "r x", "r+3", "r99999999999"});
    EXPECT_EQ(Calls, (std::vector<Call>{
                         {-1, 2, 25}, {-1, 1, 25}, {-1, 8, 25}, {-1, 0, 25}, {-1, -4, 25},
                         {-1, 2, 25}, {-1, 3, 25}, {-1, INT_MAX, 25},
                     }));
}

TEST_F(PlayCommandTest, NoteLengthsAreNotClamped)
{
    SetOctave3Unit25Length2();
    Run({"e40", "e-99999999999", "e--99999999999", "e0"});
    EXPECT_EQ(Calls, (std::vector<Call>{{31, 40, 25}, {30, INT_MAX, 25}, {30, INT_MIN, 25},
                                        {31, 0, 25}}));
}

}  // namespace
