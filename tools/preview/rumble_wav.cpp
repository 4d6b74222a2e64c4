#include "tools/preview/rumble_wav.h"

#include <cmath>
#include <vector>

namespace {

constexpr std::int64_t NsPerSecond = 1000000000;
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
    const std::int64_t t = timeline.StartNs + sample * NsPerSecond / WavSampleRate;
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

std::vector<char> FormWavHeader(std::uint32_t dataBytes)
{
    const int blockAlign = WavChannels * WavBitsPerSample / 8;
    std::vector<char> header;
    PutTag(header, "RIFF");
    PutLittleEndian(header, WavHeaderSize - 8 + dataBytes, 4);
    PutTag(header, "WAVE");
    PutTag(header, "fmt ");
    PutLittleEndian(header, FmtChunkSize, 4);
    PutLittleEndian(header, PcmFormat, 2);
    PutLittleEndian(header, WavChannels, 2);
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
    return (spanNs * WavSampleRate + NsPerSecond / 2) / NsPerSecond;
}

bool WriteRumbleWav(const RumbleTimeline& timeline, std::ostream& out)
{
    const std::int64_t spanNs = timeline.EndNs - timeline.StartNs;
    if (spanNs < 0 || spanNs > MaxRenderedSpanNs) return false;
    const std::int64_t samples = SampleCountOfSpan(spanNs);

    // First pass: the loudest point of the mix. The second pass renders the same samples.
    double peak = 0.0;
    SynthState state{};
    for (std::int64_t i = 0; i < samples; ++i) {
        peak = std::fmax(peak, std::fabs(NextSample(timeline, state, i)));
    }
    const double scale = peak > 0.0 ? WavPeakLevel * FullScale / peak : 0.0;

    const std::vector<char> header =
        FormWavHeader(static_cast<std::uint32_t>(samples * WavBitsPerSample / 8));
    out.write(header.data(), static_cast<std::streamsize>(header.size()));

    state = SynthState{};
    std::vector<char> chunk;
    chunk.reserve(2 * WriteChunkSamples);
    for (std::int64_t i = 0; i < samples; ++i) {
        const long value = std::lround(NextSample(timeline, state, i) * scale);
        PutLittleEndian(chunk, static_cast<std::uint32_t>(value), 2);
        if (chunk.size() >= 2 * WriteChunkSamples || i + 1 == samples) {
            out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
            chunk.clear();
        }
    }
    return static_cast<bool>(out);
}
