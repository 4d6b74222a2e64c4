// Plays one note or rest as timed rumble reports.
#pragma once

// Plays note (NoteIndex 0-59, or RestNote) for count units of unit milliseconds. Every unit
// sends one report at the note's level; the last unit's second half is sent at half level.
// A count of 0 or less plays nothing. Stops early when an interrupt is requested.
void PlayNote(int note, int count, int unit);
