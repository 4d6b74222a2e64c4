#include "tools/preview/rumble_codes.h"

#include <cmath>

namespace {

constexpr double BaseFrequencyHz = 10.0;
constexpr double StepsPerOctave = 32.0;
constexpr double HighBandOffset = 96.0;    // t of high band code 0
constexpr double LowBandOffset = 64.0;     // t of low band code 0
constexpr double HighCodeStepsPerT = 4.0;  // the high band code counts quarter steps of t

constexpr int MaxStep = 127;
constexpr int LowAmplitudeZeroCode = 0x40;

// Anchors of the amplitude curve.
constexpr double FirstStepAmplitude = 0.01;  // step 1
constexpr int LastSteepStep = 15;
constexpr double SteepStepsPerDoubling = 4.0;
constexpr int MiddleFirstStep = 16;
constexpr double MiddleFirstAmplitude = 0.117;
constexpr int UpperFirstStep = 32;
constexpr int FullScaleStep = 100;         // high code 0xC8, low code 0x72
constexpr double UpperStepsPerDoubling = 32.0;

double UpperAmplitude(int step)
{
    return std::pow(2.0, (step - FullScaleStep) / UpperStepsPerDoubling);
}

}  // namespace

double HighBandFrequency(int code)
{
    const double t = code / HighCodeStepsPerT + HighBandOffset;
    return BaseFrequencyHz * std::pow(2.0, t / StepsPerOctave);
}

double LowBandFrequency(int code)
{
    const double t = code + LowBandOffset;
    return BaseFrequencyHz * std::pow(2.0, t / StepsPerOctave);
}

double AmplitudeOfStep(int step)
{
    if (step <= 0) return 0.0;
    if (step > MaxStep) step = MaxStep;
    if (step <= LastSteepStep) {
        return FirstStepAmplitude * std::pow(2.0, (step - 1) / SteepStepsPerDoubling);
    }
    if (step < UpperFirstStep) {
        const double ratio = UpperAmplitude(UpperFirstStep) / MiddleFirstAmplitude;
        const double fraction =
            static_cast<double>(step - MiddleFirstStep) / (UpperFirstStep - MiddleFirstStep);
        return MiddleFirstAmplitude * std::pow(ratio, fraction);
    }
    return UpperAmplitude(step);
}

double HighBandAmplitude(int code)
{
    return AmplitudeOfStep(code / 2);
}

double LowBandAmplitude(int code)
{
    return AmplitudeOfStep(2 * (code - LowAmplitudeZeroCode));
}

RumbleTone DecodeRumbleBlock(unsigned char r0, unsigned char r1, unsigned char r2,
                             unsigned char r3)
{
    RumbleTone tone{};
    tone.High.FrequencyCode = r0 | ((r1 & 0x01) << 8);
    tone.High.AmplitudeCode = r1 & 0xFE;
    tone.High.FrequencyHz = HighBandFrequency(tone.High.FrequencyCode);
    tone.High.Amplitude = HighBandAmplitude(tone.High.AmplitudeCode);
    tone.Low.FrequencyCode = r2 & 0x7F;
    tone.Low.AmplitudeCode = r3;
    tone.Low.FrequencyHz = LowBandFrequency(tone.Low.FrequencyCode);
    tone.Low.Amplitude = LowBandAmplitude(tone.Low.AmplitudeCode);
    return tone;
}
