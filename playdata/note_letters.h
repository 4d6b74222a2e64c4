// The semitone steps of the note letters, shared by the interpreter and the text reader.
#pragma once

// Semitone step of a note letter "a" to "h" in either case: c 3, d 5, e 7, f 8, g 10, a 12,
// b 14; h is a.
int NoteStep(char letter);
