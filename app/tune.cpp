// "Greensleeves" (English traditional, 16th century) in A minor, 3/4, a quarter note of 8
// units of 25 ms. An introduction, the first half of the verse played twice, then the chorus
// with the verse's closing half, played twice.
#include "app/tune.h"

#include "platform/interrupt.h"
#include "playdata/play_command.h"
#include "rumble/tone_tables.h"

#include <iterator>

namespace {

// Introduction: an A minor figure over three bars, then the pickup into the verse.
const char* const IntroCommands[] = {
    "t25", "l2", "o3",
    "<", "a8", ">", "c8", "e8",
    "d12", "c4", "<", "b8",
    "a16", "r24", "a8", ">",
};

// Verse, first half: eight bars, ending on the pickup that leads back into it.
const char* const VerseCommands[] = {
    "c16", "d8",
    "e12", "f4", "e8",
    "d12", "c4", "<", "b8",
    "g12", "a4", "b8",
    ">", "c12", "<", "b4", "a8",
    "a12", "g+4", "a8",
    "b12", "a4", "g+8",
    "e4", "r4", "f+4", "g+4", "a8", ">",
};

// Chorus (sixteen bars) and the verse's closing half (eight bars).
const char* const ChorusCommands[] = {
    "g24",
    "g12", "f+4", "e8",
    "d12", "c4", "<", "b8",
    "g12", "a4", "b8",
    ">", "c16", "<", "a8",
    "a12", "g+4", "a8",
    "b12", "a4", "g+8",
    "e24", ">",
    "g24",
    "g12", "f+4", "e8",
    "d16", "<", "b8",
    "g12", "a4", "b8",
    ">", "c12", "<", "b4", "a8",
    "g+8", "r4", "f+4", "g+8",
    "a24",
    "r16", "a8", ">",
    "c16", "d8",
    "e12", "f4", "e8",
    "d16", "<", "b8",
    "g12", "a4", "b8",
    ">", "c12", "<", "b4", "a8",
    "g+8", "r4", "f+4", "g+8",
    "a24",
    "r24", ">",
};

}  // namespace

const TuneSegment TuneSegments[TuneSegmentCount] = {
    {IntroCommands, static_cast<int>(std::size(IntroCommands)), 1},
    {VerseCommands, static_cast<int>(std::size(VerseCommands)), 2},
    {ChorusCommands, static_cast<int>(std::size(ChorusCommands)), 2},
};

void PlayTune()
{
    BuildToneTables();
    for (const TuneSegment& segment : TuneSegments) {
        for (int pass = 0; pass < segment.Repeats; ++pass) {
            for (int i = 0; i < segment.CommandCount; ++i) {
                if (IsInterruptRequested()) return;
                PlayCommand(segment.Commands[i]);
            }
        }
    }
}
