#include "play/sound/sound_analysis.h"

#include "common/time_units.h"
#include "rumble/rumble_blocks.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int FramesPerSecond = static_cast<int>(MicrosecondsPerSecond / SampleSpacingUs);  // a rumble sample each
// The sound is brought down to about this rate: partials to nearly 4 kHz are enough to tell the
// notes of both bands, and it is cheap.
constexpr int WorkingRate = 8000;
constexpr int FilterTapsPerDecimation = 8;
constexpr double FilterCutoffShare = 0.35;   // of the working rate
// The pitch window: long enough to part a bass's harmonics, short enough to follow a melody.
constexpr double PitchWindowSeconds = 0.075;
constexpr int LeastWindowSamples = 16;
constexpr double AttackUs = 5000;            // a whole sound's window lies this much after its frame
constexpr double LobeHalfWidthBins = 2.0;    // a Hann window's main lobe, in bins of its own length
constexpr std::size_t PowerFrames = 64;      // frames of power kept: more than any lookahead
// A frame sounds while the sound's power in it or a neighbour is at least this share of the
// window's: a sound stopped dead leaves the frames after it silent at once, though the window
// still holds it.
constexpr double SoundingPowerShare = 1.0 / 16;
constexpr int MelodyAboveBassSteps = 5;      // a melody lies at least this far above the bass
constexpr float MelodyShare = 0.7f;          // of the most salient line: a melody is at least this salient
constexpr float TopLineShare = 0.5f;         // lines this near the strongest above the bass: the highest is the melody
constexpr float KeepLineShare = 0.6f;        // the line followed stays while this near the one chosen
constexpr int FadeStepsPerSample = 16;       // half an octave of amplitude every 5 ms
constexpr double RiseShare = 0.65;           // of the way up a sounding band goes in one sample

int Fold(int step, int lowest, int highest)
{
    while (step < lowest) step += LogStepsPerOctave;
    while (step > highest) step -= LogStepsPerOctave;
    return step;
}

// The line to follow among lines: one within a step of followed when it is nearly as salient as
// choice, else choice; its step is followed's where it moved by no more than a step (so that a
// tone between two steps does not flutter).
int Followed(const PitchLine* lines, int count, const PitchLine& choice, int followed, int above)
{
    const PitchLine* chosen = &choice;
    for (int i = 0; i < count && followed > 0; ++i)
        if (lines[i].Step > above && std::abs(lines[i].Step - followed) <= 1 && lines[i].Salience >= KeepLineShare * choice.Salience)
            chosen = &lines[i];
    return followed > 0 && std::abs(chosen->Step - followed) <= 1 ? followed : chosen->Step;
}

double FramePowerOf(const SoundAnalysis& a, long long frame)
{
    if (frame < 0) return 0;
    const std::size_t slot = static_cast<std::size_t>(frame) % PowerFrames;
    return a.FrameSamples[slot] > 0 ? a.FramePower[slot] / a.FrameSamples[slot] : 0;
}

// Frame k of the sound, its window ending at the newest working sample.
SoundFrame AnalyseFrame(SoundAnalysis& a, long long k)
{
    const std::size_t length = a.Window.size();
    const std::size_t mask = a.Ring.size() - 1;
    const long long newest = a.Made - 1;
    double power = 0, weights = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const float x = a.Ring[static_cast<std::size_t>(newest - static_cast<long long>(length) + 1 + static_cast<long long>(i)) & mask];
        a.Frame[i] = a.Window[i] * x;
        power += a.Frame[i] * a.Frame[i];
        weights += a.Window[i] * a.Window[i];
    }
    power /= weights;
    SoundFrame frame{};
    const SoundFrame* before = k > 0 ? &a.Latest : nullptr;
    frame.LowStep = static_cast<short>(before != nullptr ? before->LowStep : LowestSoundStep);
    frame.HighStep = static_cast<short>(before != nullptr ? before->HighStep : HighBandBottomStep);
    const double nearby = std::max({FramePowerOf(a, k - 1), FramePowerOf(a, k), FramePowerOf(a, k + 1)});
    PitchLine lines[MostPitchLines];
    // Silence, or a sound stopped: no transform is needed.
    const bool sounding = power > 0 && nearby >= SoundingPowerShare * power;
    if (sounding) MagnitudeSpectrum(&a.Transform, a.Frame.data(), a.Magnitudes.data());
    const int found = sounding ? FindPitchLines(&a.Search, a.Magnitudes.data(), lines) : 0;
    if (found == 0) {
        a.MelodyStep = a.BassStep = 0;
        return frame;
    }
    const PitchLine* bass = &lines[0];
    for (int i = 1; i < found; ++i)
        if (lines[i].Step < bass->Step) bass = &lines[i];
    // The melody: the highest of the lines above the bass that are nearly as salient as the
    // strongest of them, itself near the most salient line (what is much weaker is an inner
    // voice or an overtone's remains); a single line is both.
    const PitchLine* strongest = nullptr;
    for (int i = 0; i < found; ++i)
        if (lines[i].Step >= bass->Step + MelodyAboveBassSteps && lines[i].Salience >= MelodyShare * lines[0].Salience &&
            (strongest == nullptr || lines[i].Salience > strongest->Salience))
            strongest = &lines[i];
    const PitchLine* melody = bass;
    if (strongest != nullptr) {
        melody = strongest;
        for (int i = 0; i < found; ++i)
            if (lines[i].Step >= bass->Step + MelodyAboveBassSteps && lines[i].Salience >= TopLineShare * strongest->Salience &&
                lines[i].Step > melody->Step)
                melody = &lines[i];
    }
    a.BassStep = Followed(lines, found, *bass, a.BassStep, 0);
    a.MelodyStep = melody == bass ? a.BassStep : Followed(lines, found, *melody, a.MelodyStep, bass->Step + MelodyAboveBassSteps - 1);
    int low = Fold(a.BassStep, LowestSoundStep, LowBandTopStep);
    int high = Fold(a.MelodyStep, HighBandBottomStep, HighestSoundStep);
    // Folding may put the melody below the bass; an octave the other way parts them again.
    if (high < low && low - LogStepsPerOctave >= LowestSoundStep) low -= LogStepsPerOctave;
    if (high < low && high + LogStepsPerOctave <= HighestSoundStep) high += LogStepsPerOctave;
    frame.LowStep = static_cast<short>(low);
    frame.HighStep = static_cast<short>(high);
    frame.LowStrength = bass->Amplitude;
    frame.HighStrength = melody->Amplitude;
    return frame;
}

