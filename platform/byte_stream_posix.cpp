#include "platform/midi_input.h"

#include "platform/clock.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace {

// Bytes taken per read: a keyboard sends a few at a time; a file is read in larger steps.
constexpr std::size_t ReadChunkBytes = 4096;

struct StreamReader {
    int Fd = -1;
    bool OwnsFd = false;  // opened here, closed here; standard input is left open
    int WakeRead = -1;    // a byte here wakes the reader to stop
    int WakeWrite = -1;
    std::thread Thread;
    std::mutex Lock;      // held while a handler runs and while stopping
    bool Stopped = false;
};

StreamReader Reader;

void ReadStream(MidiBytesHandler bytes, MidiEndHandler end)
{
    unsigned char buffer[ReadChunkBytes];
    std::string failure;
    for (;;) {
        struct pollfd waits[2] = {{Reader.Fd, POLLIN, 0}, {Reader.WakeRead, POLLIN, 0}};
        // Sleeps until bytes come, the writer goes, or the stop's wake-up byte arrives.
        if (poll(waits, 2, -1) < 0) {
            if (errno == EINTR) continue;
            failure = std::string("waiting for input failed: ") + std::strerror(errno);
            break;
        }
        if (waits[1].revents != 0) return;
        const ssize_t got = read(Reader.Fd, buffer, sizeof buffer);
        const long long arrivedAt = ReadCounter();
        if (got < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            failure = std::string("reading failed: ") + std::strerror(errno);
            break;
        }
        if (got == 0) break;  // end of file, or the pipe's last writer closed it
        std::lock_guard<std::mutex> guard(Reader.Lock);
        if (Reader.Stopped) return;
        bytes(buffer, static_cast<std::size_t>(got), arrivedAt);
    }
    std::lock_guard<std::mutex> guard(Reader.Lock);
    if (!Reader.Stopped) end(failure);
}

}  // namespace

bool StartByteStreamInput(const std::string& path, const MidiBytesHandler& bytes, const MidiEndHandler& end,
                          std::string* failure)
{
    StopByteStreamInput();
    Reader.OwnsFd = path != "-";
    // Non-blocking, so that opening a named pipe does not wait for its writer; the reads wait in poll.
    Reader.Fd = Reader.OwnsFd ? open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : STDIN_FILENO;
    if (Reader.Fd < 0) {
        *failure = path + ": " + std::strerror(errno);
        return false;
    }
    int wake[2];
    if (pipe(wake) != 0) {
        *failure = std::string("no pipe to stop the reader with: ") + std::strerror(errno);
        if (Reader.OwnsFd) close(Reader.Fd);
        Reader.Fd = -1;
        return false;
    }
    Reader.WakeRead = wake[0];
    Reader.WakeWrite = wake[1];
    Reader.Stopped = false;
    Reader.Thread = std::thread(ReadStream, bytes, end);
    return true;
}

void StopByteStreamInput()
{
    if (Reader.Fd < 0) return;
    {
        std::lock_guard<std::mutex> guard(Reader.Lock);
        Reader.Stopped = true;
    }
    const unsigned char wake = 1;
    while (write(Reader.WakeWrite, &wake, 1) < 0 && errno == EINTR) {
    }
    if (Reader.Thread.joinable()) Reader.Thread.join();
    close(Reader.WakeRead);
    close(Reader.WakeWrite);
    if (Reader.OwnsFd) close(Reader.Fd);
    Reader.Fd = -1;
}
