// --list: what would be played and where, in the words of the music's own kind.
#pragma once

#include "play/schedule/performance_plan.h"

#include <cstdio>
#include <string>

void PrintMusicListing(std::FILE* out, const std::string& name, const Music& music, const Performance& performance);
