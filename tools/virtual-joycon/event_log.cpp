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
std::string LogPath;              // empty: nothing is logged
int LogFileOfDevice[MaxLogFiles];  // -1: not opened (yet, or it could not be)
bool LogTried[MaxLogFiles] = {};

// The log of device, opened on its first line. Called under LogLock.
int LogFileOf(int device)
{
    if (LogPath.empty() || device < 0 || device >= MaxLogFiles) return -1;
    if (!LogTried[device]) {
        LogTried[device] = true;
        const std::string path = device == 0 ? LogPath : LogPath + "." + std::to_string(device + 1);
        LogFileOfDevice[device] = OpenLogFile(path.c_str());
    }
    return LogFileOfDevice[device];
}

void WriteLine(int device, const std::string& body)
{
    if (LogPath.empty()) return;
    std::lock_guard<std::mutex> guard(LogLock);
    std::string line = std::to_string(MonotonicNs());
    line += ' ';
    line += body;
    line += '\n';
    AppendToLogFile(LogFileOf(device), line.data(), line.size());
}

}  // namespace

void StartEventLog()
{
    std::call_once(LogOpened, [] {
        const char* path = std::getenv(LogPathVariable);
        if (path == nullptr || *path == '\0') return;
        LogPath = path;
        std::lock_guard<std::mutex> guard(LogLock);
        LogFileOf(0);  // the first device's log exists (truncated) even when nothing opens
    });
}

void LogEvent(const char* text) { WriteLine(0, text); }

void LogEventOn(int device, const char* text) { WriteLine(device, text); }

void LogReport(const char* kind, const unsigned char* bytes, std::size_t n) { LogReportOn(0, kind, bytes, n); }

void LogReportOn(int device, const char* kind, const unsigned char* bytes, std::size_t n)
{
    if (LogPath.empty()) return;
    static const char Digits[] = "0123456789abcdef";
    std::string body = kind;
    body += ' ';
    body += std::to_string(n);
    body += ' ';
    for (std::size_t i = 0; i < n; ++i) {
        body += Digits[bytes[i] >> 4];
        body += Digits[bytes[i] & 0xF];
    }
    WriteLine(device, body);
}

}  // namespace vj
