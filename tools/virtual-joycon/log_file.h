// What the event log needs from the platform: a file that takes whole lines. Its clock,
// MonotonicNs (event_log.h), is defined beside these in log_file_<platform>.cpp.
#pragma once

#include <cstddef>

namespace vj {

// Opens path for the log, truncating it. False when it cannot be opened.
bool OpenLogFile(const char* path);

// Appends one whole line with a single write, so that lines never interleave.
void AppendToLogFile(const char* text, std::size_t length);

}  // namespace vj
