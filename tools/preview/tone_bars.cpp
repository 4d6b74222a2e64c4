#include "tools/preview/tone_bars.h"

#include <algorithm>

std::vector<ToneBar> BuildToneBars(const RumbleTimeline& timeline, RumbleBand band)
{
    std::vector<ToneBar> bars;
    bool inBar = false;
    for (const RumbleStretch& stretch : timeline.Stretches) {
        const BandTone& tone = band == RumbleBand::High ? stretch.Tone.High : stretch.Tone.Low;
        if (stretch.EndNs <= stretch.StartNs) continue;  // replaced at once: never heard
        if (tone.Amplitude <= 0.0) {
            inBar = false;
            continue;
        }
        if (inBar) {
            ToneBar& bar = bars.back();
            BarStep& last = bar.Steps.back();
            // Steps only rise, then only fall: the bar has fallen once its last is below its peak.
            const double peak = std::max_element(bar.Steps.begin(), bar.Steps.end(), [](const BarStep& a, const BarStep& b) {
                                    return a.Amplitude < b.Amplitude;
                                })->Amplitude;
            const bool fell = last.Amplitude < peak;
            const bool continues = bar.EndNs == stretch.StartNs && bar.Frequency == tone.Level.Frequency &&
                                   (tone.Amplitude <= last.Amplitude || !fell);
            if (continues) {
                if (tone.Amplitude == last.Amplitude) {
                    last.EndNs = stretch.EndNs;
                } else {
                    bar.Steps.push_back({stretch.StartNs, stretch.EndNs, tone.Amplitude});
                }
                bar.EndNs = stretch.EndNs;
                continue;
            }
        }
        bars.push_back({band, tone.Level.Frequency, tone.FrequencyHz, stretch.StartNs,
                        stretch.EndNs, {{stretch.StartNs, stretch.EndNs, tone.Amplitude}}});
        inBar = true;
    }
    return bars;
}