void TakeSample(SoundAnalysis& a, float sample, bool heard)
{
    const std::size_t taps = a.Filter.size();
    // The history is kept twice over, so that the latest taps samples always lie in a row.
    a.History[a.HistoryAt] = a.History[a.HistoryAt + taps] = sample;
    a.HistoryAt = (a.HistoryAt + 1) % taps;
    ++a.Taken;
    if (heard) ++a.Heard;
    if (a.Taken % a.Decimation != 0) return;
    float x = 0;
    const float* latest = a.History.data() + a.HistoryAt;
    for (std::size_t j = 0; j < taps; ++j) x += a.Filter[j] * latest[j];
    a.Ring[static_cast<std::size_t>(a.Made) & (a.Ring.size() - 1)] = x;
    ++a.Made;
    // The working sample's moment, in input samples: the filter delays it by half its length.
    const double at = static_cast<double>(a.Taken - 1) - static_cast<double>(taps - 1) / 2;
    const long long frame = std::max(0LL, static_cast<long long>(std::floor(at * FramesPerSecond / a.Rate)));
    for (; a.PowerFrame < frame; ++a.PowerFrame) {
        const std::size_t next = static_cast<std::size_t>(a.PowerFrame + 1) % PowerFrames;
        a.FramePower[next] = 0;
        a.FrameSamples[next] = 0;
    }
    const std::size_t slot = static_cast<std::size_t>(frame) % PowerFrames;
    a.FramePower[slot] += static_cast<double>(x) * x;
    ++a.FrameSamples[slot];
    // The frames whose window now reaches far enough, and whose 5 ms the sound itself covered.
    for (;;) {
        const long long k = a.FramesMade;
        const double centre = (k + 0.5) * a.Rate / FramesPerSecond;
        if (at < centre + a.LookaheadInput || (k + 1) * a.Rate / FramesPerSecond > a.Heard) break;
        a.Latest = AnalyseFrame(a, k);
        a.Frames.push_back(a.Latest);
        ++a.FramesMade;
    }
}

}  // namespace

