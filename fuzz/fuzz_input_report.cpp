// Feeds arbitrary input reports of arbitrary lengths through PollInputReport and checks after
// every read that a full-size report is decoded from its bytes, that any other length leaves
// the decoded values alone and prints the length, and that a read that brought nothing
// changes nothing at all.
//
// The input is a series of reads. Each read is two bytes of length (little-endian, signed, so
// 0, 362, other sizes and negative values all occur), one byte k, then up to k bytes of report;
// the report is zero-padded to the full size as every backend does. This file holds the HID
// backend of the fuzzer: ReadReport hands out the current read.
#include "controller/hid.h"
#include "controller/link.h"
#include "fuzz/require.h"
#include "monitor/input_report.h"
#include "tests/support/core_state_reset.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int FuzzHandle = 7;

// The read ReadReport hands out next.
struct PendingReadRecord {
    const uint8_t* Bytes;
    size_t Size;
    int Length;
};
PendingReadRecord PendingRead;
int ReadCalls = 0;

// Standard output goes to a memory stream for the whole run (see fuzz_play_command.cpp).
char* PrintedBuffer = nullptr;
size_t PrintedSize = 0;

// The decoded fields, in the order the monitor prints them.
struct Fields {
    unsigned values[10];
};

Fields CurrentFields()
{
    const ControllerStateRecord& s = ControllerState;
    return {{s.Buttons1, s.Buttons2, s.Stick1, s.Stick2, s.Acc1, s.Acc2, s.Acc3, s.Gyr1, s.Gyr2,
             s.Gyr3}};
}

unsigned Word(const unsigned char* r, int low)
{
    return r[low] + 256u * r[low + 1];
}

Fields FieldsOfReport(const unsigned char* r)
{
    return {{r[3], r[4], r[9] + 256u * (r[10] % 16), r[10] / 16 + 16u * r[11], Word(r, 13),
             Word(r, 15), Word(r, 17), Word(r, 19), Word(r, 21), Word(r, 23)}};
}

bool SameFields(const Fields& a, const Fields& b)
{
    return std::memcmp(a.values, b.values, sizeof a.values) == 0;
}

void CheckOneRead(const uint8_t* bytes, size_t size, int length, size_t* printed)
{
    unsigned char bufferBefore[HidInputReportSize];
    std::memcpy(bufferBefore, ControllerLink.InputReport, sizeof bufferBefore);
    const Fields before = CurrentFields();
    const unsigned seenBefore = ControllerState.ReportSeen;

    PendingRead = {bytes, size, length};
    const int callsBefore = ReadCalls;
    PollInputReport();
    Require(ReadCalls == callsBefore + 1, "PollInputReport did not read exactly once");
    std::fflush(stdout);
    const char* output = PrintedBuffer + *printed;
    const size_t outputSize = PrintedSize - *printed;
    *printed = PrintedSize;

    const Fields after = CurrentFields();
    if (length == 0) {
        Require(outputSize == 0, "an empty read printed something");
        Require(ControllerState.ReportSeen == seenBefore, "an empty read changed ReportSeen");
        Require(SameFields(after, before), "an empty read changed a decoded field");
        Require(std::memcmp(bufferBefore, ControllerLink.InputReport, sizeof bufferBefore) == 0,
                "an empty read changed the report buffer");
        return;
    }

    unsigned char report[HidInputReportSize] = {};
    std::memcpy(report, bytes, size);
    Require(ControllerState.ReportSeen == report[0], "ReportSeen is not byte 0 of the report");
    Require(after.values[2] <= 0xFFF && after.values[3] <= 0xFFF, "a stick value exceeds 12 bits");
    if (length == HidInputReportSize) {
        Require(outputSize == 0, "a full-size report printed something");
        Require(SameFields(after, FieldsOfReport(report)), "decoded fields differ from the bytes");
    } else {
        char expected[16];
        const int expectedSize = std::snprintf(expected, sizeof expected, "%d\n", length);
        Require(outputSize == static_cast<size_t>(expectedSize)
                    && std::memcmp(output, expected, outputSize) == 0,
                "a short or long report did not print its length alone");
        Require(SameFields(after, before), "a report of the wrong length changed a decoded field");
    }
}

}  // namespace

int OpenHidHandle(int, int)
{
    return FuzzHandle;
}

int WriteReport(int, const unsigned char*, int* written)
{
    *written = HidOutputReportSize;
    return HidOutputReportSize;
}

// Stores the pending read as a backend does: from byte 0, zero-padded to the full size; a read
// of length 0 brought nothing and leaves the buffer as it was.
int ReadReport(int handle, unsigned char* report, int* length)
{
    Require(handle == FuzzHandle, "ReadReport got the wrong handle");
    ++ReadCalls;
    *length = PendingRead.Length;
    if (PendingRead.Length != 0) {
        std::memset(report, 0, HidInputReportSize);
        std::memcpy(report, PendingRead.Bytes, PendingRead.Size);
    }
    return *length;
}

int CloseHidHandle(int)
{
    return 0;
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    FILE* stream = open_memstream(&PrintedBuffer, &PrintedSize);
    if (stream == nullptr) std::abort();
    stdout = stream;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ResetControllerLink();
    ResetControllerState();
    ControllerLink.Handle = FuzzHandle;
    std::fseek(stdout, 0, SEEK_SET);
    std::fflush(stdout);
    size_t printed = 0;

    constexpr size_t HeaderSize = 3;
    size_t at = 0;
    while (size - at >= HeaderSize) {
        const int length = static_cast<int16_t>(data[at] | (data[at + 1] << 8));
        size_t reportSize = data[at + 2];
        at += HeaderSize;
        if (reportSize > size - at) reportSize = size - at;
        CheckOneRead(data + at, reportSize, length, &printed);
        at += reportSize;
    }
    return 0;
}
