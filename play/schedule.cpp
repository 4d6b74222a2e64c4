#include "play/schedule.h"

#include "controller/link.h"

#include <algorithm>
#include <cstring>

namespace {

struct Change {
    long long AtUs;
    RumbleBytes Left;
    RumbleBytes Right;
};

bool SameRumble(const RumbleBytes& a, const RumbleBytes& b) { return std::memcmp(a.Bytes, b.Bytes, sizeof a.Bytes) == 0; }

bool SameReport(const RumbleBytes& left, const RumbleBytes& right, const ScheduledReport& report)
{
    return SameRumble(left, report.Left) && SameRumble(right, report.Right);
}

bool IsSilence(const RumbleBytes& r) { return std::memcmp(r.Bytes, SilenceRumble, sizeof r.Bytes) == 0; }

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

// The pieces' bytes at every time one of their voices steps, where they differ from before.
std::vector<Change> CollectChanges(const Piece& left, const Piece& right)
{
    std::vector<long long> times{0};
    for (const Piece* piece : {&left, &right})
        for (const PieceVoice& voice : piece->Voices)
            for (const VoiceStep& step : voice.Steps) times.push_back(step.AtUs);
    std::sort(times.begin(), times.end());
    times.erase(std::unique(times.begin(), times.end()), times.end());

    VoiceCursor leftCursor = StartCursor(left);
    VoiceCursor rightCursor = StartCursor(right);
    std::vector<Change> changes;
    for (long long t : times) {
        const Change change{t, RumbleAt(leftCursor, t), RumbleAt(rightCursor, t)};
        if (changes.empty() || !SameRumble(changes.back().Left, change.Left) ||
            !SameRumble(changes.back().Right, change.Right))
            changes.push_back(change);
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

Schedule BuildSchedule(const Piece& piece, long long minIntervalUs) { return BuildSchedule(piece, piece, minIntervalUs); }

Schedule BuildSchedule(const Piece& left, const Piece& right, long long minIntervalUs)
{
    const std::vector<Change> changes = CollectChanges(left, right);
    Schedule schedule;
    schedule.LengthUs = std::max(left.LengthUs, right.LengthUs);
    schedule.Reports.push_back(ScheduledReport{0, changes[0].Left, changes[0].Right});
    std::size_t i = 1;
    for (;;) {
        const ScheduledReport last = schedule.Reports.back();
        const bool silent = IsSilence(last.Left) && IsSilence(last.Right);
        const long long refresh = last.DueUs + std::max(silent ? SilentRefreshUs : SoundingRefreshUs, minIntervalUs);
        if (i == changes.size() && refresh > schedule.LengthUs) break;
        if (i == changes.size() || changes[i].AtUs > refresh) {
            schedule.Reports.push_back(ScheduledReport{refresh, last.Left, last.Right});
            continue;
        }
        const long long due = std::max(changes[i].AtUs, last.DueUs + minIntervalUs);
        ScheduledReport state = last;
        state.DueUs = due;
        for (; i < changes.size() && changes[i].AtUs <= due; ++i) {
            state.Left = changes[i].Left;
            state.Right = changes[i].Right;
        }
        // Changes that cancel out within one interval leave nothing new to send.
        if (!SameReport(state.Left, state.Right, last)) schedule.Reports.push_back(state);
    }
    return schedule;
}
