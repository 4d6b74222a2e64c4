#include "event_log.h"

#include "log_file.h"

#include <cstdlib>
#include <mutex>
#include <string>

namespace vj {

namespace {

constexpr const char* LogPathVariable = "TAVREL_VJ_LOG";

std::mutex LogLock;
std::once_flag LogOpened;
bool LogOpen = false;

void WriteLine(const std::string& body)
{
    if (!LogOpen) return;
    std::lock_guard<std::mutex> guard(LogLock);
    std::string line = std::to_string(MonotonicNs());
    line += ' ';
    line += body;
    line += '\n';
    AppendToLogFile(line.data(), line.size());
}

}  // namespace

void StartEventLog()
{
    std::call_once(LogOpened, [] {
        const char* path = std::getenv(LogPathVariable);
        if (path == nullptr || *path == '\0') return;
        LogOpen = OpenLogFile(path);
    });
}

void LogEvent(const char* text) { WriteLine(text); }

void LogReport(const char* kind, const unsigned char* bytes, std::size_t n)
{
    if (!LogOpen) return;
    static const char Digits[] = "0123456789abcdef";
    std::string body = kind;
    body += ' ';
    body += std::to_string(n);
    body += ' ';
    for (std::size_t i = 0; i < n; ++i) {
        body += Digits[bytes[i] >> 4];
        body += Digits[bytes[i] & 0xF];
    }
    WriteLine(body);
}

}  // namespace vj
