#include "play/arrange/stream_loops.h"

#include <numeric>

namespace {

std::size_t CycleOf(const RumbleStream& stream) { return stream.LoopEnd - stream.LoopStart + stream.LoopWait; }

// Sample i of the file with its loop repeated for ever: from the loop's start on, the loop and
// its wait in turn.
RumbleSample LoopedSample(const RumbleStream& stream, std::size_t i)
{
    if (i < stream.LoopStart) return stream.Samples[i];
    const std::size_t k = (i - stream.LoopStart) % CycleOf(stream);
    return k < stream.LoopEnd - stream.LoopStart ? stream.Samples[stream.LoopStart + k] : RestingRumbleSample;
}

RumbleStream WithoutSamples(const RumbleStream& stream)
{
    RumbleStream empty = stream;
    empty.Samples.clear();
    empty.Loops = false;
    return empty;
}

}  // namespace

bool HasStreamLoop(const RumbleStream& stream) { return stream.Loops && CycleOf(stream) > 0; }

bool UnrollStreamLoop(const RumbleStream& stream, int passes, RumbleStream* unrolled)
{
    const std::size_t tail = stream.Samples.size() - stream.LoopEnd;
    const std::size_t length = stream.LoopStart + (passes - 1) * CycleOf(stream) + (stream.LoopEnd - stream.LoopStart) + tail;
    if (length > MaxRumbleSamples) return false;
    *unrolled = WithoutSamples(stream);
    const std::size_t looped = length - tail;
    unrolled->Samples.reserve(length);
    for (std::size_t i = 0; i < looped; ++i) unrolled->Samples.push_back(LoopedSample(stream, i));
    unrolled->Samples.insert(unrolled->Samples.end(), stream.Samples.begin() + static_cast<std::ptrdiff_t>(stream.LoopEnd),
                             stream.Samples.end());
    return true;
}

bool RepeatStreamLoop(const RumbleStream& stream, long long periodUs, RumbleStream* repeating, long long* repeatFromUs)
{
    const long long sampleUs = stream.SamplePeriodUs;
    // Passes begin on a report and on a sample, and last whole reports and whole cycles.
    const long long grid = std::lcm(periodUs, sampleUs);
    const long long from = (static_cast<long long>(stream.LoopStart) * sampleUs + grid - 1) / grid * grid;
    const long long passUs = std::lcm(static_cast<long long>(CycleOf(stream)) * sampleUs, periodUs);
    const long long length = (from + passUs) / sampleUs;
    if (length > static_cast<long long>(MaxRumbleSamples)) return false;
    *repeating = WithoutSamples(stream);
    repeating->Samples.reserve(static_cast<std::size_t>(length));
    for (long long i = 0; i < length; ++i) repeating->Samples.push_back(LoopedSample(stream, static_cast<std::size_t>(i)));
    *repeatFromUs = from;
    return true;
}
