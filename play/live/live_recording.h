// What was played live, written as a Standard MIDI File: each note as it sounded on its band
// (moved by octaves, cut short where it gave way, held on by the pedal), its velocity carrying
// the channel's volume, and the pitch bends, timed from the first of them.
#pragma once

#include "play/live/live_voices.h"

#include <string>
#include <vector>

// Ticks per quarter note at the default tempo of 120 beats a minute: a tick is 20 us.
constexpr int RecordingTicksPerQuarter = 25000;
constexpr long long RecordingUsPerQuarter = 500000;

// The bytes of a format 0 file of the events; a note still sounding (EndUs -1) ends at endUs.
std::string FormRecordingMidi(const std::vector<PlayedEvent>& played, long long endUs);
