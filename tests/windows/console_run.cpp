// Runs a program in this process's console, as cmd would, and reports on it for a test: the
// console control events this process received (it shares the console, so it receives what the
// program receives), the program's exit status, and optionally the console's screen text.
// Usage: console_run REPORT [--out FILE] [--err FILE] [--screen FILE] -- PROGRAM [ARGUMENTS...]
// REPORT gets "started", then one "event N" line per control event, then "status N".
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr int UsageStatus = 64;
constexpr int StartFailedStatus = 65;
// How long a console-close request waits for the program to finish its restore and exit;
// Windows ends the processes about 5 s after a close.
constexpr DWORD CloseWaitMs = 4500;

HANDLE Report = INVALID_HANDLE_VALUE;
HANDLE Program = nullptr;
CRITICAL_SECTION ReportLock;
std::atomic<bool> StatusNoted{false};

void Note(const std::string& line)
{
    EnterCriticalSection(&ReportLock);
    const std::string text = line + "\n";
    DWORD written = 0;
    WriteFile(Report, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    FlushFileBuffers(Report);
    LeaveCriticalSection(&ReportLock);
}

// Once: by the close handler when the program ended within its wait, else by main.
void NoteStatus()
{
    DWORD status = 0;
    if (!GetExitCodeProcess(Program, &status) || status == STILL_ACTIVE) return;
    if (!StatusNoted.exchange(true)) Note("status " + std::to_string(status));
}

// Every event is recorded and handled here, so that this process lives to report the status.
BOOL WINAPI RecordControlEvent(DWORD event)
{
    Note("event " + std::to_string(event));
    if (event == CTRL_CLOSE_EVENT && Program != nullptr) {
        WaitForSingleObject(Program, CloseWaitMs);
        NoteStatus();
    }
    return TRUE;
}

HANDLE OpenForWriting(const char* path)
{
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    return CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// A command line argument quoted as the C runtime splits it.
std::string Quoted(const char* argument)
{
    std::string quoted = "\"";
    for (const char* c = argument; *c != '\0'; ++c) {
        if (*c == '"') quoted += '\\';
        quoted += *c;
    }
    return quoted + "\"";
}

// The console's visible lines, trailing blanks cut.
void SaveScreen(const char* path)
{
    HANDLE screen = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (screen == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(screen, &info)) return;
    std::string text;
    for (SHORT row = 0; row <= info.dwCursorPosition.Y; ++row) {
        std::string line(static_cast<std::size_t>(info.dwSize.X), ' ');
        DWORD read = 0;
        ReadConsoleOutputCharacterA(screen, &line[0], static_cast<DWORD>(line.size()), COORD{0, row}, &read);
        line.resize(read);
        line.erase(line.find_last_not_of(' ') + 1);
        text += line + "\n";
    }
    CloseHandle(screen);
    HANDLE file = OpenForWriting(path);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
}

}  // namespace

int main(int argc, char** argv)
{
    const char* out = nullptr;
    const char* err = nullptr;
    const char* screen = nullptr;
    int first = 2;
    for (; first + 1 < argc && std::strcmp(argv[first], "--") != 0; first += 2) {
        if (std::strcmp(argv[first], "--out") == 0) out = argv[first + 1];
        else if (std::strcmp(argv[first], "--err") == 0) err = argv[first + 1];
        else if (std::strcmp(argv[first], "--screen") == 0) screen = argv[first + 1];
        else break;
    }
    if (argc < 2 || first + 1 >= argc || std::strcmp(argv[first], "--") != 0) {
        std::fprintf(stderr, "usage: console_run REPORT [--out FILE] [--err FILE] [--screen FILE] -- PROGRAM [ARGUMENTS...]\n");
        return UsageStatus;
    }
    InitializeCriticalSection(&ReportLock);
    Report = CreateFileA(argv[1], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    SetConsoleCtrlHandler(RecordControlEvent, TRUE);

    std::string commandLine;
    for (int i = first + 1; i < argc; ++i) commandLine += (commandLine.empty() ? "" : " ") + Quoted(argv[i]);
    STARTUPINFOA start{};
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    start.hStdOutput = out != nullptr ? OpenForWriting(out) : GetStdHandle(STD_OUTPUT_HANDLE);
    start.hStdError = err != nullptr ? OpenForWriting(err) : GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(nullptr, &commandLine[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &start, &process)) {
        Note("start failed " + std::to_string(GetLastError()));
        return StartFailedStatus;
    }
    Program = process.hProcess;
    Note("started");
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    GetExitCodeProcess(process.hProcess, &status);
    if (screen != nullptr) SaveScreen(screen);
    NoteStatus();
    return static_cast<int>(status);
}
