#include "tests/support/recording_note_player.h"

#include "rumble/note_player.h"

namespace recording_note_player {
std::vector<Call> Calls;
}

void PlayNote(int note, int count, int unit)
{
    recording_note_player::Calls.push_back({note, count, unit});
}
