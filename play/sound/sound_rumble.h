// A sound file turned into rumble: the mix for a controller of one actuator, and each side of a
// stereo file for a Pro Controller's two; with what the analysis found, for --list.
#pragma once

#include "play/readers/rumble_stream.h"
#include "play/sound/sound_source.h"

#include <functional>
#include <string>

enum class SoundChannel { Mix, Left, Right };

struct BandRange {
    double LowestHz = 0;   // where the band sounded (0, 0 when it never did)
    double HighestHz = 0;
};

struct SoundRumble {
    SoundInfo Info;
    long long Frames = 0;          // read
    RumbleStream One;              // for one actuator: the mix, or the channel asked for
    RumbleStream Left, Right;      // a stereo file's sides (empty for mono)
    BandRange Low, High;           // of One
    double SilentShare = 0;        // of One's samples, where neither band sounds
};

// Reads the whole source and analyses it. progress gets the share read so far (when the length
// is known). False with error.
bool AnalyseSound(SoundSource& source, SoundChannel channel, SoundRumble* rumble, std::string* error,
                  const std::function<void(double share)>& progress);
