// tavrel-play's command line: every option, read and checked, and what they hand on to the file
// player and to live input.
#pragma once

#include "common/time_units.h"
#include "controller/controller_kinds.h"
#include "play/engine.h"
#include "play/live/capture_play.h"
#include "play/live/live_play.h"
#include "play/live/live_voices.h"

#include <string>
#include <vector>

struct Options {
    std::string File;
    std::string SideFiles[SideCount];      // --left and --right
    std::vector<std::string> Controllers;  // empty: every one connected
    bool List = false;
    bool PrintSchedule = false;
    bool Quiet = false;
    bool Timing = false;
    int MinIntervalMs = static_cast<int>(DefaultMinIntervalUs / MicrosecondsPerMillisecond);
    std::string Start;                     // as given; "" for the beginning
    PlayChoices Choices;                   // what plays, and how
    bool Live = false;
    std::string LiveSource;
    bool ListPorts = false;
    int BendRangeSemitones = DefaultBendRangeSemitones;
    bool Capture = false;
    std::string CaptureSource;
    bool ListCaptureSources = false;
    std::string Record;
    std::string WriteBnvib;
};

// Reads and checks the arguments into *options. False when the program is to end at once with
// *exitStatus: after --help or --version (ExitPlayed), or an argument refused, said on standard
// error (ExitBadInput).
bool ReadOptions(int argc, char** argv, Options* options, int* exitStatus);

// What --live plays with.
LiveOptions LiveOptionsOf(const Options& options);

// What --capture plays with.
CaptureOptions CaptureOptionsOf(const Options& options);
