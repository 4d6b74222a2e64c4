// Feeds arbitrary bytes to the .bnvib and .jcvib readers. Checks that a refusal names a byte
// inside the file, that an accepted stream is bounded, in range and never above the safe
// maximum, that a .bnvib written from it reads back with the same samples, and that its loop
// played over stays bounded and made of its samples.
#include "fuzz/require.h"
#include "play/readers/bnvib_reader.h"
#include "play/readers/jcvib_reader.h"
#include "play/arrange/stream_loops.h"
#include "play/schedule/stream_schedule.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string>

namespace {

void Check(const std::string& bytes, bool accepted, const RumbleStream& stream, const RumbleFileError& error)
{
    if (!accepted) {
        Require(error.Offset <= bytes.size() && !error.Message.empty(), "a fault outside the file or without a message");
        return;
    }
    Require(stream.Samples.size() <= MaxRumbleSamples, "more samples than an hour");
    Require(!stream.Loops || (stream.LoopStart <= stream.LoopEnd && stream.LoopEnd <= stream.Samples.size()),
            "a loop outside the samples");
    for (const RumbleSample& s : stream.Samples)
        for (const BandLevel* b : {&s.High, &s.Low})
            Require(b->Amplitude >= SilentAmplitude && b->Amplitude <= SafeMaximumAmplitude &&
                        b->Frequency >= LowestFrequency && b->Frequency <= HighestFrequency,
                    "a sample out of range or above the safe maximum");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    RumbleStream stream;
    RumbleFileError error{};
    const bool bnvib = ReadBnvib(bytes, &stream, &error);
    Check(bytes, bnvib, stream, error);
    if (bnvib && stream.Samples.size() < 4096) {
        RumbleStream again;
        Require(ReadBnvib(FormBnvib(stream), &again, &error), "a written .bnvib that does not read back");
        Require(again.Samples.size() == stream.Samples.size(), "a written .bnvib of another length");
    }
    if (bnvib && HasStreamLoop(stream) && stream.Samples.size() < 4096 && stream.LoopWait < 4096) {
        RumbleStream played;
        if (UnrollStreamLoop(stream, 3, &played)) {
            Require(played.Samples.size() == stream.Samples.size() + 2 * (stream.LoopEnd - stream.LoopStart + stream.LoopWait),
                    "a loop played three times of the wrong length");
        }
        long long from = 0;
        const long long periodUs = 15000;
        if (RepeatStreamLoop(stream, periodUs, &played, &from)) {
            Require(from % periodUs == 0 && from >= static_cast<long long>(stream.LoopStart) * stream.SamplePeriodUs,
                    "repeats that begin off a report or before the loop");
            Require(StreamLengthUs(played) > from && (StreamLengthUs(played) - from) % periodUs == 0,
                    "repeats that are not whole reports");
        }
    }
    RumbleStream recorded;
    Check(bytes, ReadJcvib(bytes, &recorded, &error), recorded, error);
    return 0;
}
