#include "play/report/stream_listing.h"

#include "common/time_units.h"
#include "play/report/wording.h"
#include "play/schedule/stream_schedule.h"

void PrintStreamListing(std::FILE* out, const std::string& name, const std::string& controllers,
                        const RumbleStream& stream, const Schedule& schedule)
{
    const long long rate = MicrosecondsPerSecond / stream.SamplePeriodUs;
    std::fprintf(out, "%s: %s rumble, %lld samples a second, %s long (%s)\n", name.c_str(), stream.Format.c_str(), rate,
                 FormatPlayTime(StreamLengthUs(stream)).c_str(),
                 CountOf(static_cast<long long>(stream.Samples.size()), "sample").c_str());
    if (stream.Loops) {
        std::fprintf(out, "loop: samples %zu to %zu", stream.LoopStart, stream.LoopEnd);
        if (stream.LoopWait > 0) std::fprintf(out, ", then %s of silence", CountOf(static_cast<long long>(stream.LoopWait), "sample").c_str());
        std::fprintf(out, " (--loop N plays it N times, --loop alone until interrupted)\n");
    }
    std::fprintf(out, "peak amplitude: %.2f of full; the safe maximum is %.2f", AmplitudeShare(stream.PeakAmplitude),
                 AmplitudeShare(SafeMaximumAmplitude));
    if (stream.Lowered > 0) std::fprintf(out, "; %s lowered to it", CountOf(stream.Lowered, "sample").c_str());
    std::fprintf(out, "\non %s: %s, three 5 ms samples in each, every %lld ms\n", controllers.c_str(),
                 CountOf(static_cast<long long>(schedule.Reports.size()), "report").c_str(),
                 StreamReportPeriodUs / MicrosecondsPerMillisecond);
}
