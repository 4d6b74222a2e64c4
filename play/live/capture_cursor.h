// Which samples of sound caught live a controller's next report carries: the ones made since its
// last report, three to a report (5 ms apart) with the last one held where fewer came, and the
// oldest skipped when it fell behind by more than a report and a sample. Encodes the report's
// blocks from the controller's own state. Holds no clock: the native performer and the page
// both walk it.
#pragma once

#include "play/live/capture_stream.h"
#include "rumble/rumble_blocks.h"

#include <utility>
#include <vector>

struct CaptureCursor {
    long long Next = -1;  // the next sample to carry; from the newest at the first report
    RumbleSample States[2] = {RestingRumbleSample, RestingRumbleSample};  // as the controller plays
    RumbleSample Held[2] = {RestingRumbleSample, RestingRumbleSample};    // the last sample carried
};

// What a controller of actuators (1 or 2) plays of sound of channels: a Pro Controller the two
// sides of stereo sound, every other one the mix on both blocks.
std::pair<CaptureSide, CaptureSide> CaptureSidesOf(int actuators, int channels);

// Controller blocks of 4 bytes (its left and right actuators, playing sides) for the next report;
// carried gets the numbers of the samples it carries; returns how many were skipped.
long long TakeCaptureReport(CaptureCursor& cursor, const CaptureStream& stream, CaptureSide left, CaptureSide right,
                            unsigned char* leftBlock, unsigned char* rightBlock, std::vector<long long>* carried);
