// What --list prints for a rumble file: its format, rate, length and loop, how loud it gets,
// what was lowered to the safe maximum, and the reports that stream it.
#pragma once

#include "play/readers/rumble_stream.h"
#include "play/schedule/report_schedule.h"

#include <cstdio>
#include <string>

void PrintStreamListing(std::FILE* out, const std::string& name, const std::string& controllers,
                        const RumbleStream& stream, const Schedule& schedule);
