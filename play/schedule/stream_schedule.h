// Reports that stream rumble samples: three 5 ms samples to a report, as one multi-sample block
// per actuator, one report every 15 ms (the controller's own period), so that the rumble
// changes every 5 ms at a safe report rate.
#pragma once

#include "play/readers/rumble_stream.h"
#include "play/schedule/report_schedule.h"

constexpr long long StreamReportPeriodUs = MaxSamplesPerBlock * SampleSpacingUs;
// Every this many reports one sets both bands outright, so that a report a controller lost
// leaves its running state wrong for a moment only. (Reports the player passes over after a
// stall do not: the report it sends next sets both bands.)
constexpr int KeyReportEvery = 10;
// A streamed report may follow a write that took this long by that much less than the least
// interval (12 ms at the default 15, far from the 6 ms at which controllers lose reports).
constexpr long long StreamWriteAllowanceUs = 3000;

// The reports for left and right (the same stream for a Joy-Con), at volumePercent, never above
// the safe maximum: one every StreamReportPeriodUs, or every minIntervalUs when that is longer
// (the samples between then go unplayed); silence after the last sample. Passes after the first
// begin at repeatFromUs, a time on the report grid, whose report sets both bands outright.
Schedule BuildStreamSchedule(const RumbleStream& left, const RumbleStream& right, long long minIntervalUs,
                             int volumePercent, long long repeatFromUs = 0);

// The stream from startUs on; its loop kept if it starts no sooner.
RumbleStream StartStreamAt(const RumbleStream& stream, long long startUs);

// How long the stream lasts.
long long StreamLengthUs(const RumbleStream& stream);
