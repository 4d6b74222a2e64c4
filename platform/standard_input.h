// Standard input read as bytes: on Windows the C library reads it as text unless told (it would
// turn CR LF into LF and stop at Ctrl-Z), which corrupts a MIDI or WAV file given as "-".
#pragma once

void ReadStandardInputAsBytes();
