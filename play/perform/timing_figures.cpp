#include "play/perform/timing_figures.h"

#include "common/time_units.h"


#include <algorithm>
#include <cstdio>

namespace {

constexpr int Median = 50;
constexpr int NearlyAll = 99;
constexpr int PercentAll = 100;

double Microseconds(long long ns) { return static_cast<double>(ns) / NanosecondsPerMicrosecond; }

// Nearest-rank percentile of sorted values.
long long Percentile(const std::vector<long long>& sorted, int percent)
{
    const std::size_t rank = (sorted.size() * static_cast<std::size_t>(percent) + PercentAll - 1) / PercentAll;
    return sorted[rank == 0 ? 0 : rank - 1];
}

}  // namespace

std::string FormLatencyFigures(std::vector<long long> ns)
{
    std::sort(ns.begin(), ns.end());
    char text[128];
    std::snprintf(text, sizeof text, "p50 %.1f us, p99 %.1f us, max %.1f us", Microseconds(Percentile(ns, Median)),
                  Microseconds(Percentile(ns, NearlyAll)), Microseconds(ns.back()));
    return text;
}
