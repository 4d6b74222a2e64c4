#include "play/readers/bnvib_reader.h"

#include "common/byte_order.h"
#include "common/time_units.h"


#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {

constexpr std::uint32_t PlainMetadata = 0x4;
constexpr std::uint32_t LoopMetadata = 0xC;
constexpr std::uint32_t LoopWaitMetadata = 0x10;
constexpr int FormatId = 3;
constexpr int DefaultRate = 200;
constexpr std::size_t SizeField = 4;
constexpr std::size_t FormatAt = 4;
constexpr std::size_t RateAt = 6;
constexpr std::size_t LoopStartAt = 8;
constexpr std::size_t LoopEndAt = 12;
constexpr std::size_t LoopWaitAt = 16;
constexpr std::size_t SampleBytes = 4;
constexpr int FullByte = 255;
constexpr int LargestToneStep = 255;

int AmplitudeOfByte(unsigned char b)
{
    if (b == 0) return SilentAmplitude;
    const long a = std::lround(LogStepsPerOctave * std::log2(static_cast<double>(b) / FullByte));
    return std::max(static_cast<int>(a), SilentAmplitude);
}

unsigned char ByteOfAmplitude(int amplitude)
{
    if (amplitude < QuietestAmplitude) return 0;
    const long b = std::lround(FullByte * std::exp2(static_cast<double>(amplitude) / LogStepsPerOctave));
    return static_cast<unsigned char>(std::clamp(b, 1L, static_cast<long>(FullByte)));
}

int FrequencyOfByte(unsigned char b, bool high)
{
    return std::clamp(FrequencyOfToneStep(b, high), LowestFrequency, HighestFrequency - 1);
}

unsigned char ByteOfFrequency(int frequency, bool high)
{
    return static_cast<unsigned char>(std::clamp(ToneStepOfFrequency(frequency, high), 0, LargestToneStep));
}

}  // namespace

bool LooksLikeBnvib(const std::string& bytes)
{
    if (bytes.size() < RateAt) return false;
    const std::uint32_t metadata = LittleEndianAt(bytes, 0, 4);
    return (metadata == PlainMetadata || metadata == LoopMetadata || metadata == LoopWaitMetadata) &&
           LittleEndianAt(bytes, FormatAt, 2) == FormatId;
}

bool ReadBnvib(const std::string& bytes, RumbleStream* stream, RumbleFileError* error)
{
    if (bytes.size() > MaxRumbleFileBytes) return RefuseRumbleFile(error, 0, "larger than 16 MiB");
    if (bytes.size() < SizeField) return RefuseRumbleFile(error, bytes.size(), "the file ends before its metadata size");
    const std::uint32_t metadata = LittleEndianAt(bytes, 0, 4);
    if (metadata != PlainMetadata && metadata != LoopMetadata && metadata != LoopWaitMetadata)
        return RefuseRumbleFile(error, 0, "metadata size " + std::to_string(metadata) + ", where a .bnvib has 4, 12 or 16");
    const std::size_t dataSizeAt = SizeField + metadata;
    if (bytes.size() < dataSizeAt + SizeField) return RefuseRumbleFile(error, bytes.size(), "the file ends in its header");
    const std::uint32_t format = LittleEndianAt(bytes, FormatAt, 2);
    if (format != FormatId) return RefuseRumbleFile(error, FormatAt, "format " + std::to_string(format) + ", where a .bnvib has 3");
    const std::uint32_t rate = LittleEndianAt(bytes, RateAt, 2);
    if (rate == 0 || MicrosecondsPerSecond % rate != 0)
        return RefuseRumbleFile(error, RateAt, "a sample rate of " + std::to_string(rate) + " a second, which no whole number of microseconds divides");
    const std::uint32_t dataSize = LittleEndianAt(bytes, dataSizeAt, 4);
    const std::size_t dataAt = dataSizeAt + SizeField;
    if (dataSize % SampleBytes != 0)
        return RefuseRumbleFile(error, dataSizeAt, "a data size of " + std::to_string(dataSize) + ", not whole 4-byte samples");
    if (dataSize > bytes.size() - dataAt)
        return RefuseRumbleFile(error, dataSizeAt, "a data size of " + std::to_string(dataSize) + " bytes, but " +
                                           std::to_string(bytes.size() - dataAt) + " follow");
    const std::size_t count = dataSize / SampleBytes;
    if (count > MaxRumbleSamples) return RefuseRumbleFile(error, dataSizeAt, "more than an hour of samples");

    RumbleStream read;
    read.Format = "BNVIB";
    read.SamplePeriodUs = static_cast<int>(MicrosecondsPerSecond / rate);
    if (metadata >= LoopMetadata) {
        const std::uint32_t start = LittleEndianAt(bytes, LoopStartAt, 4);
        const std::uint32_t end = LittleEndianAt(bytes, LoopEndAt, 4);
        if (start > count) return RefuseRumbleFile(error, LoopStartAt, "the loop starts after the last sample");
        if (end < start || end > count) return RefuseRumbleFile(error, LoopEndAt, "the loop ends before it starts or after the last sample");
        read.Loops = true;
        read.LoopStart = start;
        read.LoopEnd = end;
        if (metadata == LoopWaitMetadata) {
            read.LoopWait = LittleEndianAt(bytes, LoopWaitAt, 4);
            if (read.LoopWait > MaxRumbleSamples) return RefuseRumbleFile(error, LoopWaitAt, "a loop wait of more than an hour");
        }
    }
    read.Samples.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = dataAt + i * SampleBytes;
        const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[at + k]); };
        read.Samples.push_back(RumbleSample{{AmplitudeOfByte(byte(2)), FrequencyOfByte(byte(3), true)},
                                            {AmplitudeOfByte(byte(0)), FrequencyOfByte(byte(1), false)}});
    }
    LowerToSafeMaximum(read);
    *stream = std::move(read);
    return true;
}

std::string FormBnvib(const RumbleStream& stream)
{
    const std::uint32_t metadata = !stream.Loops ? PlainMetadata : stream.LoopWait > 0 ? LoopWaitMetadata : LoopMetadata;
    std::string out;
    AppendLittleEndian(out, metadata, 4);
    AppendLittleEndian(out, FormatId, 2);
    AppendLittleEndian(out, stream.SamplePeriodUs > 0 ? static_cast<std::uint32_t>(MicrosecondsPerSecond / stream.SamplePeriodUs)
                                                : DefaultRate, 2);
    if (stream.Loops) {
        AppendLittleEndian(out, static_cast<std::uint32_t>(stream.LoopStart), 4);
        AppendLittleEndian(out, static_cast<std::uint32_t>(stream.LoopEnd), 4);
        if (stream.LoopWait > 0) AppendLittleEndian(out, static_cast<std::uint32_t>(stream.LoopWait), 4);
    }
    AppendLittleEndian(out, static_cast<std::uint32_t>(stream.Samples.size() * SampleBytes), 4);
    for (const RumbleSample& s : stream.Samples) {
        out += static_cast<char>(ByteOfAmplitude(s.Low.Amplitude));
        out += static_cast<char>(ByteOfFrequency(s.Low.Frequency, false));
        out += static_cast<char>(ByteOfAmplitude(s.High.Amplitude));
        out += static_cast<char>(ByteOfFrequency(s.High.Frequency, true));
    }
    return out;
}
