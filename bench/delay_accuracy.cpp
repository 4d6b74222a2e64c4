// Prints how far past the asked time DelayMs returns, beside an operating system sleep of the
// same length, and what one counter read costs.
#include "platform/clock.h"
#include "rumble/delay.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>
#include <vector>

namespace {

struct Figures {
    double p50;
    double p99;
    double max;
};

Figures Summarise(std::vector<double> overshootsUs)
{
    std::sort(overshootsUs.begin(), overshootsUs.end());
    auto at = [&](double q) {
        return overshootsUs[static_cast<size_t>(q * (overshootsUs.size() - 1) + 0.5)];
    };
    return Figures{at(0.50), at(0.99), overshootsUs.back()};
}

double NowUs()
{
    return static_cast<double>(ReadCounter()) * 1e6 / static_cast<double>(ReadCounterFrequency());
}

template <typename Wait>
Figures MeasureOvershoot(int ms, int rounds, Wait wait)
{
    std::vector<double> overshoots;
    overshoots.reserve(rounds);
    for (int i = 0; i < rounds; ++i) {
        double start = NowUs();
        wait(ms);
        overshoots.push_back(NowUs() - start - ms * 1000.0);
    }
    return Summarise(overshoots);
}

}  // namespace

int main(int argc, char** argv)
{
    // Rounds per wait length; more gives steadier tails.
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;

    const int readCount = 10000000;
    // The span from the first to the last of the reads, so that every read is used.
    const long long first = ReadCounter();
    long long last = first;
    for (int i = 1; i < readCount; ++i) last = ReadCounter();
    double perReadNs = static_cast<double>(last - first) * 1e9 /
                       static_cast<double>(ReadCounterFrequency()) / (readCount - 1);
    std::printf("counter read: %.1f ns (%d reads)\n", perReadNs, readCount);

    std::printf("overshoot past the asked time, microseconds, %d rounds each\n", rounds);
    std::printf("%6s  %28s  %28s\n", "wait", "DelayMs (busy wait)", "sleep_for (OS sleep)");
    std::printf("%6s  %8s %9s %9s  %8s %9s %9s\n", "ms", "p50", "p99", "max", "p50", "p99", "max");
    for (int ms : {0, 1, 12, 25}) {
        Figures busy = MeasureOvershoot(ms, rounds, [](int wait) { DelayMs(wait); });
        Figures sleep = MeasureOvershoot(ms, rounds, [](int wait) {
            std::this_thread::sleep_for(std::chrono::milliseconds(wait));
        });
        std::printf("%6d  %8.1f %9.1f %9.1f  %8.1f %9.1f %9.1f\n", ms, busy.p50, busy.p99, busy.max,
                    sleep.p50, sleep.p99, sleep.max);
    }
    return 0;
}
