#include "tools/preview/rumble_timeline.h"

#include <algorithm>

namespace {

bool IsRumbleWrite(const LogEvent& event)
{
    return event.Kind == LogEventKind::Write && !event.Bytes.empty() &&
           event.Bytes[0] == RumbleOnlyReportId;
}

void FindSilences(RumbleTimeline& timeline)
{
    if (timeline.Stretches.empty()) return;
    std::int64_t quietSince = timeline.Stretches.front().StartNs;
    bool quiet = true;
    bool sent = false;   // the quiet began with a silence report
    bool heard = false;  // something sounded before it
    auto endQuiet = [&](std::int64_t at, bool soundFollows) {
        if (quiet && at > quietSince) {
            (sent && heard && soundFollows ? timeline.Rests : timeline.Silences).push_back({quietSince, at});
        }
        quiet = false;
    };
    for (const RumbleStretch& stretch : timeline.Stretches) {
        if (IsSilent(stretch.Tone)) {
            // Silence sent right where a sounding report ended (or after sound resumed).
            if (!quiet || quietSince == stretch.StartNs) {
                quiet = true;
                sent = true;
                quietSince = stretch.StartNs;
            }
            continue;
        }
        endQuiet(stretch.StartNs, true);
        heard = true;
        // Quiet from its end until the next sounding stretch, also across a gap after a close.
        quiet = true;
        sent = false;
        quietSince = stretch.EndNs;
    }
    endQuiet(timeline.EndNs, false);
}

}  // namespace

bool IsSilent(const RumbleTone& tone)
{
    return tone.High.Amplitude <= 0.0 && tone.Low.Amplitude <= 0.0;
}

RumbleTimeline BuildRumbleTimeline(const std::vector<LogEvent>& events, RumbleActuator actuator)
{
    constexpr std::int64_t SampleSpacingNs = SampleSpacingUs * 1000LL;
    const std::size_t offset = actuator == RumbleActuator::Left ? 2 : 2 + RumbleBlockSize;
    RumbleTimeline timeline{};
    if (events.empty()) return timeline;
    timeline.StartNs = events.front().TimeNs;
    timeline.EndNs = events.back().TimeNs;

    std::vector<RumbleStretch>& stretches = timeline.Stretches;
    // What the controller plays until (the ring runs dry then), and its bands' running state,
    // which lasts from block to block.
    std::int64_t playedUntil = timeline.StartNs;
    RumbleSample state = RestingRumbleSample;
    // Ends the rumble at a moment: samples still waiting are never heard.
    const auto endAt = [&stretches](std::int64_t at) {
        while (!stretches.empty() && stretches.back().StartNs >= at) stretches.pop_back();
        if (!stretches.empty() && stretches.back().EndNs > at) stretches.back().EndNs = at;
    };
    for (const LogEvent& event : events) {
        if (event.Kind == LogEventKind::Close) {
            endAt(event.TimeNs);
            playedUntil = event.TimeNs;
            continue;
        }
        if (!IsRumbleWrite(event)) continue;
        const std::string line = "line " + std::to_string(event.Line);
        if (event.Bytes.size() < offset + RumbleBlockSize) {
            timeline.Problems.push_back(line + ": rumble report too short");
            continue;
        }
        ++timeline.Reports;
        RumbleSample samples[MaxSamplesPerBlock];
        const int count = DecodeRumbleBlock(event.Bytes.data() + offset, &state, samples);
        if (count == 0) {
            timeline.Problems.push_back(line + ": rumble block of no known form");
            continue;
        }
        const std::int64_t first = std::max(event.TimeNs, playedUntil);
        const std::int64_t waiting = (first - event.TimeNs + SampleSpacingNs - 1) / SampleSpacingNs;
        const int kept = static_cast<int>(std::min<std::int64_t>(count, std::max<std::int64_t>(0, RumbleRingSlots - waiting)));
        if (kept < count) {
            timeline.Problems.push_back(line + ": " + std::to_string(count - kept) + " of " + std::to_string(count) +
                                        " samples lost: the controller's ring was full");
        }
        for (int k = 0; k < kept; ++k) {
            const std::int64_t at = first + k * SampleSpacingNs;
            if (!stretches.empty() && stretches.back().EndNs > at) stretches.back().EndNs = at;
            stretches.push_back({at, timeline.EndNs, ToneOfSample(samples[k])});
        }
        if (kept > 0) playedUntil = first + kept * SampleSpacingNs;
    }
    endAt(timeline.EndNs);
    FindSilences(timeline);
    return timeline;
}
