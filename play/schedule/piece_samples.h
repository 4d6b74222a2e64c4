// A piece as rumble samples every 5 ms, its notes shaped: each note rises from silence over the
// attack and, once it ends, fades over the release, so that notes start and stop softly instead
// of at once; and it wavers in pitch as its channel's vibrato asks. Onsets land on their 5 ms
// sample, not on a report.
#pragma once

#include "play/arrange/piece.h"
#include "play/readers/rumble_stream.h"

// Vibrato: this many times a second, this far either way (in 1/32 octave) at the full setting,
// rounded to the rumble's steps. A step is 37.5 cents, so a light vibrato does not show.
constexpr double VibratoHz = 5.5;
constexpr double WidestVibratoSteps = 2.0;
constexpr int FullVibratoDepth = 127;

// Whether any note of the piece wavers.
bool AsksForVibrato(const Piece& piece);

// One actuator's samples: voice 1 on the high band and voice 2 on the low band, or a single
// voice on both, each band at the level and frequency the one-sample reports would give it,
// shaped. The tone tables must be built.
RumbleStream RenderPieceSamples(const Piece& piece, const NoteShape& shape);
