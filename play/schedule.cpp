#include "play/schedule.h"

#include "controller/link.h"

#include <algorithm>
#include <cstring>

namespace {

struct Change {
    long long AtUs;
    RumbleBytes Rumble;
};

bool SameRumble(const RumbleBytes& a, const RumbleBytes& b) { return std::memcmp(a.Bytes, b.Bytes, sizeof a.Bytes) == 0; }

bool IsSilence(const RumbleBytes& r) { return std::memcmp(r.Bytes, SilenceRumble, sizeof r.Bytes) == 0; }

// The piece's bytes at every time one of its voices steps, where they differ from before.
std::vector<Change> CollectChanges(const Piece& piece)
{
    std::vector<long long> times{0};
    for (const PieceVoice& voice : piece.Voices)
        for (const VoiceStep& step : voice.Steps) times.push_back(step.AtUs);
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());

    static const VoiceStep Resting{0, RestNote, 0, 0};
    std::vector<std::size_t> next(piece.Voices.size(), 0);
    std::vector<const VoiceStep*> current(piece.Voices.size(), &Resting);
    std::vector<Change> changes;
    for (long long t : times) {
        for (std::size_t v = 0; v < piece.Voices.size(); ++v) {
            const std::vector<VoiceStep>& steps = piece.Voices[v].Steps;
            // The last step at a time wins over earlier ones at the same time.
            while (next[v] < steps.size() && steps[next[v]].AtUs <= t) current[v] = &steps[next[v]++];
        }
        const RumbleBytes rumble = CombineVoiceSteps(current);
        if (changes.empty() || !SameRumble(changes.back().Rumble, rumble)) changes.push_back(Change{t, rumble});
    }
    return changes;
}

}  // namespace

RumbleBytes CombineVoiceSteps(const std::vector<const VoiceStep*>& steps)
{
    if (steps.empty()) return FormBandRumbleBytes(RestNote, 0, RestNote, 0);
    const VoiceStep& high = *steps[0];
    const VoiceStep& low = steps.size() > 1 ? *steps[1] : high;
    return FormBandRumbleBytes(high.Note, high.HighLevel, low.Note, low.LowLevel);
}

Schedule BuildSchedule(const Piece& piece, long long minIntervalUs)
{
    const std::vector<Change> changes = CollectChanges(piece);
    Schedule schedule;
    schedule.LengthUs = piece.LengthUs;
    schedule.Reports.push_back(ScheduledReport{0, changes[0].Rumble});
    std::size_t i = 1;
    for (;;) {
        const ScheduledReport last = schedule.Reports.back();
        const long long refresh =
            last.DueUs + std::max(IsSilence(last.Rumble) ? SilentRefreshUs : SoundingRefreshUs, minIntervalUs);
        if (i == changes.size() && refresh > piece.LengthUs) break;
        if (i == changes.size() || changes[i].AtUs > refresh) {
            schedule.Reports.push_back(ScheduledReport{refresh, last.Rumble});
            continue;
        }
        const long long due = std::max(changes[i].AtUs, last.DueUs + minIntervalUs);
        RumbleBytes state = last.Rumble;
        while (i < changes.size() && changes[i].AtUs <= due) state = changes[i++].Rumble;
        // Changes that cancel out within one interval leave nothing new to send.
        if (!SameRumble(state, last.Rumble)) schedule.Reports.push_back(ScheduledReport{due, state});
    }
    return schedule;
}
