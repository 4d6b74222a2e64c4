// Sound into rumble. Every 5 ms each band takes the strongest component of the sound within its
// range, measured on the rumble's own frequency grid (1/32 octave): a bank of resonators, one at
// each frequency the bands can make, on the sound brought down to a few kHz. The low band takes
// the strongest component from 40 to 626 Hz, the high band the strongest from 80 to 1253 Hz that
// is not the low band's (unless nothing else is near as strong). Their loudness follows the
// sound's, the loudest moment at the safe maximum.
#pragma once

#include "play/readers/rumble_stream.h"

#include <cstddef>
#include <vector>

// The grid: tone steps (32 an octave above 10 Hz) from the low band's lowest to the high band's
// highest frequency.
constexpr int LowestSoundStep = 64;    // 40 Hz
constexpr int HighestSoundStep = 223;  // 1253 Hz
constexpr int SoundStepCount = HighestSoundStep - LowestSoundStep + 1;

// What the analysis found in 5 ms: each band's tone step and its strength (the component's
// amplitude, 1 for a full-scale sine), 0 where nothing sounds.
struct SoundFrame {
    short LowStep;
    short HighStep;
    float LowStrength;
    float HighStrength;
};

struct SoundAnalysis {
    int Rate = 0;
    int Decimation = 1;               // input samples to one working sample
    std::vector<float> Filter;        // the low-pass before decimation
    std::vector<float> History;       // the latest input, as long as the filter
    std::size_t HistoryAt = 0;
    long long Taken = 0;              // input samples so far
    // The resonators, two to a step: each step's rotation and decay, and their state (the
    // first resonators', then the second ones').
    std::vector<float> Cos, Sin, Keep, Re, Im;
    std::vector<SoundFrame> Frames;
};

// Starts an analysis of sound at rate samples a second.
void StartSoundAnalysis(SoundAnalysis* analysis, int rate);

// Takes the next count samples of one channel (or the mix), -1 to 1.
void FeedSoundAnalysis(SoundAnalysis* analysis, const float* samples, std::size_t count);

// The frames as rumble samples: the loudest strength at the safe maximum, what lies more than
// QuietestSoundDb below it silent, each band's loudness falling no faster than a fade.
RumbleStream RumbleOfSound(const std::vector<SoundFrame>& frames, float loudest);

constexpr double QuietestSoundDb = 48.0;

// The strongest strength of frames (0 when silent).
float LoudestOf(const std::vector<SoundFrame>& frames);
