#include "play/rumble_parts.h"

#include "play/readers/bnvib_reader.h"
#include "play/readers/jcvib_reader.h"
#include "play/stream_loops.h"
#include "play/stream_schedule.h"

#include <algorithm>
#include <cstdio>

bool LooksLikeRumbleFile(const std::string& bytes) { return LooksLikeBnvib(bytes) || LooksLikeJcvib(bytes); }

bool ReadRumbleFile(const std::string& bytes, const std::string& name, RumbleStream* stream)
{
    RumbleFileError error{};
    const bool read = LooksLikeBnvib(bytes) ? ReadBnvib(bytes, stream, &error) : ReadJcvib(bytes, stream, &error);
    if (!read) {
        std::fprintf(stderr, "%s: byte %zu: %s\n", name.c_str(), error.Offset, error.Message.c_str());
        return false;
    }
    if (stream->Samples.empty()) {
        std::fprintf(stderr, "%s: the file has no samples to play\n", name.c_str());
        return false;
    }
    return true;
}

bool PrepareRumbleParts(long long startUs, int loops, long long periodUs, RumbleParts* parts, int* passes)
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
            std::fprintf(stderr, "%s: its loop, lined up with the reports, would last more than an hour\n",
                         parts->Names[LeftSide].c_str());
            return false;
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
            std::fprintf(stderr, "%s: played %d times it would last more than an hour\n", parts->Names[side].c_str(), loops);
            return false;
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
