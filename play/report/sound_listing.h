// What --list says of a sound file: its format, rate, channels and length, and what the
// analysis found: the ranges each band moved in and how much was silent.
#pragma once

#include "play/schedule/report_schedule.h"
#include "play/sound/sound_rumble.h"

#include <cstdio>
#include <string>

void PrintSoundListing(std::FILE* out, const std::string& name, const std::string& controllers,
                       const SoundRumble& sound, const Schedule& schedule);
