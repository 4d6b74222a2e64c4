// Renders the rumble of a logged run as sound: a 16-bit PCM WAV at 44.1 kHz as long as the
// log's span, both bands as sine tones at their frequencies and amplitudes; mono for one lane,
// stereo for several (each lane on its side, or on both in the centre).
#pragma once

#include <cstdint>
#include <ostream>

#include "tools/preview/rumble_lanes.h"
#include "tools/preview/rumble_timeline.h"

constexpr int WavSampleRate = 44100;
constexpr int WavBitsPerSample = 16;
constexpr int WavChannels = 1;  // of one lane
constexpr int WavStereoChannels = 2;
constexpr int WavHeaderSize = 44;
// Longest span we render (the built-in tune lasts well under a minute).
constexpr std::int64_t MaxRenderedSpanNs = 30LL * 60 * 1000000000;
// Loudest sample, as a fraction of full scale, after the mix is normalised.
constexpr double WavPeakLevel = 0.9;
// Time an amplitude takes to go from silence to full (or back), so that steps do not click.
constexpr double AmplitudeRampSeconds = 0.002;

// Samples for a span of spanNs nanoseconds, rounded to the nearest sample.
std::int64_t SampleCountOfSpan(std::int64_t spanNs);

// Writes the WAV. The phase of each band runs on across reports; where a band's amplitude
// is zero it is silent; before the first rumble report all is silent. The mix is scaled so
// that its loudest sample reaches WavPeakLevel. False if the span exceeds MaxRenderedSpanNs
// or the stream fails.
bool WriteRumbleWav(const RumbleTimeline& timeline, std::ostream& out);

// The same for lanes of one span (see AlignLanes); the mix of each channel is scaled alike.
bool WriteLanesWav(const std::vector<RumbleLane>& lanes, std::ostream& out);
