#include "tools/preview/rumble_timeline.h"

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
    const std::size_t offset = actuator == RumbleActuator::Left ? 2 : 2 + RumbleBlockSize;
    RumbleTimeline timeline{};
    if (events.empty()) return timeline;
    timeline.StartNs = events.front().TimeNs;
    timeline.EndNs = events.back().TimeNs;

    bool open = false;  // a rumble stretch is running
    for (const LogEvent& event : events) {
        const bool rumble = IsRumbleWrite(event);
        if (rumble && event.Bytes.size() < offset + RumbleBlockSize) {
            timeline.Problems.push_back("line " + std::to_string(event.Line) +
                                        ": rumble report too short");
            continue;
        }
        if (open && (rumble || event.Kind == LogEventKind::Close)) {
            timeline.Stretches.back().EndNs = event.TimeNs;
            open = false;
        }
        if (!rumble) continue;
        const unsigned char* block = event.Bytes.data() + offset;
        timeline.Stretches.push_back(
            {event.TimeNs, timeline.EndNs,
             DecodeRumbleBlock(block[0], block[1], block[2], block[3])});
        open = true;
    }
    FindSilences(timeline);
    return timeline;
}
