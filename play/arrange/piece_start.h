// Playing a piece from partway: what sounds at the start time sounds from the beginning.
#pragma once

#include "play/arrange/piece.h"

// piece from startUs on: each voice's state at startUs becomes its first step, at 0, and every
// later step moves startUs earlier; the lengths shrink by startUs. startUs must be below the
// piece's length.
Piece StartPieceAt(const Piece& piece, long long startUs);
