// Reads music written as running text in the play-data language: commands written together or
// apart, comments, repeats, and up to two voices.
#pragma once

#include <string>
#include <vector>

namespace tune_text {

constexpr int MaxVoices = 2;
constexpr int MaxNumber = 99999;   // larger numbers have no musical use
constexpr int MaxRepeatCount = 99;
constexpr int DefaultRepeatCount = 2;
constexpr int MaxRepeatDepth = 8;

enum class CommandKind { OctaveDown, OctaveUp, UnitTime, DefaultLength, Octave, Rest, Note, RepeatOpen, RepeatClose };

struct Command {
    CommandKind Kind;
    int Line;          // where the command begins, from 1
    int Column;        // from 1, in bytes
    bool HasNumber;    // a number followed (always true for a repeat's close: its count)
    int Number;
    int Step;          // Note: the letter's semitone step with its accidental applied
    int Partner;       // RepeatOpen/RepeatClose: index of the other end
};

struct Voice {
    std::vector<Command> Commands;
    int Line;          // where the voice begins
    int Column;
};

struct TextError {
    int Line;
    int Column;
    std::string Message;
};

// Reads the whole text. True with voices filled (at least one), or false with error set at the
// first thing that is not the language.
bool ReadTuneText(const std::string& text, std::vector<Voice>* voices, TextError* error);

}  // namespace tune_text
