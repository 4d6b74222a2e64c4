// Feeds arbitrary command strings through PlayCommand and checks, after every command, that
// the player state stays within its bounds, that every played note is a rest or in the table,
// that the command had the effect a plain model of the language predicts, and that its echo
// line was printed.
//
// The input is split at NUL bytes into command strings; every other byte, high bytes and line
// feeds included, belongs to a command. The note player is the recording one, linked in place
// of the real one, so nothing waits.
#include "fuzz/require.h"
#include "playdata/play_command.h"
#include "playdata/player_state.h"
#include "rumble/tone_tables.h"
#include "tests/support/core_state_reset.h"
#include "tests/support/recording_note_player.h"

#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr char EchoPrefix[] = "play data = \"";
constexpr char EchoSuffix[] = "\"\n";

// Standard output goes to a memory stream for the whole run, so that every command's echo can
// be compared without a system call.
char* EchoBuffer = nullptr;
size_t EchoSize = 0;

// A decimal number as strtol reads it, held to the int range: the behaviour number reading
// must have. Returns false when no digits follow.
bool ModelNumber(const char* text, int* value)
{
    char* end = nullptr;
    const long long read = std::strtoll(text, &end, 10);
    if (end == text) return false;
    *value = read > INT_MAX ? INT_MAX : (read < INT_MIN ? INT_MIN : static_cast<int>(read));
    return true;
}

int Bound(int value, int low, int high)
{
    return value < low ? low : (value > high ? high : value);
}

int ModelStep(char letter)
{
    switch (std::tolower(static_cast<unsigned char>(letter))) {
    case 'c': return 3;
    case 'd': return 5;
    case 'e': return 7;
    case 'f': return 8;
    case 'g': return 10;
    case 'a': case 'h': return 12;
    default: return 14;  // 'b'
    }
}

struct Expectation {
    PlayerStateRecord state;
    bool plays;
    recording_note_player::Call call;
};

Expectation Predict(const char* text, const PlayerStateRecord& before)
{
    Expectation e{before, false, {0, 0, 0}};
    const char first = text[0];
    int number = 0;
    switch (first) {
    case '<': e.state.Octave = Bound(before.Octave - 1, 1, 5); break;
    case '>': e.state.Octave = Bound(before.Octave + 1, 1, 5); break;
    case 't': case 'T':
        if (ModelNumber(text + 1, &number)) e.state.UnitMs = number;
        if (e.state.UnitMs <= 0) e.state.UnitMs = 100;
        break;
    case 'l': case 'L':
        e.state.DefaultLength =
            Bound(ModelNumber(text + 1, &number) ? number : before.DefaultLength, 1, 16);
        break;
    case 'o': case 'O':
        e.state.Octave = Bound(ModelNumber(text + 1, &number) ? number : before.Octave, 1, 5);
        break;
    case 'r': case 'R':
        e.plays = true;
        e.call = {RestNote, ModelNumber(text + 1, &number) ? number : before.DefaultLength,
                  before.UnitMs};
        break;
    default:
        if (std::strchr("abcdefghABCDEFGH", first) != nullptr && first != '\0') {
            int index = (before.Octave - 1) * 12 + ModelStep(first);
            const char* rest = text + 1;
            if (*rest == '+' || *rest == '-') index += (*rest++ == '+') ? 1 : -1;
            if (index < 0 || index > NoteCount - 1) index = RestNote;
            e.plays = true;
            e.call = {index, ModelNumber(rest, &number) ? number : before.DefaultLength,
                      before.UnitMs};
        }
        break;
    }
    return e;
}

void CheckEcho(const char* text, size_t length, size_t* echoed)
{
    std::fflush(stdout);
    const size_t prefix = sizeof EchoPrefix - 1;
    const size_t suffix = sizeof EchoSuffix - 1;
    Require(EchoSize - *echoed == prefix + length + suffix, "echo line has the wrong length");
    const char* line = EchoBuffer + *echoed;
    Require(std::memcmp(line, EchoPrefix, prefix) == 0, "echo line lacks its prefix");
    Require(std::memcmp(line + prefix, text, length) == 0, "echo line misquotes the command");
    Require(std::memcmp(line + prefix + length, EchoSuffix, suffix) == 0,
            "echo line lacks its closing quote and line feed");
    *echoed = EchoSize;
}

void CheckCommand(const char* text, size_t length, size_t* echoed)
{
    const PlayerStateRecord before = PlayerState;
    recording_note_player::Calls.clear();
    PlayCommand(text);

    CheckEcho(text, length, echoed);

    const PlayerStateRecord& after = PlayerState;
    Require(after.UnitMs >= 1, "UnitMs below 1");
    Require(after.DefaultLength >= 1 && after.DefaultLength <= 16, "DefaultLength out of 1-16");
    Require(after.Octave >= 1 && after.Octave <= 5, "Octave out of 1-5");
    for (const recording_note_player::Call& call : recording_note_player::Calls) {
        Require(call.note == RestNote || (call.note >= 0 && call.note < NoteCount),
                "note index outside the table");
    }

    const Expectation expected = Predict(text, before);
    Require(after.UnitMs == expected.state.UnitMs && after.DefaultLength == expected.state.DefaultLength
                && after.Octave == expected.state.Octave,
            "player state differs from the model");
    Require(recording_note_player::Calls.size() == (expected.plays ? 1u : 0u),
            "wrong number of notes played");
    if (expected.plays) {
        Require(recording_note_player::Calls[0] == expected.call, "note played differs from the model");
    }
}

}  // namespace

// Every command allocates; a smaller quarantine keeps the memory of a long run modest while
// still catching use after free.
extern "C" const char* __asan_default_options()
{
    return "quarantine_size_mb=64";
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FILE* stream = open_memstream(&EchoBuffer, &EchoSize);
    if (stream == nullptr) std::abort();
    stdout = stream;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ResetPlayerState();
    std::fseek(stdout, 0, SEEK_SET);
    std::fflush(stdout);
    size_t echoed = 0;

    size_t start = 0;
    while (start <= size) {
        const uint8_t* nul = start < size
            ? static_cast<const uint8_t*>(std::memchr(data + start, 0, size - start)) : nullptr;
        const size_t end = nul != nullptr ? static_cast<size_t>(nul - data) : size;
        // Each command gets a heap block of its exact size, so a read past its NUL is caught.
        std::vector<char> text(end - start + 1, '\0');
        if (end > start) std::memcpy(text.data(), data + start, end - start);
        CheckCommand(text.data(), end - start, &echoed);
        start = end + 1;
    }
    return 0;
}
