#include "play/readers/riff_midi.h"

#include <cstdint>

namespace midi_file {

namespace {

constexpr std::size_t ChunkIdBytes = 4;
constexpr std::size_t ChunkHeaderBytes = 8;  // the ID and a little-endian 32-bit size
constexpr std::size_t FormTypeAt = 8;        // after "RIFF" and the form's size
constexpr std::size_t FirstChunkAt = 12;

std::uint32_t ReadLittle32(const std::string& bytes, std::size_t at)
{
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    return value;
}

}  // namespace

bool LooksLikeRiffMidi(const std::string& bytes)
{
    return bytes.size() >= FirstChunkAt && bytes.compare(0, ChunkIdBytes, "RIFF") == 0 &&
           bytes.compare(FormTypeAt, ChunkIdBytes, "RMID") == 0;
}

bool FindRiffMidiData(const std::string& bytes, std::string* midi, std::size_t* dataOffset, std::size_t* errorOffset,
                      std::string* message)
{
    std::size_t at = FirstChunkAt;
    while (at + ChunkHeaderBytes <= bytes.size()) {
        const std::size_t size = ReadLittle32(bytes, at + ChunkIdBytes);
        const std::size_t body = at + ChunkHeaderBytes;
        if (size > bytes.size() - body) {
            *errorOffset = at + ChunkIdBytes;
            *message = "the RIFF chunk \"" + bytes.substr(at, ChunkIdBytes) + "\" runs past the end of the file";
            return false;
        }
        if (bytes.compare(at, ChunkIdBytes, "data") == 0) {
            *midi = bytes.substr(body, size);
            *dataOffset = body;
            return true;
        }
        // Chunks are padded to an even length.
        at = body + size + (size % 2);
    }
    *errorOffset = bytes.size() < at ? bytes.size() : at;
    *message = "a RIFF MIDI file without a \"data\" chunk";
    return false;
}

}  // namespace midi_file
