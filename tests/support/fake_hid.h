// A HID backend for unit tests: it records every call and every written report with the time
// it was made on the test clock, and answers reads from a script.
#pragma once

#include "controller/hid.h"

#include <array>
#include <string>
#include <vector>

namespace fake_hid {

constexpr int OpenHandle = 3;

struct Event {
    enum Kind { Open, Write, Read, Close } kind;
    long long timeNs;                    // the test clock's counter (tests/test_clock.h)
    std::array<unsigned char, 256> bytes;  // Write: the whole buffer passed; Read: what was stored
    int length;                          // Read: the length returned
    int handle;                          // the handle the call was made on (Open: the one opened)
};

// Forgets all events and scripted answers; the next open succeeds unless SetDeviceAbsent.
void Reset();
void SetDeviceAbsent(bool absent);

// How many devices OpenNextHidHandle finds (1 after Reset); the k-th opened gets OpenHandle + k.
void SetDeviceCount(int count);

// Queues one answer for a later ReadReport: bytes (padded to the full size) and length.
// With no answer queued, a read brings nothing (length 0). An answer queued with afterWrites
// comes only once that many reports have been written and delayNs has passed on the test clock
// since the last of them, as a controller's reply; until then reads find nothing.
void QueueReadAnswer(const std::vector<unsigned char>& bytes, int length, int afterWrites = 0, long long delayNs = 0);

// An answer given to every read once the queue is empty, until Reset.
void SetRepeatedReadAnswer(const std::vector<unsigned char>& bytes, int length);

// Every read waits this long in real time before it answers (0 after Reset), as a device that
// is slow to send or a read that runs into its timeout. The read event's time is when the read
// began.
void SetReadDelayMs(int ms);

// Every write takes this long on the test clock (0 after Reset): the counter moves on by it
// after the write is recorded, as a write held up in the system.
void SetWriteDurationNs(long long ns);

// Every write to handle sleeps ms in real time after it is recorded (0 after Reset), as a write
// the system holds up; writes to other handles go on meanwhile.
void SetWriteStallMs(int handle, int ms);

// The bus ReadHidBus tells (Bluetooth after Reset).
void SetBus(HidBus bus);

// A read that waits (ReadReportWithin) and finds no answer due moves the test clock on: to
// when the next answer comes, when that is within the wait, else by the whole wait.

// The most reads that were in progress at one time since Reset (two threads reading at once).
int MostReadsAtOnce();

std::vector<Event> Events();
std::vector<Event> Writes();
int ReadCount();

// Event kinds in order, one letter each (O, W, R, C), for comparing call sequences.
std::string CallSequence();

}  // namespace fake_hid
