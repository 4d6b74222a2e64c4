#include "play/rumble_stream.h"

#include <algorithm>
#include <initializer_list>

void LowerToSafeMaximum(RumbleStream& stream)
{
    for (RumbleSample& sample : stream.Samples) {
        bool lowered = false;
        for (BandLevel* band : {&sample.High, &sample.Low}) {
            stream.PeakAmplitude = std::max(stream.PeakAmplitude, band->Amplitude);
            if (band->Amplitude <= SafeMaximumAmplitude) continue;
            band->Amplitude = SafeMaximumAmplitude;
            lowered = true;
        }
        stream.Lowered += lowered;
    }
}
