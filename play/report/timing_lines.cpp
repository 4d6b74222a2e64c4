#include "play/report/timing_lines.h"

#include "play/perform/timing_figures.h"
#include "play/report/wording.h"

void PrintPlayTiming(std::FILE* out, const PerformTiming& timing)
{
    if (timing.LateNs.empty()) return;
    std::fprintf(out, "timing: %s sent, %d passed over; late against their due times by %s\n",
                 CountOf(static_cast<long long>(timing.LateNs.size()), "report").c_str(), timing.PassedOver,
                 FormLatencyFigures(timing.LateNs).c_str());
}

void PrintLiveTiming(std::FILE* out, const LiveTiming& timing)
{
    std::fprintf(out, "timing: %s sent, %s carried", CountOf(timing.Reports, "report").c_str(),
                 CountOf(static_cast<long long>(timing.FromArrivalNs.size()), "change").c_str());
    if (!timing.FromArrivalNs.empty())
        std::fprintf(out, "; written after arriving by %s; after the least interval allowed by %s",
                     FormLatencyFigures(timing.FromArrivalNs).c_str(), FormLatencyFigures(timing.BeyondTurnNs).c_str());
    std::fprintf(out, "\n");
}

void PrintCaptureTiming(std::FILE* out, const CaptureTiming& timing)
{
    std::fprintf(out, "timing: %s sent, %s carried", CountOf(timing.Reports, "report").c_str(),
                 CountOf(static_cast<long long>(timing.FromSoundNs.size()), "sample").c_str());
    if (!timing.FromSoundNs.empty())
        std::fprintf(out, "; written after their sound arrived by %s; after the report's turn by %s",
                     FormLatencyFigures(timing.FromSoundNs).c_str(), FormLatencyFigures(timing.BeyondTurnNs).c_str());
    if (timing.Skipped > 0) std::fprintf(out, "; %s skipped", CountOf(timing.Skipped, "sample").c_str());
    std::fprintf(out, "\n");
}
