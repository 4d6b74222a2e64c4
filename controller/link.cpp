#include "controller/link.h"

#include <cstring>

namespace {

constexpr int PacketNumberModulus = 16;

// Byte positions of an output report.
constexpr int ReportIdByte = 0;
constexpr int PacketNumberByte = 1;
constexpr int FirstRumbleBlock = 2;
constexpr int SecondRumbleBlock = 6;
constexpr int RumbleBlockSize = 4;
constexpr int SubcommandIdByte = 10;
constexpr int SubcommandArgumentByte = 11;

// Rumble bytes of silence: high band code 0x3C at amplitude 0, low band code 0x2F at its
// zero amplitude code 0x40.
constexpr unsigned char SilenceRumble[RumbleBlockSize] = {0x3C, 0x00, 0x2F, 0x40};

// Starts a report: only the ID and packet number are written; every other byte keeps what it
// held, so a rumble report still carries the last subcommand's ID and argument.
void BeginReport(unsigned char reportId)
{
    ++ControllerLink.PacketCounter;
    ControllerLink.OutputReport[ReportIdByte] = reportId;
    ControllerLink.OutputReport[PacketNumberByte] =
        static_cast<unsigned char>(ControllerLink.PacketCounter % PacketNumberModulus);
}

void WriteOutputReport()
{
    WriteReport(ControllerLink.Handle, ControllerLink.OutputReport, &ControllerLink.WriteLength);
}

}  // namespace

ControllerLinkRecord ControllerLink = {-1, {}, {}, 0, 0, 0};

void SendSubcommand(unsigned char id, unsigned char argument)
{
    BeginReport(SubcommandReportId);
    std::memset(ControllerLink.OutputReport + FirstRumbleBlock, 0, 2 * RumbleBlockSize);
    ControllerLink.OutputReport[SubcommandIdByte] = id;
    ControllerLink.OutputReport[SubcommandArgumentByte] = argument;
    WriteOutputReport();
    // The answer is not inspected: no acknowledgement check, no retry.
    ReadReport(ControllerLink.Handle, ControllerLink.InputReport, &ControllerLink.ReadLength);
}

void SendRumble(unsigned char r0, unsigned char r1, unsigned char r2, unsigned char r3)
{
    BeginReport(RumbleReportId);
    const unsigned char block[RumbleBlockSize] = {r0, r1, r2, r3};
    std::memcpy(ControllerLink.OutputReport + FirstRumbleBlock, block, RumbleBlockSize);
    std::memcpy(ControllerLink.OutputReport + SecondRumbleBlock, block, RumbleBlockSize);
    WriteOutputReport();
}

void SendRumbleSilence()
{
    SendRumble(SilenceRumble[0], SilenceRumble[1], SilenceRumble[2], SilenceRumble[3]);
}

void SetInputReportMode(unsigned char mode) { SendSubcommand(SubcommandSetInputReportMode, mode); }
void SetPlayerLights(unsigned char pattern) { SendSubcommand(SubcommandSetPlayerLights, pattern); }
void EnableImu(unsigned char on) { SendSubcommand(SubcommandEnableImu, on); }
void EnableVibration(unsigned char on) { SendSubcommand(SubcommandEnableVibration, on); }
