#include "play/sound/wav_source.h"

#include "play/readers/wav_reader.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr std::size_t DataSizeBytesBack = 4;  // the data chunk's size lies just before its samples

struct WavSourceState {
    std::FILE* In = nullptr;
    bool Owned = false;
    std::string First;          // bytes taken before the reader began
    std::size_t FirstAt = 0;
    WavReading Reading;
    ~WavSourceState()
    {
        if (Owned && In != nullptr) std::fclose(In);
    }
};

std::string AtByte(std::size_t offset, const std::string& message) { return "byte " + std::to_string(offset) + ": " + message; }

std::string FormatName(const WavFormat& f)
{
    return "WAV, " + std::to_string(f.Bits) + "-bit " + (f.Float ? "float" : "PCM");
}

}  // namespace

bool OpenWavSource(std::FILE* in, bool owned, const std::string& firstBytes, long long fileBytes, SoundSource* source,
                   std::string* error)
{
    auto state = std::make_shared<WavSourceState>();
    state->In = in;
    state->Owned = owned;
    state->First = firstBytes;
    WavSourceState* s = state.get();
    const ByteSource bytes = [s](char* out, std::size_t count) -> long long {
        std::size_t given = 0;
        if (s->FirstAt < s->First.size()) {
            given = std::min(count, s->First.size() - s->FirstAt);
            std::memcpy(out, s->First.data() + s->FirstAt, given);
            s->FirstAt += given;
        }
        if (given < count) given += std::fread(out + given, 1, count - given, s->In);
        return given == 0 && std::ferror(s->In) ? -1 : static_cast<long long>(given);
    };
    WavError fault;
    if (!StartWavReading(bytes, &s->Reading, &fault)) {
        *error = AtByte(fault.Offset, fault.Message);
        return false;
    }
    WavFormat& f = s->Reading.Format;
    if (fileBytes >= 0) {
        const long long frameBytes = WavFrameBytes(f);
        const long long held = (fileBytes - static_cast<long long>(s->Reading.At)) / frameBytes;
        if (!f.UntilEnd && f.Frames > held) {
            *error = AtByte(s->Reading.At - DataSizeBytesBack, "the header gives " + std::to_string(f.Frames) +
                                                                  " frames of data, the file holds " + std::to_string(held));
            return false;
        }
        if (f.UntilEnd) {
            // Written to a pipe and then saved: the file says how long it is.
            f.UntilEnd = false;
            f.Frames = s->Reading.FramesLeft = held;
        }
        if (f.Frames > MaxSoundSeconds * f.Rate) {
            *error = std::string("longer than ") + LongestSoundText;
            return false;
        }
    }
    source->Info = SoundInfo{FormatName(f), f.Rate, f.Channels, f.UntilEnd ? -1 : f.Frames};
    source->Handle = state;
    source->Read = [s](float* samples, long long frames, std::string* readError) -> long long {
        WavError fault;
        const long long got = ReadWavFrames(&s->Reading, samples, frames, &fault);
        if (got < 0) *readError = AtByte(fault.Offset, fault.Message);
        return got;
    };
    return true;
}
