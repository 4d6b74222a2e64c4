// Reading the call log a virtual controller writes: one event a line, fields separated by
// one space, the first field the event time in integer nanoseconds.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

// Other: what a strict virtual controller notes besides (a fault, a dropped subcommand).
enum class LogEventKind { Open, Write, Deliver, Timeout, Fail, Close, Other };

struct LogEvent {
    std::int64_t TimeNs;
    LogEventKind Kind;
    std::vector<unsigned char> Bytes;  // the report of a write or deliver event
    long Line;                         // line number in the log, from 1
    int ProductId;                     // of an open event
};

struct EventLog {
    std::vector<LogEvent> Events;        // the well-formed lines, in order
    std::vector<std::string> Problems;   // "line N: why", one per skipped line
};

// Largest report a write or deliver line may carry.
constexpr int MaxLoggedReportSize = 4096;

// Reads every line of the log. Lines that are malformed, or whose time runs backwards, are
// skipped and noted in Problems with their line number; empty lines are skipped silently.
EventLog ReadEventLog(std::istream& in);
