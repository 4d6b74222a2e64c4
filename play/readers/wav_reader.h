// Reads a WAV file as it comes, from any source of bytes (a file, a pipe): the RIFF "WAVE"
// header and its "fmt " chunk first, then the samples of its "data" chunk a block at a time, as
// floats from -1 to 1. PCM of 8, 16, 24 or 32 bits and IEEE float of 32 or 64 bits, plain or
// as WAVE_FORMAT_EXTENSIBLE; any number of channels up to MaxSoundChannels. Every size is checked
// before it is used, so no file can make it read out of bounds, allocate without limit or hang.
#pragma once

#include "common/byte_order.h"
#include "platform/sound_decoder.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// A data chunk of 0 bytes, or of this size or more, was written by a program that did not know
// its length beforehand (to a pipe: 0xFFFFFFFF, or 0x7FFFF000 as espeak-ng writes): the samples
// then run to the end of the bytes.
constexpr std::uint32_t LeastUnknownWavDataSize = 0x7FFF0000;

// Fills up to count bytes, returns how many (0 at the end), or -1 on a read error.
using ByteSource = std::function<long long(char* bytes, std::size_t count)>;

struct WavFormat {
    int Rate = 0;
    int Channels = 0;
    int Bits = 0;
    bool Float = false;
    bool UntilEnd = false;   // the data runs to the end of the bytes
    long long Frames = 0;    // as the header gives them (unless UntilEnd)
};

// Bytes a frame takes: a sample of each channel.
inline int WavFrameBytes(const WavFormat& format) { return format.Channels * format.Bits / BitsPerByte; }

struct WavError {
    std::size_t Offset = 0;  // of the byte where the fault is
    std::string Message;
};

struct WavReading {
    ByteSource Source;
    WavFormat Format;
    std::size_t At = 0;          // bytes taken so far
    long long FramesLeft = 0;    // unless UntilEnd
    bool Ended = false;
};

// A source of the bytes given, kept by the source.
ByteSource BytesInMemory(std::string bytes);

// True when the bytes start as a WAV file does ("RIFF", a size, "WAVE").
bool LooksLikeWav(const std::string& firstBytes);

// Reads up to the first sample. False with error at the first fault.
bool StartWavReading(ByteSource source, WavReading* reading, WavError* error);

// Reads up to frames frames into samples (interleaved, Channels a frame); returns how many, 0
// at the end of the data, or -1 with error (a read error, the data cut short).
long long ReadWavFrames(WavReading* reading, float* samples, long long frames, WavError* error);
