// Sound into rumble by its notes. Every 5 ms the analysis finds the fundamentals sounding (see
// pitch_lines.h) in a window of the sound brought down to about 8 kHz: the low band takes the
// lowest line (the bass), the high band the most salient line above it (the melody or the voice),
// each folded by octaves into its band's reach; a single line plays on both. A band sounds while
// the sound does (its power in the frame and its neighbours against the window's), so that the
// rumble starts with a note and stops when it stops. Loudness follows the lines', the loudest
// moment at the safe maximum.
#pragma once

#include "play/readers/rumble_stream.h"
#include "play/sound/fourier_transform.h"
#include "play/sound/pitch_lines.h"

#include <cstddef>
#include <vector>

// Each band's reach on the grid of tone steps (32 an octave above 10 Hz).
constexpr int LowestSoundStep = 64;     // 40 Hz
constexpr int LowBandTopStep = 191;     // 626 Hz
constexpr int HighBandBottomStep = 96;  // 80 Hz
constexpr int HighestSoundStep = 223;   // 1253 Hz

// What the analysis found in 5 ms: each band's tone step and its strength (the line's amplitude,
// 1 for a full-scale sine), 0 where nothing sounds.
struct SoundFrame {
    short LowStep;
    short HighStep;
    float LowStrength;
    float HighStrength;
};

// How far ahead of a frame the analysis may look: a whole sound centres its window on the frame;
// a live one waits for no more than MostLiveLookaheadUs of sound after the frame's end.
enum class SoundLookahead { Centred, Live };
constexpr long long MostLiveLookaheadUs = 10000;

struct SoundAnalysis {
    int Rate = 0;
    int Decimation = 1;               // input samples to one working sample
    std::vector<float> Filter;        // the low-pass before decimation
    std::vector<float> History;       // the latest input, as long as the filter, twice
    std::size_t HistoryAt = 0;
    long long Taken = 0;              // input samples so far, padding included
    long long Heard = 0;              // input samples of the sound itself
    long long Made = 0;               // working samples so far
    double LookaheadInput = 0;        // input samples a frame's window reaches past its centre
    std::vector<float> Ring;          // the latest working samples (a power of two of them)
    std::vector<float> Window;        // the pitch window
    std::vector<float> Frame;         // windowed samples, zero-padded to the transform's size
    std::vector<float> Magnitudes;
    std::vector<double> FramePower;   // working samples' power summed per 5 ms frame (a ring)
    std::vector<int> FrameSamples;
    long long PowerFrame = -1;        // the latest frame whose power is being summed
    FourierTransform Transform;
    PitchSearch Search;
    int MelodyStep = 0, BassStep = 0; // the lines followed, before folding (0: none)
    long long FramesMade = 0;
    SoundFrame Latest{};
    std::vector<SoundFrame> Frames;   // the frames made, unless a caller took them away
};

// Starts an analysis of sound at rate samples a second.
void StartSoundAnalysis(SoundAnalysis* analysis, int rate, SoundLookahead lookahead = SoundLookahead::Centred);

// Takes the next count samples of one channel (or the mix), -1 to 1; adds the frames now complete.
void FeedSoundAnalysis(SoundAnalysis* analysis, const float* samples, std::size_t count);

// The sound has ended: adds the frames still waiting for sound beyond it (a frame for every
// 5 ms fed).
void FinishSoundAnalysis(SoundAnalysis* analysis);

// The frames as rumble samples: the loudest strength at the safe maximum, what lies more than
// QuietestSoundDb below it silent, each band's loudness falling no faster than a fade while it
// sounds.
RumbleStream RumbleOfSound(const std::vector<SoundFrame>& frames, float loudest);

constexpr double QuietestSoundDb = 48.0;

// One step of that: moves state to the sample of frame, given the frame after it where known (a
// band moves to a new note only where that lasts; a live stream gives none).
void NextSoundSample(RumbleSample* state, const SoundFrame& frame, const SoundFrame* next, float loudest);

// The strongest strength of frames (0 when silent).
float LoudestOf(const std::vector<SoundFrame>& frames);
