// Sound formats beyond WAV, through a decoding library where the build has one: libsndfile on
// Linux (FLAC, Ogg Vorbis and Opus, MP3, AIFF, ...); none in the Windows build, which reads WAV
// alone (with tavrel-play's own reader).
#pragma once

#include <functional>
#include <memory>
#include <string>

constexpr int MaxSoundChannels = 8;
constexpr long long MaxSoundSeconds = 3600;  // longer sound is refused: the rumble holds an hour
constexpr const char* LongestSoundText = "an hour";

struct SoundInfo {
    std::string Format;     // as said in --list: "WAV, 16-bit PCM", "FLAC, Signed 16 bit PCM"
    int Rate = 0;
    int Channels = 0;
    long long Frames = -1;  // -1 when unknown beforehand
};

// A sound read as it comes, a block of frames at a time.
struct SoundSource {
    SoundInfo Info;
    // Reads up to frames frames, interleaved, -1 to 1; returns how many, 0 at the end, or -1
    // with error set.
    std::function<long long(float* samples, long long frames, std::string* error)> Read;
    std::shared_ptr<void> Handle;  // what the reader holds open
};

// Opens the file at path. False with error: the library's reason, or that this build has none.
bool OpenDecodedSound(const std::string& path, SoundSource* source, std::string* error);
