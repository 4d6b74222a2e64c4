#include "play/live/capture_stream.h"

#include "common/time_units.h"

#include <algorithm>
#include <cmath>

namespace {

// The loudness scale: the loudest strength of late, halving over LoudestHalvingSeconds of quieter
// sound, never below LeastLoudest (so that near-silence is not raised to the safe maximum).
constexpr double LoudestHalvingSeconds = 10.0;
constexpr float LeastLoudest = 0.01f;  // -40 dB of a full-scale sine
constexpr double SamplesPerSecond = static_cast<double>(MicrosecondsPerSecond) / SampleSpacingUs;

}  // namespace

void StartCaptureStream(CaptureStream* stream, int rate, int channels, bool sides, bool record)
{
    CaptureStream& s = *stream;
    s = CaptureStream{};
    s.Rate = rate;
    s.Channels = channels;
    s.Sides = sides && channels >= 2;
    s.Recording = record;
    for (int side = 0; side < CaptureSides; ++side)
        if (side == 0 || s.Sides) StartSoundAnalysis(&s.Analyses[side], rate, SoundLookahead::Live);
}

std::size_t FeedCaptureStream(CaptureStream* stream, const float* samples, std::size_t frames)
{
    CaptureStream& s = *stream;
    const std::size_t channels = static_cast<std::size_t>(s.Channels);
    s.Mix.resize(frames);
    s.Left.resize(frames);
    s.Right.resize(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const float* frame = samples + i * channels;
        float sum = 0;
        for (std::size_t c = 0; c < channels; ++c) sum += frame[c];
        s.Mix[i] = sum / static_cast<float>(channels);
        s.Left[i] = frame[0];
        s.Right[i] = frame[channels >= 2 ? 1 : 0];
    }
    const std::vector<float>* inputs[CaptureSides] = {&s.Mix, &s.Left, &s.Right};
    const int sides = s.Sides ? CaptureSides : 1;
    for (int side = 0; side < sides; ++side) FeedSoundAnalysis(&s.Analyses[side], inputs[side]->data(), frames);
    // Every side is fed alike, so each has made the same frames.
    const std::size_t made = s.Analyses[0].Frames.size();
    const double fall = std::exp2(-1.0 / (LoudestHalvingSeconds * SamplesPerSecond));
    for (std::size_t k = 0; k < made; ++k) {
        float strongest = 0;
        for (int side = 0; side < sides; ++side) {
            const SoundFrame& f = s.Analyses[side].Frames[k];
            strongest = std::max({strongest, f.LowStrength, f.HighStrength});
        }
        s.Loudest = std::max({static_cast<float>(s.Loudest * fall), strongest, LeastLoudest});
        for (int side = 0; side < sides; ++side) {
            NextSoundSample(&s.States[side], s.Analyses[side].Frames[k], nullptr, s.Loudest);
            s.Samples[side].push_back(s.States[side]);
            if (s.Samples[side].size() > KeptCaptureSamples) s.Samples[side].pop_front();
        }
        if (s.Recording) s.Recorded.push_back(s.States[0]);
    }
    // The frames are taken: the analyses keep none of them, so that hours hold no more memory.
    for (int side = 0; side < sides; ++side) s.Analyses[side].Frames.clear();
    s.Made += static_cast<long long>(made);
    return made;
}

long long FirstKeptCaptureSample(const CaptureStream& stream)
{
    return stream.Made - static_cast<long long>(stream.Samples[0].size());
}

bool CaptureSampleAt(const CaptureStream& stream, CaptureSide side, long long index, RumbleSample* sample)
{
    const int at = stream.Sides ? static_cast<int>(side) : 0;
    const long long first = FirstKeptCaptureSample(stream);
    if (index < first || index >= stream.Made) return false;
    *sample = stream.Samples[at][static_cast<std::size_t>(index - first)];
    return true;
}
