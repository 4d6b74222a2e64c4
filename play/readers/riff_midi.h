// RIFF MIDI files (.rmi, common on Windows): a Standard MIDI File inside a RIFF container, as
// the "data" chunk of a form of type "RMID".
#pragma once

#include <cstddef>
#include <string>

namespace midi_file {

// Whether bytes begin as a RIFF form of type RMID.
bool LooksLikeRiffMidi(const std::string& bytes);

// The Standard MIDI File in the form's "data" chunk and where it starts in bytes. False, with
// message and the offset of the byte at fault, when the form has no whole "data" chunk.
bool FindRiffMidiData(const std::string& bytes, std::string* midi, std::size_t* dataOffset, std::size_t* errorOffset,
                      std::string* message);

}  // namespace midi_file
