#include "playdata/play_command.h"

#include "playdata/note_letters.h"
#include "playdata/number_reader.h"
#include "playdata/player_state.h"
#include "rumble/note_player.h"
#include "rumble/tone_tables.h"

#include <algorithm>
#include <cstdio>

namespace {


// Commands are selected from this range of first characters; all others are ignored.
constexpr signed char LowestCommandChar = '<';
constexpr signed char HighestCommandChar = 't';


void PlayRest(const char* lengthText)
{
    int length = PlayerState.DefaultLength;
    ReadNumber(lengthText, &length);
    PlayNote(RestNote, length, PlayerState.UnitMs);
}

void PlayNoteLetter(const char* text)
{
    int index = (PlayerState.Octave - 1) * SemitonesPerOctave + NoteStep(text[0]);
    const char* rest = text + 1;
    // One accidental at most; a second '+' or '-' belongs to the number.
    if (*rest == '+') {
        ++index;
        ++rest;
    } else if (*rest == '-') {
        --index;
        ++rest;
    }
    if (index < 0 || index >= NoteCount) index = RestNote;

    int length = PlayerState.DefaultLength;
    ReadNumber(rest, &length);
    PlayNote(index, length, PlayerState.UnitMs);
}

}  // namespace

PlayerStateRecord PlayerState = {InitialUnitMs, InitialDefaultLength, InitialOctave};

void PlayCommand(const char* text)
{
    std::printf("play data = \"%s\"\n", text);
    std::fflush(stdout);

    const signed char first = static_cast<signed char>(text[0]);
    if (first < LowestCommandChar || first > HighestCommandChar) return;

    switch (first) {
    case '<':
        PlayerState.Octave = std::clamp(PlayerState.Octave - 1, MinOctave, MaxOctave);
        break;
    case '>':
        PlayerState.Octave = std::clamp(PlayerState.Octave + 1, MinOctave, MaxOctave);
        break;
    case 't': case 'T':
        ReadNumber(text + 1, &PlayerState.UnitMs);
        if (PlayerState.UnitMs <= 0) PlayerState.UnitMs = UnitMsFallback;
        break;
    case 'l': case 'L':
        ReadNumber(text + 1, &PlayerState.DefaultLength);
        PlayerState.DefaultLength = std::clamp(PlayerState.DefaultLength, MinDefaultLength, MaxDefaultLength);
        break;
    case 'o': case 'O':
        ReadNumber(text + 1, &PlayerState.Octave);
        PlayerState.Octave = std::clamp(PlayerState.Octave, MinOctave, MaxOctave);
        break;
    case 'r': case 'R':
        PlayRest(text + 1);
        break;
    case 'a': case 'b': case 'c': case 'd': case 'e': case 'f': case 'g': case 'h':
    case 'A': case 'B': case 'C': case 'D': case 'E': case 'F': case 'G': case 'H':
        PlayNoteLetter(text);
        break;
    default:
        break;
    }
}
