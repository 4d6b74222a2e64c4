#include "tools/preview/sample_tone.h"

namespace {

BandTone ToneOfBand(const BandLevel& level, bool high)
{
    return {level, FrequencyHz(level.Frequency, high),
            AmplitudeShare(level.Amplitude) / AmplitudeShare(SafeMaximumAmplitude)};
}

}  // namespace

RumbleTone ToneOfSample(const RumbleSample& sample)
{
    return {ToneOfBand(sample.High, true), ToneOfBand(sample.Low, false)};
}
