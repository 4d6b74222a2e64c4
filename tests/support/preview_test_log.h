// Builds call logs for the preview tool's tests, line by line, the way a virtual controller
// writes them: "<ns> <event> ...", rumble reports as 49 bytes of lower-case hex.
#pragma once

#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "tools/preview/event_log.h"

struct TestLog {
    std::string Text;
    std::int64_t NowNs = 5000000000;  // an arbitrary start: times are relative to the first event
    int Packet = 0;
};

constexpr std::int64_t TestMs = 1000000;

inline std::string HexOfReport(const std::vector<unsigned char>& bytes)
{
    std::string hex;
    char digits[3];
    for (unsigned char b : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", b);
        hex += digits;
    }
    return hex;
}

inline void AddLine(TestLog& log, const std::string& rest)
{
    log.Text += std::to_string(log.NowNs) + " " + rest + "\n";
}

inline void AddWrite(TestLog& log, std::vector<unsigned char> bytes)
{
    bytes.resize(49, 0);
    AddLine(log, "write 49 " + HexOfReport(bytes));
}

inline void AddRumble(TestLog& log, unsigned char r0, unsigned char r1, unsigned char r2,
                      unsigned char r3)
{
    log.Packet = (log.Packet + 1) % 16;
    AddWrite(log, {0x10, static_cast<unsigned char>(log.Packet), r0, r1, r2, r3, r0, r1, r2, r3});
}

inline void AddSubcommand(TestLog& log, unsigned char id, unsigned char argument)
{
    log.Packet = (log.Packet + 1) % 16;
    AddWrite(log, {0x01, static_cast<unsigned char>(log.Packet), 0, 0, 0, 0, 0, 0, 0, 0, id,
                   argument});
}

inline void Wait(TestLog& log, std::int64_t ms)
{
    log.NowNs += ms * TestMs;
}

// Rumble bytes of two notes at loud and soft levels, as the player forms them.
struct TestNote {
    unsigned char Loud[4];
    unsigned char Soft[4];
};
// 329.6 Hz note (high code 260, low code 0x61): levels 4 and 2.
constexpr TestNote NoteE = {{0x04, 0x75, 0x61, 0x5D}, {0x04, 0x39, 0x61, 0x4E}};
// 110 Hz note (high code 0x38, low code 0x2E): levels 10 and 5.
constexpr TestNote NoteA = {{0x38, 0xC8, 0x2E, 0x72}, {0x38, 0x88, 0x2E, 0x62}};

// A note of count units as the player sends it: a loud report each unit, the last unit's
// second half soft.
inline void AddNote(TestLog& log, const TestNote& note, int count, int unitMs)
{
    for (int k = 0; k < count; ++k) {
        AddRumble(log, note.Loud[0], note.Loud[1], note.Loud[2], note.Loud[3]);
        if (k < count - 1) {
            Wait(log, unitMs);
        } else {
            Wait(log, unitMs / 2);
            AddRumble(log, note.Soft[0], note.Soft[1], note.Soft[2], note.Soft[3]);
            Wait(log, unitMs - unitMs / 2);
        }
    }
}

inline void AddSilence(TestLog& log)
{
    AddRumble(log, 0x3C, 0x00, 0x2F, 0x40);
}

inline EventLog ReadTestLog(const TestLog& log)
{
    std::istringstream in(log.Text);
    return ReadEventLog(in);
}
