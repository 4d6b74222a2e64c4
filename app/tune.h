// The built-in tune and the operation that plays it.
#pragma once

constexpr int TuneSegmentCount = 3;

// One part of the tune: command strings played in order, and how many times in a row.
struct TuneSegment {
    const char* const* Commands;
    int CommandCount;
    int Repeats;
};

extern const TuneSegment TuneSegments[TuneSegmentCount];

// Builds the tone tables, then plays every segment through the play-data interpreter.
// Stops before the next command once an interrupt has been requested.
void PlayTune();
