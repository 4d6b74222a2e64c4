// The virtual controller's event log: one line per event, "<ns> <event>", written whole with
// a single write so that lines from several threads never interleave.
#pragma once

#include <cstddef>

namespace vj {

// Opens (truncating) the file named by TAVREL_VJ_LOG on the first call; later calls do
// nothing. Without the variable nothing is logged. That file is the first device's log; the
// log of device k (from 0) is the same name with ".k+1" appended (log.2, log.3, ...), opened
// on its first line.
void StartEventLog();

// The time base of the log in nanoseconds: CLOCK_MONOTONIC on POSIX, the performance counter
// on Windows (the clock the programs' own waits run on).
long long MonotonicNs();

// Logs "<ns> <text>" in the first device's log, the time taken under the log's lock so that
// lines are in time order.
void LogEvent(const char* text);
void LogEventOn(int device, const char* text);

// Logs "<ns> <kind> <n> <hex of bytes>".
void LogReport(const char* kind, const unsigned char* bytes, std::size_t n);
void LogReportOn(int device, const char* kind, const unsigned char* bytes, std::size_t n);

}  // namespace vj
