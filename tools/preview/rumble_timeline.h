// The rumble a logged run asks for, 5 ms sample by sample as the controller plays it: which
// tone sounds from when to when, where the music rests and where the controller is silent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/preview/event_log.h"
#include "tools/preview/sample_tone.h"

// One sample's reign: from the moment the controller plays it to its next sample, the close of
// the device, or the last event of the log. A block's samples play 5 ms apart from a ring of
// RumbleRingSlots: a block written while earlier samples still wait plays after them, and what
// finds the ring full is lost. A sample holds while no other follows.
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
    // Where the music rests: silence was sent between two sounding reports. A report held long
    // is no rest: the controller keeps playing it, and a player may resend it at any pace.
    std::vector<TimeSpan> Rests;
    // The other times after the first rumble report where neither band sounds: before the
    // music, after it, and while the device was closed.
    std::vector<TimeSpan> Silences;
    // Rumble reports too short to read, blocks of no form, samples lost; with line numbers.
    std::vector<std::string> Problems;
    std::size_t Reports;  // rumble reports read
};

constexpr unsigned char RumbleOnlyReportId = 0x10;
constexpr int RumbleBlockSize = 4;
constexpr int RumbleRingSlots = 8;

// Which rumble block a timeline follows: the left one (bytes 2 to 5: a left Joy-Con, a Pro
// Controller's left actuator) or the right one (bytes 6 to 9: a right Joy-Con, a Pro
// Controller's right actuator).
enum class RumbleActuator { Left, Right };

// The log must hold at least one event.
RumbleTimeline BuildRumbleTimeline(const std::vector<LogEvent>& events,
                                   RumbleActuator actuator = RumbleActuator::Left);

bool IsSilent(const RumbleTone& tone);
