// Draws the rumble of a logged run as a piano roll in SVG: time across, pitch up, one bar per
// sounded note and band, loudness as opacity, rests and silences shaded.
#pragma once

#include <string>

#include <vector>

#include "tools/preview/rumble_lanes.h"
#include "tools/preview/rumble_timeline.h"

// Pitch as a MIDI note number with a fraction (69 = A4 = 440 Hz).
double PitchOfFrequency(double hz);

// "C4", "C#4", ... "A4" (440 Hz); octave numbers change at C.
std::string NoteName(int midiNote);

// Escapes &, <, >, " and ' for XML text and attribute values.
std::string EscapeXml(const std::string& text);

// The whole SVG document. Each bar is a <g class="bar high"> or <g class="bar low"> with
// data-start, data-end (seconds from the first event) and data-hz, holding one <rect> per
// loudness step. Rests are <rect class="rest">, silences <rect class="silence">.
std::string RenderPianoRoll(const RumbleTimeline& timeline, const std::string& title);

// The same for lanes of one span (see AlignLanes): one roll each, one above the other on one
// time scale, each in a <g class="lane"> under its name.
std::string RenderLanesRoll(const std::vector<RumbleLane>& lanes, const std::string& title);
