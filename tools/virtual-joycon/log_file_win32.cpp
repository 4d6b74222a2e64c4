#include "log_file.h"

#include <windows.h>

namespace vj {

namespace {
constexpr long long NanosecondsPerSecond = 1000000000LL;
HANDLE LogFile = INVALID_HANDLE_VALUE;
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

bool OpenLogFile(const char* path)
{
    // Appending data only, so that every write lands at the end whoever else has it open.
    LogFile = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return LogFile != INVALID_HANDLE_VALUE;
}

void AppendToLogFile(const char* text, std::size_t length)
{
    if (LogFile == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    WriteFile(LogFile, text, static_cast<DWORD>(length), &written, nullptr);
}

}  // namespace vj
