// One absolute schedule of rumble reports for a piece: every report's due time counts from the
// start, so nothing drifts.
#pragma once

#include "controller/protocol.h"
#include "play/arrange/piece.h"
#include "rumble/tone_tables.h"

#include <vector>

constexpr long long DefaultMinIntervalUs = ControllerReportPeriodUs;
constexpr long long SoundingRefreshUs = 50000;  // a held tone is resent this often
constexpr long long SilentRefreshUs = 1000000;  // and silence this often, to keep the link

// A Joy-Con has one actuator and takes the same block in both places; a Pro Controller has two.
struct ScheduledReport {
    long long DueUs;
    RumbleBytes Left;   // the left actuator's block
    RumbleBytes Right;  // the right actuator's
};

struct Schedule {
    std::vector<ScheduledReport> Reports;
    long long LengthUs = 0;  // the piece's length: the player waits for it after the last report
    // Played more than once, the passes after the first begin here (a report due then must
    // carry the whole state, as the first does).
    long long RepeatFromUs = 0;
    // How much sooner than the connection's interval after the end of the write before a report
    // may go out: a stream's reports come exactly one interval apart, and a write that took a
    // moment must not push every later one back.
    long long WriteAllowanceUs = 0;
};

bool SameRumble(const RumbleBytes& a, const RumbleBytes& b);
// Whether r is the silence report's block.
bool IsSilence(const RumbleBytes& r);

// Rumble bytes of the voices' states: a single voice on both bands, voice 1 on the high and
// voice 2 on the low band of two.
RumbleBytes CombineVoiceSteps(const std::vector<const VoiceStep*>& steps);

// The reports for piece. The first is due at 0 with the state at the start. A change of the
// bytes is sent when it happens, but never less than minIntervalUs after the report before:
// changes closer than that are merged into one report, the later state winning. While a tone
// sounds the bytes are resent at least every SoundingRefreshUs, in silence every
// SilentRefreshUs (and never closer than minIntervalUs); a refresh that would put the next change
// off goes out earlier or is left out, so that changes at least minIntervalUs apart each go out
// when they happen. The piece ends in silence.
Schedule BuildSchedule(const Piece& piece, long long minIntervalUs);

// The same for a controller with two actuators, each playing its own piece; the rules hold for
// the report that carries both.
Schedule BuildSchedule(const Piece& left, const Piece& right, long long minIntervalUs);
