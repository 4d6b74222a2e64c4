// --timing: how late the reports went out, one line after playing, for files, live input and
// captured sound.
#pragma once

#include "play/live/capture_performer.h"
#include "play/live/live_performer.h"
#include "play/perform/performer.h"

#include <cstdio>

// "timing: 120 reports sent, 0 passed over; late against their due times by p50 ..."; nothing
// when no report was sent.
void PrintPlayTiming(std::FILE* out, const PerformTiming& timing);

// "timing: 80 reports sent, 12 changes carried; written after arriving by ...".
void PrintLiveTiming(std::FILE* out, const LiveTiming& timing);

// "timing: 400 reports sent, 1200 samples carried; written after their sound arrived by ...".
void PrintCaptureTiming(std::FILE* out, const CaptureTiming& timing);
