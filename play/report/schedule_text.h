// --schedule: every report's due time and rumble bytes as text, the tests' and tools' view of
// exactly what a controller would be sent.
#pragma once

#include "play/schedule/performance_plan.h"

#include <cstdio>

// Each report's due time and bytes (the right actuator's too where they differ), then the
// length; with several controllers, each under a line that names it.
void PrintSchedules(std::FILE* out, const Performance& performance);
