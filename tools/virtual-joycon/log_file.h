// What the event log needs from the platform: a file that takes whole lines. Its clock,
// MonotonicNs (event_log.h), is defined beside these in log_file_<platform>.cpp.
#pragma once

#include <cstddef>

namespace vj {

constexpr int MaxLogFiles = 4;  // one per virtual device

// Opens path for a log, truncating it. The file's number (0 to MaxLogFiles - 1), or -1 when it
// cannot be opened.
int OpenLogFile(const char* path);

// Appends one whole line to file with a single write, so that lines never interleave.
void AppendToLogFile(int file, const char* text, std::size_t length);

}  // namespace vj
