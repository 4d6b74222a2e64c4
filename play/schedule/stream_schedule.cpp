#include "play/schedule/stream_schedule.h"

#include "controller/link.h"
#include "play/arrange/voice_builder.h"

#include <algorithm>
#include <cmath>

namespace {

// The sample sounding at timeUs, louder or softer by the volume.
RumbleSample SampleAt(const RumbleStream& stream, long long timeUs, int volumeSteps, bool mute)
{
    RumbleSample s = RestingRumbleSample;
    const long long index = timeUs / stream.SamplePeriodUs;
    if (index < static_cast<long long>(stream.Samples.size())) s = stream.Samples[static_cast<std::size_t>(index)];
    for (BandLevel* band : {&s.High, &s.Low}) {
        if (band->Amplitude < QuietestAmplitude) continue;
        band->Amplitude = mute ? SilentAmplitude : std::clamp(band->Amplitude + volumeSteps, SilentAmplitude, SafeMaximumAmplitude);
    }
    return s;
}

}  // namespace

long long StreamLengthUs(const RumbleStream& stream)
{
    return static_cast<long long>(stream.Samples.size()) * stream.SamplePeriodUs;
}

RumbleStream StartStreamAt(const RumbleStream& stream, long long startUs)
{
    RumbleStream later = stream;
    const std::size_t skip = std::min(stream.Samples.size(), static_cast<std::size_t>(startUs / stream.SamplePeriodUs));
    later.Samples.erase(later.Samples.begin(), later.Samples.begin() + static_cast<std::ptrdiff_t>(skip));
    // The loop stays where the start comes before it.
    later.Loops = stream.Loops && skip <= stream.LoopStart;
    if (later.Loops) {
        later.LoopStart -= skip;
        later.LoopEnd -= skip;
    }
    return later;
}

Schedule BuildStreamSchedule(const RumbleStream& left, const RumbleStream& right, long long minIntervalUs,
                             int volumePercent, long long repeatFromUs)
{
    Schedule schedule;
    schedule.RepeatFromUs = repeatFromUs;
    schedule.WriteAllowanceUs = StreamWriteAllowanceUs;
    schedule.LengthUs = std::max(StreamLengthUs(left), StreamLengthUs(right));
    const long long period = std::max(StreamReportPeriodUs, minIntervalUs);
    const bool mute = volumePercent <= 0;
    const int volumeSteps = mute ? 0
                                 : static_cast<int>(std::lround(
                                       LogStepsPerOctave * std::log2(static_cast<double>(volumePercent) / FullVolumePercent)));
    const bool one = &left == &right;
    RumbleSample leftState = RestingRumbleSample;
    RumbleSample rightState = RestingRumbleSample;
    long long k = 0;
    for (long long t = 0; t < schedule.LengthUs; t += period, ++k) {
        ScheduledReport report{t, {}, {}};
        for (const bool isLeft : {true, false}) {
            if (!isLeft && one) {
                report.Right = report.Left;
                break;
            }
            const RumbleStream& stream = isLeft ? left : right;
            RumbleSample& state = isLeft ? leftState : rightState;
            RumbleBytes& block = isLeft ? report.Left : report.Right;
            RumbleSample wanted[MaxSamplesPerBlock];
            for (int s = 0; s < MaxSamplesPerBlock; ++s)
                wanted[s] = SampleAt(stream, t + s * static_cast<long long>(SampleSpacingUs), volumeSteps, mute);
            if (k % KeyReportEvery == 0 || t == repeatFromUs)
                EncodeAbsoluteRumbleBlock(wanted[0], &state, block.Bytes);
            else
                EncodeRumbleBlock(wanted, &state, block.Bytes);
        }
        schedule.Reports.push_back(report);
    }
    const long long end = schedule.Reports.empty() ? 0 : schedule.Reports.back().DueUs + period;
    RumbleBytes silence{};
    std::copy(SilenceRumble, SilenceRumble + RumbleBlockSize, silence.Bytes);
    schedule.Reports.push_back(ScheduledReport{std::max(end, schedule.LengthUs), silence, silence});
    schedule.LengthUs = schedule.Reports.back().DueUs;
    return schedule;
}
