#include "tools/preview/rumble_wav.h"

#include "common/time_units.h"

#include <cmath>
#include <vector>

namespace {

constexpr double TwoPi = 6.283185307179586;
constexpr double FullScale = 32767.0;
constexpr int PcmFormat = 1;
constexpr int FmtChunkSize = 16;
constexpr std::size_t WriteChunkSamples = 8192;

struct SynthState {
    std::size_t Stretch;  // first stretch not yet over
    double HighPhase;
    double LowPhase;
    double HighAmplitude;  // as ramped, heading for the stretch's amplitude
    double LowAmplitude;
    double HighFrequency;  // kept after a tone ends, for the tail of the ramp
    double LowFrequency;
};

double RampToward(double value, double target)
{
    const double step = 1.0 / (AmplitudeRampSeconds * WavSampleRate);
    if (target > value + step) return value + step;
    if (target < value - step) return value - step;
    return target;
}

double AdvancePhase(double phase, double frequency)
{
    phase += TwoPi * frequency / WavSampleRate;
    return phase >= TwoPi ? std::fmod(phase, TwoPi) : phase;
}

double NextSample(const RumbleTimeline& timeline, SynthState& state, std::int64_t sample)
{
    const std::int64_t t = timeline.StartNs + sample * NanosecondsPerSecond / WavSampleRate;
    const std::vector<RumbleStretch>& stretches = timeline.Stretches;
    while (state.Stretch < stretches.size() && stretches[state.Stretch].EndNs <= t) {
        ++state.Stretch;
    }
    double highTarget = 0.0;
    double lowTarget = 0.0;
    if (state.Stretch < stretches.size() && stretches[state.Stretch].StartNs <= t) {
        const RumbleTone& tone = stretches[state.Stretch].Tone;
        highTarget = tone.High.Amplitude;
        lowTarget = tone.Low.Amplitude;
        state.HighFrequency = tone.High.FrequencyHz;
        state.LowFrequency = tone.Low.FrequencyHz;
    }
    state.HighAmplitude = RampToward(state.HighAmplitude, highTarget);
    state.LowAmplitude = RampToward(state.LowAmplitude, lowTarget);
    const double value = state.HighAmplitude * std::sin(state.HighPhase) +
                         state.LowAmplitude * std::sin(state.LowPhase);
    state.HighPhase = AdvancePhase(state.HighPhase, state.HighFrequency);
    state.LowPhase = AdvancePhase(state.LowPhase, state.LowFrequency);
    return value;
}

void PutLittleEndian(std::vector<char>& bytes, std::uint32_t value, int size)
{
    for (int i = 0; i < size; ++i) bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutTag(std::vector<char>& bytes, const char* tag)
{
    bytes.insert(bytes.end(), tag, tag + 4);
}

std::vector<char> FormWavHeader(std::uint32_t dataBytes, int channels)
{
    const int blockAlign = channels * WavBitsPerSample / 8;
    std::vector<char> header;
    PutTag(header, "RIFF");
    PutLittleEndian(header, WavHeaderSize - 8 + dataBytes, 4);
    PutTag(header, "WAVE");
    PutTag(header, "fmt ");
    PutLittleEndian(header, FmtChunkSize, 4);
    PutLittleEndian(header, PcmFormat, 2);
    PutLittleEndian(header, static_cast<std::uint32_t>(channels), 2);
    PutLittleEndian(header, WavSampleRate, 4);
    PutLittleEndian(header, WavSampleRate * blockAlign, 4);
    PutLittleEndian(header, blockAlign, 2);
    PutLittleEndian(header, WavBitsPerSample, 2);
    PutTag(header, "data");
    PutLittleEndian(header, dataBytes, 4);
    return header;
}

}  // namespace

std::int64_t SampleCountOfSpan(std::int64_t spanNs)
{
    if (spanNs <= 0) return 0;
    return (spanNs * WavSampleRate + NanosecondsPerSecond / 2) / NanosecondsPerSecond;
}

bool WriteRumbleWav(const RumbleTimeline& timeline, std::ostream& out)
{
    return WriteLanesWav({{"", LanePan::Centre, timeline}}, out);
}

bool WriteLanesWav(const std::vector<RumbleLane>& lanes, std::ostream& out)
{
    if (lanes.empty()) return false;
    const RumbleTimeline& first = lanes.front().Timeline;
    const std::int64_t spanNs = first.EndNs - first.StartNs;
    if (spanNs < 0 || spanNs > MaxRenderedSpanNs) return false;
    const std::int64_t samples = SampleCountOfSpan(spanNs);
    const int channels = lanes.size() == 1 ? WavChannels : WavStereoChannels;

    // One frame: each lane's sample added to the channels its pan reaches.
    std::vector<SynthState> states(lanes.size());
    const auto nextFrame = [&](std::int64_t i, double frame[WavStereoChannels]) {
        frame[0] = frame[1] = 0.0;
        for (std::size_t l = 0; l < lanes.size(); ++l) {
            const double value = NextSample(lanes[l].Timeline, states[l], i);
            if (channels == WavChannels || lanes[l].Pan != LanePan::Right) frame[0] += value;
            if (channels == WavStereoChannels && lanes[l].Pan != LanePan::Left) frame[1] += value;
        }
    };

    // First pass: the loudest point of the mix. The second pass renders the same samples.
    double peak = 0.0;
    double frame[WavStereoChannels];
    for (std::int64_t i = 0; i < samples; ++i) {
        nextFrame(i, frame);
        for (int c = 0; c < channels; ++c) peak = std::fmax(peak, std::fabs(frame[c]));
    }
    const double scale = peak > 0.0 ? WavPeakLevel * FullScale / peak : 0.0;

    const std::vector<char> header =
        FormWavHeader(static_cast<std::uint32_t>(samples * channels * WavBitsPerSample / 8), channels);
    out.write(header.data(), static_cast<std::streamsize>(header.size()));

    states.assign(lanes.size(), SynthState{});
    std::vector<char> chunk;
    chunk.reserve(2 * WriteChunkSamples * WavStereoChannels);
    for (std::int64_t i = 0; i < samples; ++i) {
        nextFrame(i, frame);
        for (int c = 0; c < channels; ++c)
            PutLittleEndian(chunk, static_cast<std::uint32_t>(std::lround(frame[c] * scale)), 2);
        if (chunk.size() >= 2 * WriteChunkSamples || i + 1 == samples) {
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            chunk.clear();
        }
    }
    return static_cast<bool>(out);
}
