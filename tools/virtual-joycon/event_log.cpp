#include "event_log.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>

namespace vj {

namespace {

constexpr long long NanosecondsPerSecond = 1000000000LL;
constexpr const char* LogPathVariable = "TAVREL_VJ_LOG";

std::mutex LogLock;
std::once_flag LogOpened;
int LogFd = -1;

void WriteLine(const std::string& body)
{
    if (LogFd < 0) return;
    std::lock_guard<std::mutex> guard(LogLock);
    std::string line = std::to_string(MonotonicNs());
    line += ' ';
    line += body;
    line += '\n';
    const char* at = line.data();
    std::size_t left = line.size();
    while (left > 0) {
        const ssize_t done = write(LogFd, at, left);
        if (done <= 0) return;
        at += done;
        left -= static_cast<std::size_t>(done);
    }
}

}  // namespace

void OpenEventLog()
{
    std::call_once(LogOpened, [] {
        const char* path = std::getenv(LogPathVariable);
        if (path == nullptr || *path == '\0') return;
        LogFd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    });
}

long long MonotonicNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * NanosecondsPerSecond + now.tv_nsec;
}

void LogEvent(const char* text) { WriteLine(text); }

void LogReport(const char* kind, const unsigned char* bytes, std::size_t n)
{
    if (LogFd < 0) return;
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
