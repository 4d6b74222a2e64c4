// Playing a piece from partway: what sounds at the start time sounds from the beginning.
#pragma once

#include "play/arrange/piece.h"

#include <string>

// piece from startUs on: each voice's state at startUs becomes its first step, at 0, and every
// later step moves startUs earlier; the lengths shrink by startUs. startUs must be below the
// piece's length.
Piece StartPieceAt(const Piece& piece, long long startUs);

// A time as people write it: seconds ("95", "95.5"), or minutes and seconds ("1:35", "1:35.250"),
// or hours too ("1:02:03"). False for anything else, or a time longer than a day.
bool ParsePlayTime(const std::string& text, long long* us);
