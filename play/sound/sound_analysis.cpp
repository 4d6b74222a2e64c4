#include "play/sound/sound_analysis.h"

#include "common/time_units.h"
#include "rumble/rumble_blocks.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr double StepBaseHz = 10.0;
constexpr int LowBandTopStep = 191;     // 626 Hz
constexpr int HighBandBottomStep = 96;  // 80 Hz
constexpr int FramesPerSecond = static_cast<int>(MicrosecondsPerSecond / SampleSpacingUs);  // a rumble sample each
// The sound is brought down to at least this rate before the resonators: above 2.4 times the
// highest step, and cheap.
constexpr int LeastWorkingRate = 6000;
constexpr int FilterTapsPerDecimation = 8;
constexpr double FilterCutoffShare = 0.35;   // of the working rate
// Each step's two resonators in a row: a bandwidth of a twelfth of the frequency, but never
// slower to answer than MostResonatorSeconds, so that low notes are heard in time.
constexpr double ResonatorQ = 12.0;
constexpr double MostResonatorSeconds = 0.02;
constexpr double HighestShareOfWorking = 0.45;
constexpr int SeparateSteps = 2;             // the high band keeps this far from the low band's step
constexpr double DoubleBelow = 0.01;         // an other component this much weaker (in power): double
constexpr double KeepWithin = 0.6;           // steps: a band keeps its step while the peak lies this near
constexpr double StayWithin = 0.5;           // in power: another component must be 3 dB stronger
constexpr double Tiny = 1e-20;               // keeps the log of no power finite
constexpr int FadeStepsPerSample = 16;       // half an octave of amplitude every 5 ms
constexpr double RiseShare = 0.65;           // of the way up a sounding band goes in one sample

double StepHz(int step) { return StepBaseHz * std::exp2(step / static_cast<double>(LogStepsPerOctave)); }

// Picks each band's step from the resonators' power, keeping the steps of before where they
// are nearly as strong.
SoundFrame PickFrame(const std::vector<float>& power, const SoundFrame* before)
{
    const auto at = [&](int step) { return power[static_cast<std::size_t>(step - LowestSoundStep)]; };
    // A component is a peak of the power; the grid's ends are none (what rises towards an end
    // is the skirt of something beyond).
    const auto peak = [&](int step) {
        if (step <= LowestSoundStep || step >= HighestSoundStep) return false;
        const float p = at(step);
        return p > 0.0f && p > at(step - 1) && p >= at(step + 1);
    };
    // A band moves to a neighbouring step only once the peak (placed between the steps by a
    // parabola through the log power of the three around it) lies clearly nearer that step, so
    // that a tone between two steps does not flutter.
    const auto kept = [&](int found, int previous) {
        // The component followed so far, where it still is (on its step or a neighbour), stays
        // unless another is clearly stronger: a voice's partials take turns being the strongest.
        int near = -1;
        for (int s = previous - 1; s <= previous + 1; ++s)
            if (peak(s) && (near < 0 || at(s) > at(near))) near = s;
        if (near >= 0 && near != found && at(near) >= StayWithin * at(found)) found = near;
        if (std::abs(found - previous) != 1) return found;
        const double below = std::log(at(found - 1) + Tiny);
        const double centre = std::log(at(found) + Tiny);
        const double above = std::log(at(found + 1) + Tiny);
        const double bend = below - 2 * centre + above;
        const double offset = bend < 0 ? 0.5 * (below - above) / bend : 0.0;
        return std::abs(found + offset - previous) <= KeepWithin ? previous : found;
    };
    int low = -1;
    int high = -1;
    for (int s = LowestSoundStep; s <= LowBandTopStep; ++s)
        if (peak(s) && (low < 0 || at(s) > at(low))) low = s;
    if (low >= 0 && before != nullptr && before->LowStrength > 0) low = kept(low, before->LowStep);
    for (int s = HighBandBottomStep; s <= HighestSoundStep; ++s)
        if (peak(s) && (low < 0 || std::abs(s - low) > SeparateSteps) && (high < 0 || at(s) > at(high))) high = s;
    // Nothing else near as strong: the high band plays the low band's component too.
    if (low >= HighBandBottomStep && (high < 0 || at(high) < DoubleBelow * at(low))) high = low;
    if (high >= 0 && high != low && before != nullptr && before->HighStrength > 0 && before->HighStep >= HighBandBottomStep &&
        std::abs(before->HighStep - low) > SeparateSteps)
        high = kept(high, before->HighStep);
    SoundFrame frame{};
    frame.LowStep = static_cast<short>(low >= 0 ? low : LowestSoundStep);
    frame.HighStep = static_cast<short>(high >= 0 ? high : HighBandBottomStep);
    frame.LowStrength = low >= 0 ? 2.0f * std::sqrt(at(low)) : 0.0f;
    frame.HighStrength = high >= 0 ? 2.0f * std::sqrt(at(high)) : 0.0f;
    return frame;
}

}  // namespace

