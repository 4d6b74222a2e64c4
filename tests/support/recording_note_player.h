// A note player that records its calls instead of playing; linked in place of the real one.
#pragma once

#include <vector>

namespace recording_note_player {

struct Call {
    int note;
    int count;
    int unit;
    bool operator==(const Call& other) const
    {
        return note == other.note && count == other.count && unit == other.unit;
    }
};

extern std::vector<Call> Calls;

}  // namespace recording_note_player
