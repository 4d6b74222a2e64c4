// Rumble as a stream of samples, an actuator's levels every few milliseconds: what a rumble
// file holds, read and checked.
#pragma once

#include "rumble/rumble_blocks.h"

#include <cstddef>
#include <string>
#include <vector>

struct RumbleStream {
    std::string Format;                // "BNVIB" or "JCVIB"
    int SamplePeriodUs = SampleSpacingUs;
    std::vector<RumbleSample> Samples;
    bool Loops = false;
    std::size_t LoopStart = 0;         // samples [LoopStart, LoopEnd) repeat
    std::size_t LoopEnd = 0;
    std::size_t LoopWait = 0;          // samples of silence between two passes of the loop
    int Lowered = 0;                   // samples whose amplitude was above the safe maximum
    int PeakAmplitude = SilentAmplitude;  // the loudest, as the file has it (before lowering)
};

struct RumbleFileError {
    std::size_t Offset;
    std::string Message;
};

// Records a fault at byte at of a rumble file; false, for the reader to return.
bool RefuseRumbleFile(RumbleFileError* error, std::size_t at, std::string message);

// Rumble files are refused above this size, and a stream longer than this.
constexpr std::size_t MaxRumbleFileBytes = 16 * 1024 * 1024;
constexpr std::size_t MaxRumbleSamples = 3600 * 200;  // an hour at 200 samples a second

// Lowers the stream's amplitudes above the safe maximum to it, counting them in Lowered and
// noting the loudest in PeakAmplitude.
void LowerToSafeMaximum(RumbleStream& stream);
