// What one 5 ms rumble sample sounds like: each band's frequency in Hz and its loudness.
#pragma once

#include "rumble/rumble_blocks.h"

struct BandTone {
    BandLevel Level;     // as the controller holds it, in 1/32 octave
    double FrequencyHz;
    double Amplitude;    // 1.0 at the safe maximum, 0 when still
};

struct RumbleTone {
    BandTone High;
    BandTone Low;
};

RumbleTone ToneOfSample(const RumbleSample& sample);
