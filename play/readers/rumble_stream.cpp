#include "play/readers/rumble_stream.h"

#include <algorithm>
#include <initializer_list>
#include <utility>

bool RefuseRumbleFile(RumbleFileError* error, std::size_t at, std::string message)
{
    *error = RumbleFileError{at, std::move(message)};
    return false;
}

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
