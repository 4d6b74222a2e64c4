// Sound caught as it plays: what the computer's default output plays (Linux: its monitor through
// PulseAudio, which PipeWire serves too), or a source named (another output's monitor, a
// microphone). The sound comes on a thread of the sound system's, a block at a time.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Called on the capture's thread, one call at a time: frames of interleaved samples (-1 to 1),
// with the counter's reading (platform/clock.h) when they arrived.
using CaptureHandler = std::function<void(const float* samples, std::size_t frames, long long arrivedAt)>;
// Called once, on the capture's thread, when the source goes away ("the sound server went away").
using CaptureEndHandler = std::function<void(const std::string& failure)>;

struct CaptureSource {
    std::string Id;    // what --capture takes
    std::string Name;  // what the sound system calls it ("Monitor of Built-in Audio")
};

struct CaptureFormat {
    int Rate = 0;
    int Channels = 0;
};

// The sources there are to capture from. False, with *failure saying why, when there is no sound
// system to ask.
bool ListCaptureSources(std::vector<CaptureSource>* sources, std::string* failure);

// Starts capturing source: "" what the default output plays; else a source by its Id or by (a
// case-insensitive part of) its name. *format is what the handler gets; *reading says what is
// read ("Monitor of Built-in Audio"). False with *failure when there is no such source or no
// sound system.
bool StartSoundCapture(const std::string& source, const CaptureHandler& samples, const CaptureEndHandler& end,
                       CaptureFormat* format, std::string* reading, std::string* failure);

// Stops the capture started: once it returns, no handler runs again. Safe when none runs.
void StopSoundCapture();
