#include "platform/midi_input.h"

#include "platform/clock.h"

#include <mutex>
#include <windows.h>

namespace {

constexpr DWORD ReadChunkBytes = 4096;
// How long a stop waits for the reader to leave a read it has cancelled.
constexpr DWORD StopWaitMs = 500;

struct StreamReader {
    HANDLE File = INVALID_HANDLE_VALUE;
    bool OwnsFile = false;  // opened here, closed here; standard input is left open
    HANDLE Thread = nullptr;
    std::mutex Lock;        // held while a handler runs and while stopping
    bool Stopped = false;
    MidiBytesHandler Bytes;
    MidiEndHandler End;
};

StreamReader Reader;

std::string SystemMessage(DWORD error)
{
    char text[256] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, sizeof text,
                   nullptr);
    std::string message(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

// Reads until the end of the stream; a pipe whose writer closed it ends it too.
DWORD WINAPI ReadStream(LPVOID)
{
    unsigned char buffer[ReadChunkBytes];
    std::string failure;
    for (;;) {
        DWORD got = 0;
        const BOOL read = ReadFile(Reader.File, buffer, sizeof buffer, &got, nullptr);
        const long long arrivedAt = ReadCounter();
        if (!read) {
            const DWORD error = GetLastError();
            if (error == ERROR_OPERATION_ABORTED) return 0;  // the stop cancelled the read
            if (error != ERROR_BROKEN_PIPE && error != ERROR_HANDLE_EOF && error != ERROR_PIPE_NOT_CONNECTED)
                failure = "reading failed: " + SystemMessage(error);
            break;
        }
        if (got == 0) break;
        std::lock_guard<std::mutex> guard(Reader.Lock);
        if (Reader.Stopped) return 0;
        Reader.Bytes(buffer, got, arrivedAt);
    }
    std::lock_guard<std::mutex> guard(Reader.Lock);
    if (!Reader.Stopped) Reader.End(failure);
    return 0;
}

}  // namespace

bool StartByteStreamInput(const std::string& path, const MidiBytesHandler& bytes, const MidiEndHandler& end,
                          std::string* failure)
{
    StopByteStreamInput();
    Reader.OwnsFile = path != "-";
    Reader.File = Reader.OwnsFile ? CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                                  : GetStdHandle(STD_INPUT_HANDLE);
    if (Reader.File == INVALID_HANDLE_VALUE || Reader.File == nullptr) {
        *failure = path + ": " + SystemMessage(GetLastError());
        Reader.File = INVALID_HANDLE_VALUE;
        return false;
    }
    Reader.Bytes = bytes;
    Reader.End = end;
    Reader.Stopped = false;
    Reader.Thread = CreateThread(nullptr, 0, ReadStream, nullptr, 0, nullptr);
    if (Reader.Thread == nullptr) {
        *failure = "no thread to read " + path + " with: " + SystemMessage(GetLastError());
        if (Reader.OwnsFile) CloseHandle(Reader.File);
        Reader.File = INVALID_HANDLE_VALUE;
        return false;
    }
    return true;
}

void StopByteStreamInput()
{
    if (Reader.Thread == nullptr) return;
    {
        std::lock_guard<std::mutex> guard(Reader.Lock);
        Reader.Stopped = true;
    }
    // A read of a pipe or a console waits until bytes come: cancel it. A reader that still does
    // not leave is left behind; it calls no handler again and ends with the process.
    CancelSynchronousIo(Reader.Thread);
    if (WaitForSingleObject(Reader.Thread, StopWaitMs) == WAIT_OBJECT_0 && Reader.OwnsFile) CloseHandle(Reader.File);
    CloseHandle(Reader.Thread);
    Reader.Thread = nullptr;
    Reader.File = INVALID_HANDLE_VALUE;
}
