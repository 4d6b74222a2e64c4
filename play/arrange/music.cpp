#include "play/arrange/music.h"

#include "play/arrange/voice_builder.h"
#include "play/schedule/stream_schedule.h"

#include <algorithm>
#include <utility>

namespace {

bool ArrangeSong(const std::string& name, const PlayChoices& choices, Music* music, MusicError* error)
{
    music->Choice = choices.Choice;
    std::string failure;
    if (!ResolveTracks(choices.Tracks, music->Song, &music->Choice.Tracks, &failure))
        return FailMusic(error, name + ": " + failure);
    music->Chosen = ChooseNotes(music->Song, music->Choice);
    if (music->Chosen.FileLengthUs > MaxPieceLengthUs)
        return FailMusic(error, name + ": at " + std::to_string(choices.Choice.TempoPercent) +
                                    " % tempo the song is longer than a day");
    if (music->Song.Notes.empty()) return FailMusic(error, name + ": the file has no notes to play");
    if (music->Chosen.Notes.empty())
        return FailMusic(error, name + ": no notes to play on the chosen tracks and channels (channel 10, percussion, "
                                       "plays only where --channels names it); notes are on " +
                                    WhereNotesAre(music->Song));
    return true;
}

}  // namespace

bool ArrangeMusic(MusicFile file, const std::string& name, const PlayChoices& choices, Music* music, MusicError* error)
{
    switch (file.Format) {
    case MusicFormat::RumbleFile: {
        RumbleParts& parts = music->Parts;
        music->Kind = MusicKind::RumbleFiles;
        parts.Files[LeftSide] = std::move(file.Stream);
        parts.Files[RightSide] = parts.Files[LeftSide];
        parts.Names[LeftSide] = parts.Names[RightSide] = name;
        return true;
    }
    case MusicFormat::Midi:
        music->Kind = MusicKind::Midi;
        music->Song = std::move(file.Song);
        return ArrangeSong(name, choices, music, error);
    case MusicFormat::NotMusic: return RefuseNotMusic(name, error);
    case MusicFormat::Tune: break;
    }
    music->Kind = MusicKind::Tune;
    tune_text::TextError failure{};
    if (BuildPiece(file.Voices, choices.VolumePercent, &music->TextPiece, &failure)) return true;
    return FailMusic(error, TuneFaultText(name, failure));
}

bool ArrangeSound(SoundSource& source, const std::string& name, const PlayChoices& choices,
                  const std::function<void(double share)>& progress, Music* music, MusicError* error)
{
    SoundRumble& sound = music->Sound;
    std::string failure;
    if (!AnalyseSound(source, choices.Channel, &sound, &failure, progress)) return FailMusic(error, name + ": " + failure);
    if (sound.One.Samples.empty() || sound.Frames == 0) return FailMusic(error, name + ": the file has no sound to play");
    // The streams move into the parts; the analysis keeps what a listing says.
    RumbleParts& parts = music->Parts;
    parts.Names[LeftSide] = parts.Names[RightSide] = name;
    if (sound.Left.Samples.empty()) {
        parts.Files[LeftSide] = parts.Files[RightSide] = std::move(sound.One);
    } else {
        parts.Files[LeftSide] = std::move(sound.Left);
        parts.Files[RightSide] = std::move(sound.Right);
        parts.Same = false;
        parts.OneFile = std::move(sound.One);
    }
    music->Kind = MusicKind::Sound;
    return true;
}

void PutRumbleFileOnSide(RumbleStream stream, const std::string& name, RumbleSide side, Music* music)
{
    music->Parts.Files[side] = std::move(stream);
    music->Parts.Names[side] = name;
    music->Parts.Same = false;
    if (!IsStreamed(*music)) music->Kind = MusicKind::RumbleFiles;
}

long long MusicLengthUs(const Music& music)
{
    switch (music.Kind) {
    case MusicKind::Tune: return music.TextPiece.LengthUs;
    case MusicKind::Midi: return music.Chosen.LengthUs;
    case MusicKind::RumbleFiles:
    case MusicKind::Sound: break;
    }
    return RumblePartsLengthUs(music.Parts);
}

bool PrepareMusic(const PlayChoices& choices, Music* music, MusicError* error)
{
    music->Passes = choices.Loops;
    if (!IsStreamed(*music)) return true;
    const long long periodUs = std::max(StreamReportPeriodUs, choices.MinIntervalUs);
    return PrepareRumbleParts(choices.StartUs, choices.Loops, periodUs, &music->Parts, &music->Passes, error);
}