void StartSoundAnalysis(SoundAnalysis* analysis, int rate)
{
    SoundAnalysis& a = *analysis;
    a = SoundAnalysis{};
    a.Rate = rate;
    a.Decimation = std::max(1, rate / LeastWorkingRate);
    const double working = static_cast<double>(rate) / a.Decimation;
    // A Hann-windowed sinc low-pass, so that what lies above the working rate's half does not
    // fold down onto the bands.
    const int taps = a.Decimation > 1 ? FilterTapsPerDecimation * a.Decimation + 1 : 1;
    a.Filter.assign(static_cast<std::size_t>(taps), 1.0f);
    if (taps > 1) {
        const double cutoff = FilterCutoffShare * working / rate;  // of the input rate
        double sum = 0;
        for (int i = 0; i < taps; ++i) {
            const double x = i - (taps - 1) / 2.0;
            const double sinc = x == 0 ? 2 * cutoff : std::sin(2 * Pi * cutoff * x) / (Pi * x);
            const double hann = 0.5 - 0.5 * std::cos(2 * Pi * i / (taps - 1));
            a.Filter[static_cast<std::size_t>(i)] = static_cast<float>(sinc * hann);
            sum += sinc * hann;
        }
        for (float& f : a.Filter) f = static_cast<float>(f / sum);
    }
    a.History.assign(a.Filter.size(), 0.0f);
    for (int s = LowestSoundStep; s <= HighestSoundStep; ++s) {
        const double hz = StepHz(s);
        const bool reachable = hz < HighestShareOfWorking * working;
        const double w = 2 * Pi * hz / working;
        a.Cos.push_back(static_cast<float>(std::cos(w)));
        a.Sin.push_back(static_cast<float>(std::sin(w)));
        const double seconds = std::min(ResonatorQ / (2 * Pi * hz), MostResonatorSeconds);
        a.Keep.push_back(reachable ? static_cast<float>(std::exp(-1.0 / (seconds * working))) : 0.0f);
    }
    a.Re.assign(2 * a.Cos.size(), 0.0f);
    a.Im.assign(2 * a.Cos.size(), 0.0f);
}

