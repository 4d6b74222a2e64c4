#include "log_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

namespace vj {

namespace {
constexpr long long NanosecondsPerSecond = 1000000000LL;
int LogFd = -1;
}  // namespace

long long MonotonicNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * NanosecondsPerSecond + now.tv_nsec;
}

bool OpenLogFile(const char* path)
{
    LogFd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    return LogFd >= 0;
}

void AppendToLogFile(const char* text, std::size_t length)
{
    while (LogFd >= 0 && length > 0) {
        const ssize_t done = write(LogFd, text, length);
        if (done <= 0) return;
        text += done;
        length -= static_cast<std::size_t>(done);
    }
}

}  // namespace vj
