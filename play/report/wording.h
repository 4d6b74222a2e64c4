// Times and counts as people read and write them, for what tavrel-play prints and reads.
#pragma once

#include "controller/controller_kinds.h"

#include <string>
#include <vector>

// "1 note", "2 notes": a count with its noun, made plural by an s where it is not one.
std::string CountOf(long long count, const char* noun);

// "m:ss.mmm" for a time in microseconds.
std::string FormatPlayTime(long long us);

// A time as people write it: seconds ("95", "95.5"), or minutes and seconds ("1:35", "1:35.250"),
// or hours too ("1:02:03"). False for anything else, or a time longer than a day.
bool ParsePlayTime(const std::string& text, long long* us);

// "the right Joy-Con", "the right Joy-Con and the Pro Controller": the controllers as a message names them.
std::string NamesOf(const std::vector<const ControllerKind*>& kinds);
