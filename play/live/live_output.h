// When a controller playing live gets its next report: a change as soon as the least interval
// since its last report allows (changes within one interval merge, the latest state winning),
// and the bytes it sounds resent while nothing changes, as for files.
#pragma once

#include "rumble/tone_tables.h"

// What a controller was last sent, and when (microseconds on the performance's clock).
struct LiveOutput {
    RumbleBytes Left{};
    RumbleBytes Right{};
    bool HasSent = false;
    long long SentUs = 0;
};

// When the report that carries left and right (what the controller should sound now) is due:
// at once when they differ from what was sent, else when what was sent needs resending
// (SoundingRefreshUs after it while a tone sounds, SilentRefreshUs in silence); never before
// turnUs, the least interval after the last report.
long long NextLiveReportUs(const LiveOutput& output, const RumbleBytes& left, const RumbleBytes& right, long long nowUs,
                           long long turnUs);

// Records that left and right were sent at sentUs.
void NoteLiveReportSent(LiveOutput& output, const RumbleBytes& left, const RumbleBytes& right, long long sentUs);
