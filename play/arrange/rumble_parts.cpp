#include "play/arrange/rumble_parts.h"

#include "play/arrange/stream_loops.h"
#include "play/schedule/stream_schedule.h"

#include <algorithm>

bool PrepareRumbleParts(long long startUs, int loops, long long periodUs, RumbleParts* parts, int* passes,
                        MusicError* error)
{
    const int sides = parts->Same ? 1 : SideCount;
    bool anyLoop = false;
    for (int side = 0; side < sides; ++side) {
        parts->Played[side] = StartStreamAt(parts->Files[side], startUs);
        anyLoop = anyLoop || HasStreamLoop(parts->Played[side]);
    }
    *passes = loops;
    parts->RepeatFromUs = 0;
    parts->OwnLoop = anyLoop && loops != 1 && (loops > 0 || parts->Same);
    if (parts->OwnLoop && loops == 0) {
        const RumbleStream file = parts->Played[LeftSide];
        if (!RepeatStreamLoop(file, periodUs, &parts->Played[LeftSide], &parts->RepeatFromUs)) {
            return FailMusic(error, parts->Names[LeftSide] + ": its loop, lined up with the reports, would last more than an hour");
        }
    }
    if (parts->OwnLoop && loops > 1) {
        // Each file plays its loop that often, or itself whole where it has none.
        *passes = 1;
        for (int side = 0; side < sides; ++side) {
            RumbleStream file = parts->Played[side];
            if (file.Samples.empty()) continue;
            if (!HasStreamLoop(file)) {
                file.Loops = true;
                file.LoopStart = 0;
                file.LoopEnd = file.Samples.size();
                file.LoopWait = 0;
            }
            if (UnrollStreamLoop(file, loops, &parts->Played[side])) continue;
            return FailMusic(error, parts->Names[side] + ": played " + std::to_string(loops) +
                                        " times it would last more than an hour");
        }
    }
    if (parts->Same) parts->Played[RightSide] = parts->Played[LeftSide];
    if (HasOneFile(*parts)) parts->OnePlayed = StartStreamAt(parts->OneFile, startUs);
    return true;
}

long long RumblePartsLengthUs(const RumbleParts& parts)
{
    return std::max({StreamLengthUs(parts.Files[LeftSide]), StreamLengthUs(parts.Files[RightSide]),
                     StreamLengthUs(parts.OneFile)});
}