void FeedSoundAnalysis(SoundAnalysis* analysis, const float* samples, std::size_t count)
{
    SoundAnalysis& a = *analysis;
    const std::size_t taps = a.Filter.size();
    std::vector<float> power(a.Keep.size());
    for (std::size_t n = 0; n < count; ++n) {
        a.History[a.HistoryAt] = samples[n];
        a.HistoryAt = (a.HistoryAt + 1) % taps;
        ++a.Taken;
        if (a.Taken % a.Decimation == 0) {
            float x = 0;
            for (std::size_t j = 0; j < taps; ++j) x += a.Filter[j] * a.History[(a.HistoryAt + j) % taps];
            const std::size_t steps = a.Keep.size();
            for (std::size_t k = 0; k < steps; ++k) {
                const float keep = a.Keep[k];
                if (keep == 0.0f) continue;
                // The first resonator takes the sound, the second the first's output.
                const float re = a.Re[k];
                const float im = a.Im[k];
                a.Re[k] = keep * (a.Cos[k] * re - a.Sin[k] * im) + (1.0f - keep) * x;
                a.Im[k] = keep * (a.Sin[k] * re + a.Cos[k] * im);
                const float re2 = a.Re[steps + k];
                const float im2 = a.Im[steps + k];
                a.Re[steps + k] = keep * (a.Cos[k] * re2 - a.Sin[k] * im2) + (1.0f - keep) * re;
                a.Im[steps + k] = keep * (a.Sin[k] * re2 + a.Cos[k] * im2) + (1.0f - keep) * im;
            }
        }
        // A frame ends every 5 ms of input.
        const long long frameEnd = (static_cast<long long>(a.Frames.size()) + 1) * a.Rate / FramesPerSecond;
        if (a.Taken < frameEnd) continue;
        const std::size_t second = power.size();
        for (std::size_t k = 0; k < second; ++k)
            power[k] = a.Re[second + k] * a.Re[second + k] + a.Im[second + k] * a.Im[second + k];
        a.Frames.push_back(PickFrame(power, a.Frames.empty() ? nullptr : &a.Frames.back()));
    }
}

float LoudestOf(const std::vector<SoundFrame>& frames)
{
    float loudest = 0;
    for (const SoundFrame& f : frames) loudest = std::max({loudest, f.LowStrength, f.HighStrength});
    return loudest;
}

RumbleStream RumbleOfSound(const std::vector<SoundFrame>& frames, float loudest)
{
    RumbleStream stream;
    stream.SamplePeriodUs = SampleSpacingUs;
    stream.Samples.reserve(frames.size());
    const double gate = loudest * std::pow(10.0, -QuietestSoundDb / 20.0);
    RumbleSample state = RestingRumbleSample;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        const SoundFrame& f = frames[k];
        for (const bool high : {true, false}) {
            BandLevel& band = high ? state.High : state.Low;
            const float strength = high ? f.HighStrength : f.LowStrength;
            const int step = high ? f.HighStep : f.LowStep;
            int wanted = SilentAmplitude;
            if (loudest > 0 && strength > gate) {
                wanted = SafeMaximumAmplitude +
                         static_cast<int>(std::lround(LogStepsPerOctave * std::log2(strength / static_cast<double>(loudest))));
                wanted = std::clamp(wanted, QuietestAmplitude, SafeMaximumAmplitude);
            }
            // A band rises most of the way at once and falls no faster than a fade, so that its
            // loudness does not flutter with the beating of partials.
            const int faded = band.Amplitude - FadeStepsPerSample;
            const bool sounded = band.Amplitude >= QuietestAmplitude;
            if (wanted > band.Amplitude && sounded)
                wanted = band.Amplitude + static_cast<int>(std::lround(RiseShare * (wanted - band.Amplitude)));
            // It moves to another component only where that lasts beyond this sample (a blip
            // of 5 ms is noise), and keeps its frequency while it fades.
            const int frequency = FrequencyOfToneStep(step, high);
            const int next = k + 1 < frames.size() ? (high ? frames[k + 1].HighStep : frames[k + 1].LowStep) : step;
            const bool lasts = std::abs(next - step) <= 1 || std::abs(frequency - band.Frequency) <= 1;
            if (wanted >= QuietestAmplitude && (lasts || !sounded)) band.Frequency = frequency;
            band.Amplitude = std::max(wanted, faded);
            if (band.Amplitude < QuietestAmplitude) band.Amplitude = SilentAmplitude;
        }
        stream.Samples.push_back(state);
    }
    return stream;
}
