#include "play/report/sound_listing.h"

#include "common/time_units.h"
#include "play/report/wording.h"
#include "play/schedule/stream_schedule.h"

#include <cmath>

namespace {

constexpr double PercentAll = 100.0;

void PrintBand(std::FILE* out, const char* band, const BandRange& range)
{
    if (range.HighestHz <= 0) {
        std::fprintf(out, "%s band: silent throughout\n", band);
        return;
    }
    std::fprintf(out, "%s band: %.0f to %.0f Hz\n", band, range.LowestHz, range.HighestHz);
}

}  // namespace

void PrintSoundListing(std::FILE* out, const std::string& name, const std::string& controllers,
                       const SoundRumble& sound, const Schedule& schedule)
{
    const SoundInfo& info = sound.Info;
    const long long lengthUs = info.Rate > 0 ? sound.Frames * MicrosecondsPerSecond / info.Rate : 0;
    std::fprintf(out, "%s: %s, %d Hz, %s, %s long\n", name.c_str(), info.Format.c_str(), info.Rate,
                 CountOf(info.Channels, "channel").c_str(), FormatPlayTime(lengthUs).c_str());
    PrintBand(out, "low", sound.Low);
    PrintBand(out, "high", sound.High);
    std::fprintf(out, "silent: %.0f %% of the time\n", std::round(sound.SilentShare * PercentAll));
    if (info.Channels > 1)
        std::fprintf(out, "stereo: a Pro Controller plays the left and right channels on its two actuators, "
                          "a Joy-Con the mix (or --channel)\n");
    std::fprintf(out, "on %s: %s, three 5 ms samples in each, every %lld ms\n", controllers.c_str(),
                 CountOf(static_cast<long long>(schedule.Reports.size()), "report").c_str(),
                 StreamReportPeriodUs / MicrosecondsPerMillisecond);
}
