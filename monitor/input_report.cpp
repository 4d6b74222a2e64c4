#include "monitor/input_report.h"

#include "common/byte_order.h"
#include "controller/link.h"

#include <cstdio>

namespace {

// Byte positions in an input report (report ID in byte 0, ReportIdByte).
constexpr int Buttons1Byte = 3;
constexpr int Buttons2Byte = 4;
constexpr int StickFirstByte = 9;    // Stick1 low 8 bits
constexpr int StickSharedByte = 10;  // low nibble: Stick1 bits 8-11; high nibble: Stick2 bits 0-3
constexpr int StickLastByte = 11;    // Stick2 bits 4-11
constexpr int Acc1Byte = 13;
constexpr int Acc2Byte = 15;
constexpr int Acc3Byte = 17;
constexpr int Gyr1Byte = 19;
constexpr int Gyr2Byte = 21;
constexpr int Gyr3Byte = 23;

constexpr unsigned LowNibble = 0x0F;
constexpr int NibbleBits = 4;

// Little-endian, unsigned: the raw sensor value without sign extension.
unsigned short ReadWord(const unsigned char* report, int lowByte)
{
    return static_cast<unsigned short>(LittleEndianAt(report + lowByte, 2));
}

void DecodeReport(const unsigned char* report)
{
    ControllerState.Buttons1 = report[Buttons1Byte];
    ControllerState.Buttons2 = report[Buttons2Byte];
    ControllerState.Stick1 = static_cast<unsigned short>(
        report[StickFirstByte] | ((report[StickSharedByte] & LowNibble) << BitsPerByte));
    ControllerState.Stick2 = static_cast<unsigned short>(
        (report[StickSharedByte] >> NibbleBits) | (report[StickLastByte] << NibbleBits));
    ControllerState.Acc1 = ReadWord(report, Acc1Byte);
    ControllerState.Acc2 = ReadWord(report, Acc2Byte);
    ControllerState.Acc3 = ReadWord(report, Acc3Byte);
    ControllerState.Gyr1 = ReadWord(report, Gyr1Byte);
    ControllerState.Gyr2 = ReadWord(report, Gyr2Byte);
    ControllerState.Gyr3 = ReadWord(report, Gyr3Byte);
}

}  // namespace

ControllerStateRecord ControllerState{};

void PollInputReport()
{
    ReadReport(ControllerLink.Handle, ControllerLink.InputReport, &ControllerLink.ReadLength);
    const int length = ControllerLink.ReadLength;
    // No report came: the buffer still holds an old one, whose ID must not count as a new
    // arrival, and there is no length worth showing.
    if (length == 0) return;

    ControllerState.ReportSeen = ControllerLink.InputReport[ReportIdByte];
    if (length != HidInputReportSize) {
        std::printf("%d\n", length);
        std::fflush(stdout);
        return;
    }
    DecodeReport(ControllerLink.InputReport);
}
