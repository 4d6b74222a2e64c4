// tavrel-play --capture: what the computer plays, or a microphone, played on the controllers as
// it sounds; and --capture-sources.
#pragma once

#include <string>
#include <vector>

struct CaptureOptions {
    std::string Source;                    // "": what the default output plays
    std::vector<std::string> Controllers;  // empty: every one connected
    int MinIntervalMs = 15;
    bool Quiet = false;
    bool Timing = false;
    std::string Record;                    // a .bnvib to write what was played to; "" none
};

// Plays until the source goes away (2), an interrupt (130) or a lost controller (3); no
// controller: 1. The tone tables must be built.
int PlayCapture(const CaptureOptions& options);

// Prints the sources --capture can read, or why there are none; 0.
int ListCaptureSourcesCommand();
