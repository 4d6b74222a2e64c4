#include "play/live/live_output.h"

#include "play/schedule/report_schedule.h"

#include <algorithm>

long long NextLiveReportUs(const LiveOutput& output, const RumbleBytes& left, const RumbleBytes& right, long long nowUs,
                           long long turnUs)
{
    if (!output.HasSent || !SameRumble(output.Left, left) || !SameRumble(output.Right, right))
        return std::max(nowUs, turnUs);
    const bool silent = IsSilence(output.Left) && IsSilence(output.Right);
    return std::max(output.SentUs + (silent ? SilentRefreshUs : SoundingRefreshUs), turnUs);
}

void NoteLiveReportSent(LiveOutput& output, const RumbleBytes& left, const RumbleBytes& right, long long sentUs)
{
    output.Left = left;
    output.Right = right;
    output.HasSent = true;
    output.SentUs = sentUs;
}
