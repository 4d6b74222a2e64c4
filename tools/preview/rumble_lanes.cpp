#include "tools/preview/rumble_lanes.h"

#include "controller/protocol.h"

#include <algorithm>

namespace {

int OpenedProduct(const std::vector<LogEvent>& events)
{
    for (const LogEvent& event : events)
        if (event.Kind == LogEventKind::Open) return event.ProductId;
    return 0;
}

bool SameBands(const BandTone& a, const BandTone& b)
{
    return a.Level.Frequency == b.Level.Frequency && a.Level.Amplitude == b.Level.Amplitude;
}

bool SameRumble(const RumbleTimeline& a, const RumbleTimeline& b)
{
    if (a.Stretches.size() != b.Stretches.size()) return false;
    for (std::size_t i = 0; i < a.Stretches.size(); ++i) {
        const RumbleTone& x = a.Stretches[i].Tone;
        const RumbleTone& y = b.Stretches[i].Tone;
        if (!SameBands(x.High, y.High) || !SameBands(x.Low, y.Low)) return false;
    }
    return true;
}

std::string NameOf(const std::string& controller, const char* actuator)
{
    if (controller.empty()) return actuator;
    return *actuator == '\0' ? controller : controller + ", " + actuator;
}

}  // namespace

std::vector<RumbleLane> LanesOfLog(const std::vector<LogEvent>& events, const std::string& controller)
{
    const int product = OpenedProduct(events);
    if (product == LeftJoyConProductId)
        return {{NameOf(controller, ""), LanePan::Left, BuildRumbleTimeline(events, RumbleActuator::Left)}};
    if (product == RightJoyConProductId)
        return {{NameOf(controller, ""), LanePan::Right, BuildRumbleTimeline(events, RumbleActuator::Right)}};
    RumbleTimeline left = BuildRumbleTimeline(events, RumbleActuator::Left);
    RumbleTimeline right = BuildRumbleTimeline(events, RumbleActuator::Right);
    if (SameRumble(left, right)) return {{NameOf(controller, ""), LanePan::Centre, left}};
    return {{NameOf(controller, "left actuator"), LanePan::Left, left},
            {NameOf(controller, "right actuator"), LanePan::Right, right}};
}

void AlignLanes(std::vector<RumbleLane>& lanes)
{
    if (lanes.empty()) return;
    std::int64_t start = lanes.front().Timeline.StartNs;
    std::int64_t end = lanes.front().Timeline.EndNs;
    for (const RumbleLane& lane : lanes) {
        start = std::min(start, lane.Timeline.StartNs);
        end = std::max(end, lane.Timeline.EndNs);
    }
    for (RumbleLane& lane : lanes) {
        RumbleTimeline& timeline = lane.Timeline;
        if (timeline.EndNs < end && !timeline.Stretches.empty()) {
            std::vector<TimeSpan>& silences = timeline.Silences;
            if (!silences.empty() && silences.back().EndNs == timeline.EndNs)
                silences.back().EndNs = end;
            else
                silences.push_back({timeline.EndNs, end});
        }
        timeline.StartNs = start;
        timeline.EndNs = end;
    }
}
