#include "tools/preview/rumble_timeline.h"

#include <algorithm>
#include <map>

namespace {

constexpr std::int64_t NsPerMs = 1000000;

bool IsRumbleWrite(const LogEvent& event)
{
    return event.Kind == LogEventKind::Write && !event.Bytes.empty() &&
           event.Bytes[0] == RumbleOnlyReportId;
}

// The most common spacing of consecutive reports, to the millisecond; ties go to the shorter.
std::int64_t FindReportSpacing(const std::vector<RumbleStretch>& stretches)
{
    std::map<std::int64_t, int> counts;
    for (std::size_t i = 1; i < stretches.size(); ++i) {
        if (stretches[i - 1].EndNs != stretches[i].StartNs) continue;
        const std::int64_t ms = (stretches[i - 1].EndNs - stretches[i - 1].StartNs + NsPerMs / 2) /
                                NsPerMs;
        if (ms > 0) ++counts[ms];
    }
    std::int64_t best = 0;
    int bestCount = 0;
    for (const auto& entry : counts) {
        if (entry.second > bestCount) {
            best = entry.first;
            bestCount = entry.second;
        }
    }
    return best * NsPerMs;
}

// The same tone, right after, at a lower amplitude: the soft last half of a note, which lasts
// as long as the loud half before it.
bool IsSofterHalf(const RumbleStretch& before, const RumbleStretch& after)
{
    const RumbleTone& a = before.Tone;
    const RumbleTone& b = after.Tone;
    return before.EndNs == after.StartNs && a.High.FrequencyCode == b.High.FrequencyCode &&
           a.Low.FrequencyCode == b.Low.FrequencyCode &&
           b.High.Amplitude + b.Low.Amplitude < a.High.Amplitude + a.Low.Amplitude;
}

void FindRests(RumbleTimeline& timeline)
{
    const std::int64_t spacing = timeline.ReportSpacingNs;
    if (spacing <= 0) return;
    const std::vector<RumbleStretch>& stretches = timeline.Stretches;
    for (std::size_t i = 0; i < stretches.size(); ++i) {
        const RumbleStretch& stretch = stretches[i];
        if (IsSilent(stretch.Tone)) continue;
        std::int64_t usual = spacing;
        if (i > 0 && IsSofterHalf(stretches[i - 1], stretch)) {
            usual = std::min(usual, stretches[i - 1].EndNs - stretches[i - 1].StartNs);
        }
        const std::int64_t held = stretch.EndNs - stretch.StartNs - usual;
        if (held <= RestSpacingFactor * spacing) continue;
        timeline.Rests.push_back({stretch.StartNs + usual, stretch.EndNs});
    }
}

void FindSilences(RumbleTimeline& timeline)
{
    if (timeline.Stretches.empty()) return;
    std::int64_t quietSince = timeline.Stretches.front().StartNs;
    bool quiet = true;
    auto endQuiet = [&](std::int64_t at) {
        if (quiet && at > quietSince) timeline.Silences.push_back({quietSince, at});
        quiet = false;
    };
    for (const RumbleStretch& stretch : timeline.Stretches) {
        if (IsSilent(stretch.Tone)) {
            if (!quiet) {
                quiet = true;
                quietSince = stretch.StartNs;
            }
            continue;
        }
        endQuiet(stretch.StartNs);
        // Quiet from its end until the next sounding stretch, also across a gap after a close.
        quiet = true;
        quietSince = stretch.EndNs;
    }
    endQuiet(timeline.EndNs);
}

}  // namespace

bool IsSilent(const RumbleTone& tone)
{
    return tone.High.Amplitude <= 0.0 && tone.Low.Amplitude <= 0.0;
}

RumbleTimeline BuildRumbleTimeline(const std::vector<LogEvent>& events)
{
    RumbleTimeline timeline{};
    if (events.empty()) return timeline;
    timeline.StartNs = events.front().TimeNs;
    timeline.EndNs = events.back().TimeNs;

    bool open = false;  // a rumble stretch is running
    for (const LogEvent& event : events) {
        const bool rumble = IsRumbleWrite(event);
        if (rumble && event.Bytes.size() < RumbleReportMinimumSize) {
            timeline.Problems.push_back("line " + std::to_string(event.Line) +
                                        ": rumble report too short");
            continue;
        }
        if (open && (rumble || event.Kind == LogEventKind::Close)) {
            timeline.Stretches.back().EndNs = event.TimeNs;
            open = false;
        }
        if (!rumble) continue;
        const unsigned char* block = event.Bytes.data() + RumbleBlockOffset;
        timeline.Stretches.push_back(
            {event.TimeNs, timeline.EndNs,
             DecodeRumbleBlock(block[0], block[1], block[2], block[3])});
        open = true;
    }
    timeline.ReportSpacingNs = FindReportSpacing(timeline.Stretches);
    FindRests(timeline);
    FindSilences(timeline);
    return timeline;
}
