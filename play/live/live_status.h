// The status line of live playing: what each band of each controller plays now, by note name,
// rewritten in place on a terminal.
#pragma once

#include "play/live/live_voices.h"

#include <cstdio>
#include <string>
#include <vector>

// "A4", "C#3": the name of a MIDI key (60 is C4).
std::string NameOfKey(int key);

// "right Joy-Con E5 C3 | Pro Controller L: A4 - R: A4 -": each actuator's high band, then its
// low band, "-" where a band is silent. names: each controller's.
std::string FormLiveStatus(const std::vector<LiveBand>& bands, const std::vector<std::string>& names);

// Writes text over the line written before, blanking what is left of a longer one.
void ShowStatusLine(std::FILE* out, const std::string& text, std::size_t* shownLength);
