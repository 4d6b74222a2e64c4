// A rumble file's own loop played over: the samples before the loop once, the loop again and
// again (its wait of silence between two passes), the samples after it once.
#pragma once

#include "play/readers/rumble_stream.h"

// Whether the stream has a loop that lasts (its passes and wait are not both empty).
bool HasStreamLoop(const RumbleStream& stream);

// The stream that plays stream's loop passes times (above 1) and then the rest of the file;
// false when it would last longer than MaxRumbleSamples.
bool UnrollStreamLoop(const RumbleStream& stream, int passes, RumbleStream* unrolled);

// For playing stream's loop until interrupted, with a report every periodUs: the stream up to
// the end of whole loop passes that begin on a report at *repeatFromUs and end on one. Played
// once from the start and then from *repeatFromUs over and over, it plays the loop for ever.
// False when that stretch would last longer than MaxRumbleSamples.
bool RepeatStreamLoop(const RumbleStream& stream, long long periodUs, RumbleStream* repeating, long long* repeatFromUs);
