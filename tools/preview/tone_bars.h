// Groups the rumble of one band into bars, one per sounded note: consecutive reports of the
// same frequency code merge (so a note's softer last half stays part of it); a bar ends where
// the code changes, the band falls silent, reports stop meeting, or the band grows louder
// again (the attack of a repeated note).
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
    int FrequencyCode;
    double FrequencyHz;
    std::int64_t StartNs;
    std::int64_t EndNs;
    std::vector<BarStep> Steps;  // one per change of loudness, in time order
};

std::vector<ToneBar> BuildToneBars(const RumbleTimeline& timeline, RumbleBand band);
