// The text form of the tune language: what it accepts, and where it reports what it does not.
#include "play/readers/text_reader.h"
#include "play/arrange/voice_builder.h"
#include "rumble/tone_tables.h"

#include <gtest/gtest.h>

namespace {

using tune_text::CommandKind;
using tune_text::TextError;
using tune_text::Voice;

Piece Build(const std::string& text)
{
    BuildToneTables();
    std::vector<Voice> voices;
    TextError error{};
    Piece piece;
    EXPECT_TRUE(tune_text::ReadTuneText(text, &voices, &error)) << error.Line << ":" << error.Column << " " << error.Message;
    EXPECT_TRUE(BuildPiece(voices, 100, &piece, &error)) << error.Message;
    return piece;
}

TextError ErrorOf(const std::string& text)
{
    BuildToneTables();
    std::vector<Voice> voices;
    TextError error{};
    Piece piece;
    if (tune_text::ReadTuneText(text, &voices, &error)) {
        EXPECT_FALSE(BuildPiece(voices, 100, &piece, &error)) << text;
    }
    return error;
}

std::vector<std::tuple<long long, int, int, int>> StepsOf(const PieceVoice& voice)
{
    std::vector<std::tuple<long long, int, int, int>> steps;
    for (const VoiceStep& s : voice.Steps) steps.emplace_back(s.AtUs, s.Note, s.HighLevel, s.LowLevel);
    return steps;
}

TEST(PlayText, WrittenTogetherOrApartWithCommentsAndRepeatsPlaysTheSame)
{
    const Piece together = Build("t25l2o3<a8>c8e8e-3r1G+4B-1c+");
    const Piece apart = Build("# the same\nt 25 l2 o3\n< a8 > c8 e8\te- 3 r1 # rest\ng+4 b-1 [c+]1");
    EXPECT_EQ(StepsOf(together.Voices[0]), StepsOf(apart.Voices[0]));
    // "e-3" in octave 3 is index 30: two units and a half at level 7, a softer half, then rest.
    const Piece flat = Build("t25 o3 e-3");
    EXPECT_EQ(StepsOf(flat.Voices[0]), (std::vector<std::tuple<long long, int, int, int>>{
                                           {0, 30, 7, 7}, {62000, 30, 3, 3}, {74000, RestNote, 0, 0}}));
    EXPECT_EQ(flat.LengthUs, 74000);
}

TEST(PlayText, KeepsTheInterpretersBoundsAndFallbacks)
{
    // t0 falls back to 100 ms, l40 holds at 16, o9 at 5 where a plays as a rest, e0 and r-2 play nothing.
    const Piece piece = Build("t0 l40 o9 a e0 r-2 t r1 ; t3 c");
    EXPECT_EQ(piece.Voices[0].LengthUs, 16 * 100000 + 100000);
    EXPECT_EQ(piece.Voices[0].Notes, 0);
    EXPECT_EQ(piece.Voices[0].Rests, 2);
    ASSERT_EQ(piece.Notices.size(), 1u);
    EXPECT_EQ(piece.Notices[0].Column, 11);
    // The second voice starts from the initial settings: o4, l4, its own unit of 3 ms.
    EXPECT_EQ(piece.Voices[1].LengthUs, 3 * 3000 + 2 * 1000);
}

TEST(PlayText, RepeatsNestAndCountOnce)
{
    const Piece piece = Build("t10 [c [d]3 ]2 e");
    EXPECT_EQ(piece.Voices[0].Notes, 2 * (1 + 3) + 1);
}

TEST(PlayText, ErrorsNameLineAndColumn)
{
    struct Case {
        const char* Text;
        int Line;
        int Column;
        const char* Says;
    } cases[] = {
        {"c4 d4\n  e4 x", 2, 6, "unexpected 'x'"},
        {"c4 d4 $", 1, 7, "unexpected '$'"},
        {"t100000", 1, 2, "number too large"},
        {"c99999999999999999999", 1, 2, "number too large"},
        {"c\n [d [e]", 2, 2, "never closed"},
        {"c ] d", 1, 3, "without a '['"},
        {"[c]100", 1, 4, "repeat count"},
        {"c ; d ; e", 1, 7, "at most two voices"},
        {"r-", 1, 2, "unexpected '-'"},
        {"t99999 l16 [[[[c99999]99]99]99]99", 1, 16, "longer than a day"},
        {"[[[[[[[[]99]99]99]99]99]99]99]99", 0, 0, "too many commands"},
        {"[[[[[[[[[c]]]]]]]]]", 1, 9, "nested more than"},
    };
    for (const Case& c : cases) {
        const TextError error = ErrorOf(c.Text);
        if (c.Line > 0) {
            EXPECT_EQ(error.Line, c.Line) << c.Text;
            EXPECT_EQ(error.Column, c.Column) << c.Text;
        }
        EXPECT_NE(error.Message.find(c.Says), std::string::npos) << c.Text << ": " << error.Message;
    }
}

TEST(PlayText, VolumeScalesLevelsButNeverAboveTheSafeMaximum)
{
    EXPECT_EQ(ScaleLevel(10, 100), 10);
    EXPECT_EQ(ScaleLevel(7, 50), 4);
    EXPECT_EQ(ScaleLevel(7, 400), 10);
    EXPECT_EQ(ScaleLevel(10, 0), 0);
}

}  // namespace

namespace {

TEST(PlayText, NotesOutOfABandsReachAreSaidToBeAboveOrBelowIt)
{
    // One voice plays on both bands: C2 is below the high band, E5 above the low band, G6 above
    // the high band (one notice a place).
    const Piece piece = Build("o1 c o4 e o5 g");
    std::vector<std::string> texts;
    for (const PieceNotice& notice : piece.Notices) texts.push_back(notice.Text.substr(notice.Text.find(':') + 2));
    EXPECT_EQ(texts, (std::vector<std::string>{"below the high band's reach, which stays silent",
                                               "above the low band's reach, which stays silent",
                                               "above the high band's reach, which stays silent"}));
}

}  // namespace
