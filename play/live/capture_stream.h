// Sound caught live, turned into rumble as it comes: the mix for a controller of one actuator and,
// for stereo sound, each side for a Pro Controller's two, analysed with no more lookahead than
// live play allows. Its loudness follows the loudest sound of the last seconds, since the whole
// is never known.
#pragma once

#include "play/sound/sound_analysis.h"

#include <cstddef>
#include <deque>
#include <vector>

enum class CaptureSide { Mix, Left, Right };
constexpr int CaptureSides = 3;

struct CaptureStream {
    int Rate = 0;
    int Channels = 0;
    bool Sides = false;                      // the left and right sides are analysed too
    SoundAnalysis Analyses[CaptureSides];
    RumbleSample States[CaptureSides] = {RestingRumbleSample, RestingRumbleSample, RestingRumbleSample};
    std::deque<RumbleSample> Samples[CaptureSides];  // the latest samples of each side
    long long Made = 0;                      // samples made of each side so far
    float Loudest = 0;
    bool Recording = false;
    std::vector<RumbleSample> Recorded;      // every sample of the mix, when recording
    std::vector<float> Mix, Left, Right;     // the channels of the sound being fed
};

// Samples kept of each side: more than any controller falls behind before it skips ahead.
constexpr std::size_t KeptCaptureSamples = 64;

// Starts a stream of sound at rate with channels; sides: analyse each side of stereo sound as well
// (for Pro Controllers); record: keep every sample of the mix.
void StartCaptureStream(CaptureStream* stream, int rate, int channels, bool sides, bool record);

// Takes frames of interleaved samples (-1 to 1); returns how many samples each side gained.
std::size_t FeedCaptureStream(CaptureStream* stream, const float* samples, std::size_t frames);

// Side's sample number index, where it is still kept (false when not made or gone).
bool CaptureSampleAt(const CaptureStream& stream, CaptureSide side, long long index, RumbleSample* sample);

// The oldest sample number still kept.
long long FirstKeptCaptureSample(const CaptureStream& stream);
