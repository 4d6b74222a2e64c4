// What --list prints: the voices, their notes and length, the reports, and what cannot sound.
#pragma once

#include "play/arrange/piece.h"
#include "play/schedule/report_schedule.h"

#include <cstdio>
#include <string>

void PrintListing(std::FILE* out, const std::string& name, const std::string& controllers, const Piece& piece,
                  const Schedule& schedule);
