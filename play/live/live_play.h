// tavrel-play --live: the controllers as an instrument, played from a MIDI port or a byte
// stream as the messages come; and --live-ports.
#pragma once

#include <string>
#include <vector>

struct LiveOptions {
    std::string Source;                    // "": our own port (Linux) or the only port (Windows)
    std::vector<std::string> Controllers;  // empty: every one connected
    std::vector<int> Channels;             // 1-16; empty: all but 10
    int Transpose = 0;
    int VolumePercent = 100;
    int MinIntervalMs = 15;
    int BendRangeSemitones = 2;
    bool Quiet = false;
    bool Timing = false;
    std::string Record;                    // a MIDI file to write what was played to; "" none
};

// Whether a source names a byte stream ("-", a path) rather than a MIDI port.
bool IsByteStreamSource(const std::string& source);

// Plays until the input ends (exit 0), an interrupt (130), a lost controller (3) or failed input
// (2); no controller: 1. The tone tables must be built.
int PlayLive(const LiveOptions& options);

// Prints the MIDI input ports there are, or why there are none; 0.
int ListLivePorts();
