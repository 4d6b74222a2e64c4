// The rumble files a run streams and what each actuator plays of them: FILE on every actuator,
// or --left and --right files for the left and right actuators (a left Joy-Con plays the left
// one, a right Joy-Con the right one, a Pro Controller each on its own side); an actuator that
// neither names plays FILE, or nothing.
#pragma once

#include "play/readers/music_error.h"
#include "play/readers/rumble_stream.h"

#include <string>

enum RumbleSide { LeftSide = 0, RightSide = 1, SideCount = 2 };

struct RumbleParts {
    std::string Names[SideCount];    // the files' names as said in messages
    RumbleStream Files[SideCount];   // as read (empty for an actuator that plays nothing)
    bool Same = true;                // one file on both
    // What a controller of one actuator plays where that is neither side (a stereo sound's mix);
    // empty where it plays a side.
    RumbleStream OneFile;
    RumbleStream OnePlayed;
    // As they play: from --start on, with the files' own loops as --loop asks.
    RumbleStream Played[SideCount];
    long long RepeatFromUs = 0;      // passes after the first begin here
    bool OwnLoop = false;            // the passes are the file's loop's
};

// Whether controllers of one actuator play OneFile.
inline bool HasOneFile(const RumbleParts& parts) { return !parts.OneFile.Samples.empty(); }

// Makes Played from Files: from startUs, each file's own loop played loops times (0: until
// interrupted, where one file plays on both; two files then repeat whole), reports every
// periodUs; *passes is how often the performer then plays the whole (1 where the loops were
// written out). False with error when that would last too long.
bool PrepareRumbleParts(long long startUs, int loops, long long periodUs, RumbleParts* parts, int* passes,
                        MusicError* error);

// The longest file's length.
long long RumblePartsLengthUs(const RumbleParts& parts);
