#include "tools/preview/event_log.h"

#include <limits>

namespace {

std::vector<std::string> SplitFields(const std::string& line)
{
    std::vector<std::string> fields;
    std::string field;
    for (char c : line) {
        if (c == ' ') {
            fields.push_back(field);
            field.clear();
        } else {
            field += c;
        }
    }
    fields.push_back(field);
    return fields;
}

// A non-negative decimal number that fits in int64; false for anything else.
bool ParseDecimal(const std::string& text, std::int64_t& value)
{
    if (text.empty()) return false;
    std::int64_t result = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        const int digit = c - '0';
        if (result > (std::numeric_limits<std::int64_t>::max() - digit) / 10) return false;
        result = result * 10 + digit;
    }
    value = result;
    return true;
}

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads "<n> <hex>" into bytes; returns an empty string or the reason it is malformed.
std::string ParseReport(const std::vector<std::string>& fields, std::vector<unsigned char>& bytes)
{
    if (fields.size() != 4) return "expected a length and the report bytes";
    std::int64_t length = 0;
    if (!ParseDecimal(fields[2], length) || length < 1 || length > MaxLoggedReportSize) {
        return "bad report length '" + fields[2] + "'";
    }
    const std::string& hex = fields[3];
    if (static_cast<std::int64_t>(hex.size()) != 2 * length) {
        return "report has " + std::to_string(hex.size()) + " hex digits, length says " +
               std::to_string(2 * length);
    }
    bytes.clear();
    for (std::size_t i = 0; i < hex.size(); i += 2) {
        const int high = HexDigitValue(hex[i]);
        const int low = HexDigitValue(hex[i + 1]);
        if (high < 0 || low < 0) return "report bytes are not hex";
        bytes.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    return "";
}

// Parses one line into event; returns an empty string or the reason it is malformed.
std::string ParseLine(const std::string& line, LogEvent& event)
{
    const std::vector<std::string> fields = SplitFields(line);
    if (fields.size() < 2) return "expected a time and an event";
    if (!ParseDecimal(fields[0], event.TimeNs)) return "bad time '" + fields[0] + "'";
    const std::string& kind = fields[1];
    event.Bytes.clear();
    if (kind == "open") {
        event.Kind = LogEventKind::Open;
        if (fields.size() != 5 || (fields[4] != "ok" && fields[4] != "absent")) {
            return "expected 'open <vendor> <product> ok|absent'";
        }
        event.ProductId = 0;
        for (char c : fields[3]) {
            const int digit = HexDigitValue(c);
            if (digit < 0 || event.ProductId > 0xFFF) return "bad product ID '" + fields[3] + "'";
            event.ProductId = event.ProductId * 16 + digit;
        }
    } else if (kind == "write" || kind == "deliver") {
        event.Kind = kind == "write" ? LogEventKind::Write : LogEventKind::Deliver;
        return ParseReport(fields, event.Bytes);
    } else if (kind == "timeout") {
        event.Kind = LogEventKind::Timeout;
        std::int64_t ms = 0;
        if (fields.size() != 3 || !ParseDecimal(fields[2], ms)) return "expected 'timeout <ms>'";
    } else if (kind == "fail") {
        event.Kind = LogEventKind::Fail;
        if (fields.size() != 3) return "expected 'fail <call>'";
    } else if (kind == "fault" || kind == "drop") {
        event.Kind = LogEventKind::Other;
    } else if (kind == "close") {
        event.Kind = LogEventKind::Close;
        if (fields.size() != 2) return "expected nothing after 'close'";
    } else {
        return "unknown event '" + kind + "'";
    }
    return "";
}

}  // namespace

EventLog ReadEventLog(std::istream& in)
{
    EventLog log;
    std::string line;
    long lineNumber = 0;
    while (std::getline(in, line)) {
        ++lineNumber;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        LogEvent event{};
        event.Line = lineNumber;
        std::string problem = ParseLine(line, event);
        if (problem.empty() && !log.Events.empty() && event.TimeNs < log.Events.back().TimeNs) {
            problem = "time runs backwards";
        }
        if (!problem.empty()) {
            log.Problems.push_back("line " + std::to_string(lineNumber) + ": " + problem);
            continue;
        }
        log.Events.push_back(std::move(event));
    }
    return log;
}
