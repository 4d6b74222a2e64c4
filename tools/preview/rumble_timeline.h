// The rumble a logged run asks for: which tone sounds from when to when, where the music
// rests and where the controller is silent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/preview/event_log.h"
#include "tools/preview/rumble_codes.h"

// One rumble report's reign: from its write to the next rumble report, the close of the
// device, or the last event of the log.
struct RumbleStretch {
    std::int64_t StartNs;
    std::int64_t EndNs;
    RumbleTone Tone;
};

struct TimeSpan {
    std::int64_t StartNs;
    std::int64_t EndNs;
};

struct RumbleTimeline {
    std::int64_t StartNs;  // first event of the log
    std::int64_t EndNs;    // last event of the log
    std::vector<RumbleStretch> Stretches;
    // Usual spacing of rumble reports (the most common one, to the millisecond); 0 if unknown.
    std::int64_t ReportSpacingNs;
    // Where the music rests while the controller keeps sounding the last report: a sounding
    // report is held more than RestSpacingFactor x ReportSpacingNs past its usual end (the
    // usual spacing; for a note's soft last half, the length of the loud half before it if
    // shorter). The rest starts at that usual end. A late report on a busy machine, or a rest
    // shorter than the factor, is not marked.
    std::vector<TimeSpan> Rests;
    // Times after the first rumble report where neither band sounds.
    std::vector<TimeSpan> Silences;
    std::vector<std::string> Problems;  // rumble reports too short to read, with line numbers
};

constexpr double RestSpacingFactor = 1.5;
constexpr unsigned char RumbleOnlyReportId = 0x10;
constexpr int RumbleBlockOffset = 2;            // r0..r3 are bytes 2 to 5 of the report
constexpr int RumbleReportMinimumSize = 6;

// The log must hold at least one event.
RumbleTimeline BuildRumbleTimeline(const std::vector<LogEvent>& events);

bool IsSilent(const RumbleTone& tone);
