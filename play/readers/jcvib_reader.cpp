#include "play/readers/jcvib_reader.h"

#include "common/byte_order.h"
#include "common/time_units.h"


#include <cstdint>

namespace {

constexpr char Magic[] = "RRAW";
constexpr std::size_t MagicBytes = 4;
constexpr std::size_t PeriodAt = 4;
constexpr std::size_t CountAt = 6;
constexpr std::size_t BlocksAt = 10;
constexpr std::size_t BlockBytes = 4;
constexpr std::uint32_t LongestPeriodMs = 1000;

}  // namespace

bool LooksLikeJcvib(const std::string& bytes) { return bytes.compare(0, MagicBytes, Magic) == 0; }

bool ReadJcvib(const std::string& bytes, RumbleStream* stream, RumbleFileError* error)
{
    if (bytes.size() > MaxRumbleFileBytes) return RefuseRumbleFile(error, 0, "larger than 16 MiB");
    if (!LooksLikeJcvib(bytes)) return RefuseRumbleFile(error, 0, "no \"RRAW\" at the start");
    if (bytes.size() < BlocksAt) return RefuseRumbleFile(error, bytes.size(), "the file ends in its header");
    const std::uint32_t periodMs = BigEndianAt(bytes, PeriodAt, 2);
    if (periodMs == 0 || periodMs > LongestPeriodMs)
        return RefuseRumbleFile(error, PeriodAt, "a period of " + std::to_string(periodMs) + " ms between blocks (1 to 1000)");
    const std::uint32_t count = BigEndianAt(bytes, CountAt, 4);
    if (count > (bytes.size() - BlocksAt) / BlockBytes)
        return RefuseRumbleFile(error, CountAt, std::to_string(count) + " blocks, but " + std::to_string(bytes.size() - BlocksAt) +
                                        " bytes follow");
    const long long lengthUs = static_cast<long long>(count) * periodMs * MicrosecondsPerMillisecond;
    if (lengthUs / SampleSpacingUs > static_cast<long long>(MaxRumbleSamples))
        return RefuseRumbleFile(error, CountAt, "more than an hour of rumble");

    RumbleStream read;
    read.Format = "JCVIB";
    read.SamplePeriodUs = SampleSpacingUs;
    // Each block's samples from its own time on, 5 ms apart; the last one holds until the next.
    RumbleSample state = RestingRumbleSample;
    RumbleSample holding = RestingRumbleSample;
    const std::size_t gridCount = static_cast<std::size_t>(lengthUs / SampleSpacingUs);
    read.Samples.reserve(gridCount);
    for (std::uint32_t k = 0; k < count; ++k) {
        RumbleSample samples[MaxSamplesPerBlock];
        const int made = DecodeRumbleBlock(reinterpret_cast<const unsigned char*>(bytes.data()) + BlocksAt + k * BlockBytes,
                                           &state, samples);
        const long long blockEndUs = static_cast<long long>(k + 1) * periodMs * MicrosecondsPerMillisecond;
        const long long blockStartUs = blockEndUs - static_cast<long long>(periodMs) * MicrosecondsPerMillisecond;
        for (std::size_t j = read.Samples.size(); static_cast<long long>(j) * SampleSpacingUs < blockEndUs; ++j) {
            const long long into = static_cast<long long>(j) * SampleSpacingUs - blockStartUs;
            const long long index = into / SampleSpacingUs;
            if (made > 0) holding = samples[index < made ? index : made - 1];
            read.Samples.push_back(holding);
        }
    }
    LowerToSafeMaximum(read);
    *stream = std::move(read);
    return true;
}
