// How closely the rumble block encoder follows what is wanted: mean and worst error per band,
// in 1/32 octave (a code step), on a sweep, a vibrato and a stream of fast changes, each
// encoded three samples to a block and decoded as a controller does; and the encoder's speed.
#include "common/time_units.h"
#include "rumble/rumble_blocks.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <random>
#include <vector>

namespace {

constexpr int SamplesPerSecond = static_cast<int>(MicrosecondsPerSecond / SampleSpacingUs);
constexpr int Seconds = 60;
constexpr int SampleCount = SamplesPerSecond * Seconds;
constexpr double Pi = 3.14159265358979323846;

struct BandFigures {
    double Amplitude = 0;
    double Frequency = 0;
    int WorstAmplitude = 0;
    int WorstFrequency = 0;
};

void Measure(const char* name, const std::vector<RumbleSample>& wanted)
{
    RumbleSample encoder = RestingRumbleSample;
    RumbleSample controller = RestingRumbleSample;
    BandFigures high;
    BandFigures low;
    int oneSampleBlocks = 0;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i + MaxSamplesPerBlock <= wanted.size(); i += MaxSamplesPerBlock) {
        unsigned char block[4];
        EncodeRumbleBlock(&wanted[i], &encoder, block);
        RumbleSample played[MaxSamplesPerBlock];
        const int count = DecodeRumbleBlock(block, &controller, played);
        oneSampleBlocks += count == 1;
        for (int k = 0; k < MaxSamplesPerBlock; ++k) {
            const RumbleSample& p = played[k < count ? k : count - 1];
            const RumbleSample& w = wanted[i + static_cast<std::size_t>(k)];
            for (const bool isHigh : {true, false}) {
                const BandLevel& pb = isHigh ? p.High : p.Low;
                const BandLevel& wb = isHigh ? w.High : w.Low;
                BandFigures& f = isHigh ? high : low;
                const int a = std::abs(std::min(wb.Amplitude, SafeMaximumAmplitude) - pb.Amplitude);
                const int fr = std::abs(wb.Frequency - pb.Frequency);
                f.Amplitude += a;
                f.Frequency += fr;
                f.WorstAmplitude = std::max(f.WorstAmplitude, a);
                f.WorstFrequency = std::max(f.WorstFrequency, fr);
            }
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double n = static_cast<double>(wanted.size());
    std::printf("%-22s high: amplitude %.2f / %d, frequency %.2f / %d   low: amplitude %.2f / %d, frequency %.2f / %d"
                "   one-sample blocks %d of %zu; %.0f s of samples per s of CPU\n",
                name, high.Amplitude / n, high.WorstAmplitude, high.Frequency / n, high.WorstFrequency,
                low.Amplitude / n, low.WorstAmplitude, low.Frequency / n, low.WorstFrequency, oneSampleBlocks,
                wanted.size() / MaxSamplesPerBlock, Seconds / seconds);
}

}  // namespace

int main()
{
    std::vector<RumbleSample> sweep, vibrato, fast;
    std::mt19937 random(11);
    RumbleSample drift{{-60, 0}, {-60, 0}};
    for (int i = 0; i < SampleCount; ++i) {
        const double t = static_cast<double>(i) / SamplesPerSecond;
        // Both bands over their whole range and back in 10 s, at a steady level.
        const int sweepAt = static_cast<int>(std::lround(63 * std::sin(2 * Pi * t / 10)));
        sweep.push_back({{-40, sweepAt}, {-40, -sweepAt}});
        // A note with a 6 Hz vibrato of a semitone (2.7 steps) either way, its level swelling.
        const int wobble = static_cast<int>(std::lround(2.7 * std::sin(2 * Pi * 6 * t)));
        const int swell = -60 + static_cast<int>(std::lround(30 * std::sin(2 * Pi * t / 2)));
        vibrato.push_back({{swell, 10 + wobble}, {swell - 10, -20 + wobble}});
        // Game-style rumble: a random walk with a jump now and then, as recorded effects have.
        for (BandLevel* b : {&drift.High, &drift.Low}) {
            if (random() % 20 == 0) {
                b->Amplitude = static_cast<int>(random() % 200) - 230;
                b->Frequency = static_cast<int>(random() % 128) - 64;
            } else {
                b->Amplitude = std::clamp(b->Amplitude + static_cast<int>(random() % 9) - 4, SilentAmplitude, FullAmplitude);
                b->Frequency = std::clamp(b->Frequency + static_cast<int>(random() % 5) - 2, LowestFrequency, 63);
            }
        }
        fast.push_back(drift);
    }
    std::printf("rumble block encoder, 200 samples a second, %d s each; error in 1/32 octave, mean / worst\n", Seconds);
    Measure("sweep", sweep);
    Measure("vibrato", vibrato);
    Measure("fast changes", fast);
    return 0;
}
