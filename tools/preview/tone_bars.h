// Groups the rumble of one band into bars, one per sounded note: consecutive samples of the
// same frequency merge (so a note's rise, its softer last half and its fade stay part of it); a
// bar ends where the frequency changes, the band falls silent, samples stop meeting, or the band
// grows louder again after it had grown softer (the attack of a repeated note).
#pragma once

#include <cstdint>
#include <vector>

#include "tools/preview/rumble_timeline.h"

enum class RumbleBand { High, Low };

struct BarStep {
    std::int64_t StartNs;
    std::int64_t EndNs;
    double Amplitude;
};

struct ToneBar {
    RumbleBand Band;
    int Frequency;  // 1/32 octave from the band's centre
    double FrequencyHz;
    std::int64_t StartNs;
    std::int64_t EndNs;
    std::vector<BarStep> Steps;  // one per change of loudness, in time order
};

std::vector<ToneBar> BuildToneBars(const RumbleTimeline& timeline, RumbleBand band);
