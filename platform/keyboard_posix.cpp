#include "platform/keyboard.h"

#include <csignal>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int KeyboardFd = STDIN_FILENO;
constexpr unsigned char EscapeKey = 27;
// What an escape sequence (arrow and function keys) reads as: the prefix _getch gives for
// extended keys, so that such a key is not taken for Esc.
constexpr int ExtendedKeyPrefix = 0xE0;
constexpr int InterruptSignals[] = {SIGINT, SIGTERM, SIGQUIT, SIGHUP};
constexpr int InterruptSignalCount = sizeof InterruptSignals / sizeof InterruptSignals[0];

// Terminal state to restore; valid while TerminalChanged is set.
struct termios SavedTerminal;
volatile sig_atomic_t TerminalChanged = 0;
struct sigaction PreviousActions[InterruptSignalCount];

// One byte read ahead by IsKeyWaiting.
int PendingKey = -1;
bool InputEnded = false;

void RestoreTerminal()
{
    if (TerminalChanged) tcsetattr(KeyboardFd, TCSANOW, &SavedTerminal);
}

// Restores the terminal, then hands the signal on to the handler that was there before (which
// records the interrupt, or ends the process on a second one).
extern "C" void RestoreTerminalOnSignal(int signal)
{
    RestoreTerminal();
    for (int i = 0; i < InterruptSignalCount; ++i) {
        if (InterruptSignals[i] != signal) continue;
        const struct sigaction& previous = PreviousActions[i];
        if (previous.sa_handler == SIG_DFL) {
            std::signal(signal, SIG_DFL);
            raise(signal);
        } else if (previous.sa_handler != SIG_IGN) {
            previous.sa_handler(signal);
        }
    }
}

bool IsByteReady()
{
    struct pollfd request = {KeyboardFd, POLLIN, 0};
    return poll(&request, 1, 0) > 0 && (request.revents & (POLLIN | POLLHUP)) != 0;
}

// Reads one byte; -1 at end of input or on failure.
int ReadByte()
{
    unsigned char byte = 0;
    ssize_t got = read(KeyboardFd, &byte, 1);
    if (got == 1) return byte;
    if (got == 0) InputEnded = true;
    return -1;
}

}  // namespace

void BeginKeyReading()
{
    PendingKey = -1;
    InputEnded = false;
    if (!isatty(KeyboardFd) || tcgetattr(KeyboardFd, &SavedTerminal) != 0) return;

    struct sigaction action = {};
    action.sa_handler = RestoreTerminalOnSignal;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < InterruptSignalCount; ++i)
        sigaction(InterruptSignals[i], &action, &PreviousActions[i]);

    struct termios keys = SavedTerminal;
    keys.c_lflag &= static_cast<tcflag_t>(~(ICANON | ECHO));
    keys.c_cc[VMIN] = 1;
    keys.c_cc[VTIME] = 0;
    TerminalChanged = 1;
    tcsetattr(KeyboardFd, TCSANOW, &keys);
}

void EndKeyReading()
{
    if (!TerminalChanged) return;
    RestoreTerminal();
    TerminalChanged = 0;
    for (int i = 0; i < InterruptSignalCount; ++i)
        sigaction(InterruptSignals[i], &PreviousActions[i], nullptr);
}

bool IsKeyWaiting()
{
    if (PendingKey >= 0) return true;
    if (InputEnded || !IsByteReady()) return false;
    PendingKey = ReadByte();
    return PendingKey >= 0;
}

int ReadKey()
{
    int key = PendingKey;
    PendingKey = -1;
    if (key < 0) key = ReadByte();
    // On a terminal an escape sequence arrives at once; a lone Esc has nothing behind it.
    if (key == EscapeKey && TerminalChanged && IsByteReady()) {
        while (IsByteReady() && ReadByte() >= 0) {
        }
        return ExtendedKeyPrefix;
    }
    return key;
}
