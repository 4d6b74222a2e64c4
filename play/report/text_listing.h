// What --list prints: the voices, their notes and length, the reports, and what cannot sound.
#pragma once

#include "play/arrange/piece.h"
#include "play/schedule/report_schedule.h"

#include <cstdio>
#include <string>

void PrintListing(std::FILE* out, const std::string& name, const std::string& controllers, const Piece& piece,
                  const Schedule& schedule);

// "1 note", "2 notes": a count with its noun, made plural by an s where it is not one.
std::string CountOf(long long count, const char* noun);

// "m:ss.mmm" for a time in microseconds.
std::string FormatPlayTime(long long us);
