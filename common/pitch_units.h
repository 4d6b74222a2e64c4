// Steps of pitch that every layer counts in.
#pragma once

constexpr int SemitonesPerOctave = 12;
