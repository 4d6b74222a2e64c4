// Sound into rumble, measured: how fast the analysis runs (seconds of sound per second of CPU)
// and how much memory it holds for a long sound; and how closely each band follows a sine
// sweep (the share of 5 ms samples within one step of the sweep's frequency, per band).
// The sound is made here as it is read, so that no file is needed.
#include "play/sound/sound_analysis.h"
#include "play/sound/sound_rumble.h"

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr double Pi = 3.14159265358979323846;
constexpr int Rate = 44100;

double CpuSeconds()
{
    return static_cast<double>(std::clock()) / CLOCKS_PER_SEC;
}

long PeakMemoryKiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// A stereo source of seconds: a bass line and a tune, a chord now and then, a little noise.
SoundSource MadeSound(long long seconds)
{
    SoundSource source;
    source.Info = SoundInfo{"made", Rate, 2, seconds * Rate};
    auto at = std::make_shared<long long>(0);
    source.Handle = at;
    source.Read = [at, total = seconds * Rate](float* samples, long long frames, std::string*) -> long long {
        long long n = 0;
        unsigned noise = static_cast<unsigned>(*at);
        for (; n < frames && *at < total; ++n, ++*at) {
            const double t = static_cast<double>(*at) / Rate;
            const int beat = static_cast<int>(t * 4);
            const double bass = 55.0 * std::exp2((beat % 8) / 12.0);
            const double tune = 440.0 * std::exp2(((beat * 5) % 12) / 12.0);
            noise = noise * 1664525u + 1013904223u;
            const double hiss = (static_cast<double>(noise >> 8) / (1u << 24) - 0.5) * 0.02;
            const double l = 0.3 * std::sin(2 * Pi * bass * t) + 0.2 * std::sin(2 * Pi * tune * t) + hiss;
            const double r = 0.3 * std::sin(2 * Pi * bass * t) + 0.2 * std::sin(2 * Pi * tune * 1.5 * t) + hiss;
            samples[2 * n] = static_cast<float>(l);
            samples[2 * n + 1] = static_cast<float>(r);
        }
        return n;
    };
    return source;
}

void MeasureSpeed(long long seconds)
{
    SoundSource source = MadeSound(seconds);
    SoundRumble rumble;
    std::string error;
    const double before = CpuSeconds();
    AnalyseSound(source, SoundChannel::Mix, &rumble, &error, nullptr);
    const double cpu = CpuSeconds() - before;
    std::printf("%lld s of 44.1 kHz stereo (the mix and both sides): %.2f s of CPU, %.0f s of sound per s of CPU; "
                "%zu samples of rumble; peak memory of the process %ld MiB\n",
                seconds, cpu, seconds / cpu, rumble.One.Samples.size(), PeakMemoryKiB() / 1024);
}

void MeasureSweep()
{
    const double seconds = 20;
    const double octaves = std::log2(1200.0 / 50.0);
    const long long count = static_cast<long long>(seconds * Rate);
    std::vector<float> sound(static_cast<std::size_t>(count));
    double phase = 0;
    for (long long n = 0; n < count; ++n) {
        phase += 2 * Pi * 50 * std::exp2(octaves * n / count) / Rate;
        sound[static_cast<std::size_t>(n)] = static_cast<float>(0.5 * std::sin(phase));
    }
    SoundAnalysis analysis;
    StartSoundAnalysis(&analysis, Rate);
    FeedSoundAnalysis(&analysis, sound.data(), sound.size());
    FinishSoundAnalysis(&analysis);
    int within[2] = {0, 0};
    int checked[2] = {0, 0};
    int worst[2] = {0, 0};
    for (std::size_t k = 0; k < analysis.Frames.size(); ++k) {
        const double hz = 50 * std::exp2(octaves * (k + 0.5) / analysis.Frames.size());
        const int step = static_cast<int>(std::lround(32 * std::log2(hz / 10)));
        const SoundFrame& f = analysis.Frames[k];
        const bool inBand[2] = {hz >= 41 && hz <= 626, hz >= 82 && hz <= 1253};
        const int found[2] = {f.LowStep, f.HighStep};
        for (int b = 0; b < 2; ++b) {
            if (!inBand[b]) continue;
            ++checked[b];
            const int off = std::abs(found[b] - step);
            if (off <= 1) ++within[b];
            if (off > worst[b]) worst[b] = off;
        }
    }
    std::printf("sweep 50 to 1200 Hz over %.0f s: low band %.1f %% of %d samples within a step (worst %d steps), "
                "high band %.1f %% of %d (worst %d)\n",
                seconds, 100.0 * within[0] / checked[0], checked[0], worst[0], 100.0 * within[1] / checked[1],
                checked[1], worst[1]);
}

}  // namespace

int main(int argc, char** argv)
{
    const long long seconds = argc > 1 ? std::atoll(argv[1]) : 3600;
    MeasureSweep();
    MeasureSpeed(180);
    MeasureSpeed(seconds);
    return 0;
}
