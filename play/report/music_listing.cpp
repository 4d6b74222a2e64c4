#include "play/report/music_listing.h"

#include "play/report/midi_listing.h"
#include "play/report/sound_listing.h"
#include "play/report/stream_listing.h"
#include "play/report/text_listing.h"
#include "play/report/wording.h"

#include <vector>

void PrintMusicListing(std::FILE* out, const std::string& name, const Music& music, const Performance& performance)
{
    const std::string controllers = NamesOf(performance.Kinds);
    switch (music.Kind) {
    case MusicKind::Sound:
        PrintSoundListing(out, name, controllers, music.Sound, performance.Schedules[0]);
        return;
    case MusicKind::RumbleFiles: {
        const RumbleParts& parts = music.Parts;
        for (int side = 0; side < (parts.Same ? 1 : SideCount); ++side) {
            if (parts.Files[side].Samples.empty()) continue;
            const std::string label = parts.Same ? name : (side == LeftSide ? "left: " : "right: ") + parts.Names[side];
            PrintStreamListing(out, label, controllers, parts.Files[side], performance.Schedules[0]);
        }
        return;
    }
    case MusicKind::Tune:
        PrintListing(out, name, controllers, music.TextPiece, performance.Schedules[0]);
        return;
    case MusicKind::Midi: break;
    }
    std::vector<std::string> names;
    for (const ControllerKind* kind : performance.Kinds) names.push_back(kind->Name);
    PrintMidiListing(out, name, music.Song, music.Choice, music.Chosen, performance.Voices, names, performance.Schedules);
}
