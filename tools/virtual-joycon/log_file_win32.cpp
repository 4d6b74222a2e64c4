#include "log_file.h"

#include "common/time_units.h"

#include <windows.h>

namespace vj {

namespace {
HANDLE LogFiles[MaxLogFiles];
int LogFilesOpen = 0;
}  // namespace

long long MonotonicNs()
{
    LARGE_INTEGER frequency;
    LARGE_INTEGER now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&now);
    // Whole seconds and the remainder apart, so that the product cannot overflow.
    const long long seconds = now.QuadPart / frequency.QuadPart;
    const long long rest = now.QuadPart % frequency.QuadPart;
    return seconds * NanosecondsPerSecond + rest * NanosecondsPerSecond / frequency.QuadPart;
}

int OpenLogFile(const char* path)
{
    if (LogFilesOpen == MaxLogFiles) return -1;
    // Appending data only, so that every write lands at the end whoever else has it open.
    const HANDLE file = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return -1;
    LogFiles[LogFilesOpen] = file;
    return LogFilesOpen++;
}

void AppendToLogFile(int file, const char* text, std::size_t length)
{
    if (file < 0 || file >= LogFilesOpen) return;
    DWORD written = 0;
    WriteFile(LogFiles[file], text, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace vj
