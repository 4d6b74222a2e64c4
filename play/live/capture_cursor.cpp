#include "play/live/capture_cursor.h"

#include <algorithm>

namespace {

// A sample's slack lets sound that comes a little unevenly go out whole.
constexpr long long SlackSamples = 1;
constexpr int TwoActuators = 2;
constexpr int Stereo = 2;

}  // namespace

std::pair<CaptureSide, CaptureSide> CaptureSidesOf(int actuators, int channels)
{
    if (actuators == TwoActuators && channels >= Stereo) return {CaptureSide::Left, CaptureSide::Right};
    return {CaptureSide::Mix, CaptureSide::Mix};
}

long long TakeCaptureReport(CaptureCursor& cursor, const CaptureStream& stream, CaptureSide left, CaptureSide right,
                            unsigned char* leftBlock, unsigned char* rightBlock, std::vector<long long>* carried)
{
    const long long newest = stream.Made;
    if (cursor.Next < 0) cursor.Next = std::max(0LL, newest - MaxSamplesPerBlock);
    const long long from = std::max({cursor.Next, newest - MaxSamplesPerBlock - SlackSamples, FirstKeptCaptureSample(stream)});
    const long long skipped = from - cursor.Next;
    cursor.Next = from;
    carried->clear();
    RumbleSample wanted[2][MaxSamplesPerBlock];
    const CaptureSide sides[2] = {left, right};
    for (int i = 0; i < MaxSamplesPerBlock; ++i) {
        const bool made = cursor.Next < newest;
        for (int a = 0; a < 2; ++a) {
            // A sample not made yet: the last one holds.
            if (made) CaptureSampleAt(stream, sides[a], cursor.Next, &cursor.Held[a]);
            wanted[a][i] = cursor.Held[a];
        }
        if (made) carried->push_back(cursor.Next++);
    }
    EncodeRumbleBlock(wanted[0], &cursor.States[0], leftBlock);
    EncodeRumbleBlock(wanted[1], &cursor.States[1], rightBlock);
    return skipped;
}
