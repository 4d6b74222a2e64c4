// Choosing a MIDI input port by what --live names it: the same rules, and the same words, on
// every platform.
#pragma once

#include "platform/midi_input.h"

#include <cstddef>
#include <string>
#include <vector>

enum class PortMatch { Found, Several, None };

// The port wanted names: the one whose Id it is, else the only one whose name holds it (in any
// case). For Several and None, *failure says so and lists the ports there are; otherName says
// how else a port is named ("CLIENT:PORT", "number").
PortMatch MatchMidiPort(const std::vector<MidiPortName>& ports, const std::string& wanted, const char* otherName,
                        std::size_t* index, std::string* failure);

// `0 "USB Keyboard", 1 "loopMIDI Port"`.
std::string DescribeMidiPorts(const std::vector<MidiPortName>& ports);
