// Plays the commands of each text voice as the interpreter does, into timed voice steps.
#pragma once

#include "play/arrange/piece.h"
#include "play/readers/text_reader.h"

constexpr long long MaxPieceLengthUs = 24LL * 3600 * 1000000;  // one day
constexpr std::size_t MaxPieceSteps = 4000000;
constexpr std::size_t MaxCommandsPlayed = 20000000;  // bounds repeats of repeats

constexpr int FullVolumePercent = 100;  // --volume that leaves every level as it is

// Level of a table level at volume percent: rounded, never above the tables' level 10.
int ScaleLevel(int level, int volumePercent);

// Builds the piece at volumePercent. A single voice sounds each note on both bands at the note's
// levels; with two, voice 1 is heard on the high band and voice 2 on the low. False, with error
// set at the command where it happened, for a piece longer than a day, of too many steps,
// or whose repeats play too many commands.
// The tone tables must be built.
bool BuildPiece(const std::vector<tune_text::Voice>& voices, int volumePercent, Piece* piece,
                tune_text::TextError* error);
