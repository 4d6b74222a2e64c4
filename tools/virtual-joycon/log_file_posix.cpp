#include "log_file.h"

#include "common/time_units.h"

#include <fcntl.h>
#include <unistd.h>

#include <ctime>

namespace vj {

namespace {
int LogFds[MaxLogFiles];
int LogFilesOpen = 0;
}  // namespace

long long MonotonicNs()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * NanosecondsPerSecond + now.tv_nsec;
}

int OpenLogFile(const char* path)
{
    if (LogFilesOpen == MaxLogFiles) return -1;
    const int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return -1;
    LogFds[LogFilesOpen] = fd;
    return LogFilesOpen++;
}

void AppendToLogFile(int file, const char* text, std::size_t length)
{
    if (file < 0 || file >= LogFilesOpen) return;
    while (length > 0) {
        const ssize_t done = write(LogFds[file], text, length);
        if (done <= 0) return;
        text += done;
        length -= static_cast<std::size_t>(done);
    }
}

}  // namespace vj
