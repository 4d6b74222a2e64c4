#include "play/schedule/performance_plan.h"

#include "play/arrange/piece_start.h"
#include "play/arrange/voice_builder.h"
#include "play/schedule/piece_samples.h"
#include "play/schedule/stream_schedule.h"

#include <string>

namespace {

// The song's notes given out over the controllers' bands, each piece from the start with its
// channel's vibrato.
Allocation PlaceSong(const PlayChoices& choices, const Music& music, const std::vector<const ControllerKind*>& kinds)
{
    std::vector<int> actuators;
    for (const ControllerKind* kind : kinds) actuators.push_back(kind->Actuators);
    Allocation voices = AllocateVoices(music.Chosen.Notes, actuators, music.Chosen.LengthUs, choices.VolumePercent);
    for (std::vector<Piece>& part : voices.Parts) {
        for (Piece& piece : part) {
            piece.Vibrato = music.Chosen.Vibrato;
            piece = StartPieceAt(piece, choices.StartUs);
        }
    }
    return voices;
}

bool IsShaped(const NoteShape& shape) { return shape.AttackUs > 0 || shape.ReleaseUs > 0; }

// A controller's schedule of pieces: shaped notes and vibrato change every 5 ms, so they are
// streamed. The pieces' levels hold the volume already.
Schedule ScheduleOfPieces(const PlayChoices& choices, const Piece& left, const Piece& right)
{
    const long long interval = choices.MinIntervalUs;
    if (!IsShaped(choices.Shape) && !AsksForVibrato(left) && !AsksForVibrato(right))
        return &left == &right ? BuildSchedule(left, interval) : BuildSchedule(left, right, interval);
    const RumbleStream leftStream = RenderPieceSamples(left, choices.Shape);
    if (&left == &right) return BuildStreamSchedule(leftStream, leftStream, interval, FullVolumePercent);
    return BuildStreamSchedule(leftStream, RenderPieceSamples(right, choices.Shape), interval, FullVolumePercent);
}

}  // namespace

Performance PlanPerformance(const PlayChoices& choices, const Music& music, const std::vector<const ControllerKind*>& kinds)
{
    Performance performance;
    performance.Kinds = kinds;
    switch (music.Kind) {
    case MusicKind::RumbleFiles:
    case MusicKind::Sound: {
        // A left Joy-Con plays the left part, a right Joy-Con the right one, a Pro Controller both.
        const RumbleParts& parts = music.Parts;
        const RumbleStream& left = parts.Played[LeftSide];
        const RumbleStream& right = parts.Same ? left : parts.Played[RightSide];
        for (const ControllerKind* kind : kinds) {
            const RumbleStream& one = HasOneFile(parts) ? parts.OnePlayed : std::string(kind->Option) == "left" ? left : right;
            const bool both = kind->Actuators > 1;
            performance.Schedules.push_back(BuildStreamSchedule(both ? left : one, both ? right : one,
                                                                choices.MinIntervalUs, choices.VolumePercent,
                                                                parts.RepeatFromUs));
        }
        return performance;
    }
    case MusicKind::Tune: {
        const Piece piece = StartPieceAt(music.TextPiece, choices.StartUs);
        for (std::size_t c = 0; c < kinds.size(); ++c) performance.Schedules.push_back(ScheduleOfPieces(choices, piece, piece));
        return performance;
    }
    case MusicKind::Midi: break;
    }
    performance.Voices = PlaceSong(choices, music, kinds);
    for (const std::vector<Piece>& part : performance.Voices.Parts)
        performance.Schedules.push_back(part.size() > 1 ? ScheduleOfPieces(choices, part[0], part[1])
                                                        : ScheduleOfPieces(choices, part[0], part[0]));
    return performance;
}

RumbleStream PlanFirstActuatorStream(const PlayChoices& choices, const Music& music,
                                     const std::vector<const ControllerKind*>& kinds)
{
    switch (music.Kind) {
    case MusicKind::RumbleFiles:
    case MusicKind::Sound:
        return StartStreamAt(HasOneFile(music.Parts) ? music.Parts.OneFile : music.Parts.Files[LeftSide], choices.StartUs);
    case MusicKind::Tune: return RenderPieceSamples(StartPieceAt(music.TextPiece, choices.StartUs), choices.Shape);
    case MusicKind::Midi: break;
    }
    return RenderPieceSamples(PlaceSong(choices, music, kinds).Parts[0][0], choices.Shape);
}