void StartSoundAnalysis(SoundAnalysis* analysis, int rate, SoundLookahead lookahead)
{
    SoundAnalysis& a = *analysis;
    a = SoundAnalysis{};
    a.Rate = rate;
    a.Decimation = std::max(1, rate / WorkingRate);
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
    a.History.assign(2 * a.Filter.size(), 0.0f);

    const std::size_t length = std::max<std::size_t>(LeastWindowSamples, static_cast<std::size_t>(std::lround(PitchWindowSeconds * working)));
    std::size_t size = 4;
    while (2 * size < 3 * length) size *= 2;  // zero-padded by half again at least
    a.Window.resize(length);
    double windowSum = 0;
    for (std::size_t i = 0; i < length; ++i) {
        a.Window[i] = static_cast<float>(0.5 - 0.5 * std::cos(2 * Pi * (i + 0.5) / length));
        windowSum += a.Window[i];
    }
    a.Frame.assign(size, 0.0f);
    a.Magnitudes.assign(size / 2 + 1, 0.0f);
    a.Ring.assign(size, 0.0f);
    StartFourierTransform(&a.Transform, size);
    // The window's main lobe by bins of the padded transform, its peak 1.
    const double padding = static_cast<double>(size) / length;
    std::vector<float> lobe;
    for (int o = 0; o <= static_cast<int>(std::ceil(LobeHalfWidthBins * padding)); ++o) {
        const double x = o / padding;
        const double sinc = x == 0 ? 1.0 : std::sin(Pi * x) / (Pi * x);
        lobe.push_back(std::abs(x - 1) < 1e-9 ? 0.5f : static_cast<float>(std::abs(sinc / (1 - x * x))));
    }
    StartPitchSearch(&a.Search, static_cast<int>(size / 2 + 1), working / size, windowSum, lobe);
    a.FramePower.assign(PowerFrames, 0.0);
    a.FrameSamples.assign(PowerFrames, 0);

    // A whole sound centres each frame's window a little after it, since a note's pitch settles
    // only after its attack; a live one reaches no further than the wait allows past the frame's
    // end, however long the window.
    const double centred = static_cast<double>(length) * a.Decimation / 2 + AttackUs * rate / MicrosecondsPerSecond;
    const double live = (MostLiveLookaheadUs + SampleSpacingUs / 2.0) * rate / MicrosecondsPerSecond;
    a.LookaheadInput = lookahead == SoundLookahead::Centred ? centred : std::min(centred, live);
}

void FeedSoundAnalysis(SoundAnalysis* analysis, const float* samples, std::size_t count)
{
    for (std::size_t n = 0; n < count; ++n) TakeSample(*analysis, samples[n], true);
}

void FinishSoundAnalysis(SoundAnalysis* analysis)
{
    SoundAnalysis& a = *analysis;
    long long due = a.FramesMade;
    while ((due + 1) * a.Rate / FramesPerSecond <= a.Heard) ++due;
    while (a.FramesMade < due) TakeSample(a, 0.0f, false);
}

float LoudestOf(const std::vector<SoundFrame>& frames)
{
    float loudest = 0;
    for (const SoundFrame& f : frames) loudest = std::max({loudest, f.LowStrength, f.HighStrength});
    return loudest;
}

void NextSoundSample(RumbleSample* state, const SoundFrame& frame, const SoundFrame* next, float loudest)
{
    const double gate = loudest * std::pow(10.0, -QuietestSoundDb / 20.0);
    for (const bool high : {true, false}) {
        BandLevel& band = high ? state->High : state->Low;
        const float strength = high ? frame.HighStrength : frame.LowStrength;
        const int step = high ? frame.HighStep : frame.LowStep;
        int wanted = SilentAmplitude;
        if (loudest > 0 && strength > gate) {
            wanted = SafeMaximumAmplitude +
                     static_cast<int>(std::lround(LogStepsPerOctave * std::log2(strength / static_cast<double>(loudest))));
            wanted = std::clamp(wanted, QuietestAmplitude, SafeMaximumAmplitude);
        }
        // A band rises most of the way at once and, while the sound goes on, falls no faster
        // than a fade, so that its loudness does not flutter with the beating of partials;
        // when the sound stops, it stops.
        const int faded = wanted == SilentAmplitude ? SilentAmplitude : band.Amplitude - FadeStepsPerSample;
        const bool sounded = band.Amplitude >= QuietestAmplitude;
        if (wanted > band.Amplitude && sounded)
            wanted = band.Amplitude + static_cast<int>(std::lround(RiseShare * (wanted - band.Amplitude)));
        // It moves to another note only where that lasts beyond this sample (a blip of 5 ms
        // is noise), and keeps its frequency while it fades.
        const int frequency = FrequencyOfToneStep(step, high);
        const int after = next != nullptr ? (high ? next->HighStep : next->LowStep) : step;
        const bool lasts = std::abs(after - step) <= 1 || std::abs(frequency - band.Frequency) <= 1;
        if (wanted >= QuietestAmplitude && (lasts || !sounded)) band.Frequency = frequency;
        band.Amplitude = std::max(wanted, faded);
        if (band.Amplitude < QuietestAmplitude) band.Amplitude = SilentAmplitude;
    }
}

RumbleStream RumbleOfSound(const std::vector<SoundFrame>& frames, float loudest)
{
    RumbleStream stream;
    stream.SamplePeriodUs = SampleSpacingUs;
    stream.Samples.reserve(frames.size());
    RumbleSample state = RestingRumbleSample;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        NextSoundSample(&state, frames[k], k + 1 < frames.size() ? &frames[k + 1] : nullptr, loudest);
        stream.Samples.push_back(state);
    }
    return stream;
}
