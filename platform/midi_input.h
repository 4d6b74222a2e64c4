// MIDI coming in as it arrives: from a port of the system's MIDI (Linux: the ALSA sequencer;
// Windows: WinMM) or from a byte stream (a raw MIDI device, a named pipe, a file, standard
// input). Every source hands over plain MIDI bytes, read by one reader, on a thread of its own.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// Called on the source's thread, one call at a time: bytes as they arrived, with the counter's
// reading (platform/clock.h) when they did.
using MidiBytesHandler = std::function<void(const unsigned char* bytes, std::size_t count, long long arrivedAt)>;
// Called once, on the source's thread, when the source ends: "" at the end of a stream (end of
// file, the writer closed its end), else what went wrong ("the keyboard was unplugged").
using MidiEndHandler = std::function<void(const std::string& failure)>;

struct MidiPortName {
    std::string Id;    // what --live takes: "CLIENT:PORT" (ALSA) or the device's number (WinMM)
    std::string Name;  // "Client name:Port name" (ALSA) or the device's name (WinMM)
};

// The input ports there are to read from (our own not among them). False, with *failure
// saying why, when the machine has no MIDI system to ask (no sequencer device).
bool ListMidiInputPorts(std::vector<MidiPortName>* ports, std::string* failure);

// Starts reading a port. port "": on Linux a port of our own named "Tavrel" that keyboards and
// programs connect to; on Windows the only input port there is. Else a port by its Id or by
// (a case-insensitive part of) its name. *reading says what is read ("Tavrel (128:0), for
// keyboards and programs to connect to", "USB Keyboard (1)"). False with *failure when there is
// no such port or it does not open.
bool StartMidiPortInput(const std::string& port, const MidiBytesHandler& bytes, const MidiEndHandler& end,
                        std::string* reading, std::string* failure);

// Starts reading a byte stream: a path, or "-" for standard input. Opening waits for nothing
// (a named pipe with no writer yet is read once one comes). False with *failure (the path and
// the system's reason) when it does not open.
bool StartByteStreamInput(const std::string& path, const MidiBytesHandler& bytes, const MidiEndHandler& end,
                          std::string* failure);

// Stop the input started: once they return, no handler runs again. Safe to call when none is
// running or the source has ended.
void StopMidiPortInput();
void StopByteStreamInput();
