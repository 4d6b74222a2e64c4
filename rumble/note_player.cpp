#include "rumble/note_player.h"

#include "controller/link.h"
#include "platform/interrupt.h"
#include "rumble/delay.h"
#include "rumble/tone_tables.h"

namespace {

void SendNoteRumble(int note, int highLevel, int lowLevel)
{
    RumbleBytes rumble = FormRumbleBytes(note, highLevel, lowLevel);
    SendRumble(rumble.Bytes[0], rumble.Bytes[1], rumble.Bytes[2], rumble.Bytes[3]);
}

// Waits ms; false when an interrupt ended the wait, after which nothing more is sent.
bool WaitPlaying(int ms)
{
    DelayMs(ms);
    return !IsInterruptRequested();
}

}  // namespace

void PlayNote(int note, int count, int unit)
{
    for (int k = 0; k < count; ++k) {
        if (note < 0) {
            if (!WaitPlaying(unit)) return;
            continue;
        }
        const int highLevel = HighLevelByNote[note];
        const int lowLevel = LowLevelByNote[note];
        SendNoteRumble(note, highLevel, lowLevel);
        if (k < count - 1) {
            if (!WaitPlaying(unit)) return;
        } else {
            // The last half unit sounds softer, so that repeated notes stay apart.
            if (!WaitPlaying(unit / 2)) return;
            SendNoteRumble(note, highLevel / 2, lowLevel / 2);
            if (!WaitPlaying(unit / 2)) return;
        }
    }
}
