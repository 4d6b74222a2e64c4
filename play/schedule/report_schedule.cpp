#include "play/schedule/report_schedule.h"

#include "controller/link.h"

#include <algorithm>
#include <cstring>

namespace {

bool SameBlocks(const ScheduledReport& a, const ScheduledReport& b)
{
    return SameRumble(a.Left, b.Left) && SameRumble(a.Right, b.Right);
}

// Follows one piece's voices through the times of the changes.
struct VoiceCursor {
    const Piece* Source;
    std::vector<std::size_t> Next;
    std::vector<const VoiceStep*> Current;
};

VoiceCursor StartCursor(const Piece& piece)
{
    static const VoiceStep Resting{0, RestNote, 0, 0};
    return VoiceCursor{&piece, std::vector<std::size_t>(piece.Voices.size(), 0),
                       std::vector<const VoiceStep*>(piece.Voices.size(), &Resting)};
}

RumbleBytes RumbleAt(VoiceCursor& cursor, long long t)
{
    for (std::size_t v = 0; v < cursor.Current.size(); ++v) {
        const std::vector<VoiceStep>& steps = cursor.Source->Voices[v].Steps;
        // The last step at a time wins over earlier ones at the same time.
        while (cursor.Next[v] < steps.size() && steps[cursor.Next[v]].AtUs <= t)
            cursor.Current[v] = &steps[cursor.Next[v]++];
    }
    return CombineVoiceSteps(cursor.Current);
}

// The pieces' bytes at every time one of their voices steps, where they differ from before,
// each as a report due when the change happens. One piece on both actuators is followed once.
std::vector<ScheduledReport> CollectChanges(const Piece& left, const Piece& right)
{
    const bool one = &left == &right;
    std::vector<long long> times{0};
    const auto addTimes = [&](const Piece& piece) {
        for (const PieceVoice& voice : piece.Voices)
            for (const VoiceStep& step : voice.Steps) times.push_back(step.AtUs);
    };
    addTimes(left);
    if (!one) addTimes(right);
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());

    VoiceCursor leftCursor = StartCursor(left);
    VoiceCursor rightCursor = StartCursor(right);
    std::vector<ScheduledReport> changes;
    for (long long t : times) {
        ScheduledReport change{t, RumbleAt(leftCursor, t), {}};
        change.Right = one ? change.Left : RumbleAt(rightCursor, t);
        if (changes.empty() || !SameBlocks(changes.back(), change)) changes.push_back(change);
    }
    return changes;
}

}  // namespace

bool SameRumble(const RumbleBytes& a, const RumbleBytes& b) { return std::memcmp(a.Bytes, b.Bytes, sizeof a.Bytes) == 0; }

bool IsSilence(const RumbleBytes& r) { return std::memcmp(r.Bytes, SilenceRumble, sizeof r.Bytes) == 0; }

RumbleBytes CombineVoiceSteps(const std::vector<const VoiceStep*>& steps)
{
    if (steps.empty()) return FormBandRumbleBytes(RestNote, 0, RestNote, 0);
    const VoiceStep& high = *steps[0];
    const VoiceStep& low = steps.size() > 1 ? *steps[1] : high;
    return FormBandRumbleBytes(high.Note, high.HighLevel, low.Note, low.LowLevel);
}

Schedule BuildSchedule(const Piece& piece, long long minIntervalUs) { return BuildSchedule(piece, piece, minIntervalUs); }

Schedule BuildSchedule(const Piece& left, const Piece& right, long long minIntervalUs)
{
    const std::vector<ScheduledReport> changes = CollectChanges(left, right);
    Schedule schedule;
    schedule.LengthUs = std::max(left.LengthUs, right.LengthUs);
    schedule.Reports.push_back(changes[0]);
    std::size_t i = 1;
    for (;;) {
        const ScheduledReport last = schedule.Reports.back();
        const bool silent = IsSilence(last.Left) && IsSilence(last.Right);
        const long long refresh = last.DueUs + std::max(silent ? SilentRefreshUs : SoundingRefreshUs, minIntervalUs);
        if (i == changes.size() && refresh > schedule.LengthUs) break;
        if (i == changes.size() || changes[i].DueUs > refresh) {
            // A refresh never holds a change back: one that would comes earlier, or not at all
            // (the controller holds a tone far longer than a refresh period and an interval).
            long long at = refresh;
            if (i < changes.size() && changes[i].DueUs < refresh + minIntervalUs) at = changes[i].DueUs - minIntervalUs;
            if (at >= last.DueUs + minIntervalUs) {
                schedule.Reports.push_back(ScheduledReport{at, last.Left, last.Right});
                continue;
            }
        }
        ScheduledReport state = last;
        state.DueUs = std::max(changes[i].DueUs, last.DueUs + minIntervalUs);
        for (; i < changes.size() && changes[i].DueUs <= state.DueUs; ++i) {
            state.Left = changes[i].Left;
            state.Right = changes[i].Right;
        }
        // Changes that cancel out within one interval leave nothing new to send.
        if (!SameBlocks(state, last)) schedule.Reports.push_back(state);
    }
    return schedule;
}
