#include "playdata/note_letters.h"

#include <cctype>

namespace {

// Semitone steps of c, d, e, f, g, a, b; a letter maps here by (letter - 'a' - 2) mod 7.
constexpr int LettersPerOctave = 7;
constexpr int NoteSteps[LettersPerOctave] = {3, 5, 7, 8, 10, 12, 14};

}  // namespace

int NoteStep(char letter)
{
    int position = std::tolower(static_cast<unsigned char>(letter)) - 'a' - 2;
    if (position < 0) position += LettersPerOctave;
    return NoteSteps[position];
}
