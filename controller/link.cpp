#include "controller/link.h"

#include <cstring>

namespace {

constexpr int PacketNumberModulus = 16;

// Starts a report: only the ID and packet number are written; every other byte keeps what it
// held, so a rumble report still carries the last subcommand's ID and argument.
void BeginReport(ControllerLinkRecord& link, unsigned char reportId)
{
    ++link.PacketCounter;
    link.OutputReport[ReportIdByte] = reportId;
    link.OutputReport[PacketNumberByte] = static_cast<unsigned char>(link.PacketCounter % PacketNumberModulus);
}

void WriteOutputReport(ControllerLinkRecord& link)
{
    WriteReport(link.Handle, link.OutputReport, &link.WriteLength);
}

}  // namespace

ControllerLinkRecord ControllerLink = {-1, {}, {}, 0, 0, 0};

void WriteSubcommandOn(ControllerLinkRecord& link, unsigned char id, unsigned char argument,
                       const unsigned char left[RumbleBlockSize], const unsigned char right[RumbleBlockSize])
{
    BeginReport(link, SubcommandReportId);
    std::memcpy(link.OutputReport + FirstRumbleBlock, left, RumbleBlockSize);
    std::memcpy(link.OutputReport + SecondRumbleBlock, right, RumbleBlockSize);
    link.OutputReport[SubcommandIdByte] = id;
    link.OutputReport[SubcommandArgumentByte] = argument;
    WriteOutputReport(link);
}

void SendSubcommandOn(ControllerLinkRecord& link, unsigned char id, unsigned char argument)
{
    static const unsigned char ZeroRumble[RumbleBlockSize] = {};
    WriteSubcommandOn(link, id, argument, ZeroRumble, ZeroRumble);
    // The answer is not inspected: no acknowledgement check, no retry.
    ReadReport(link.Handle, link.InputReport, &link.ReadLength);
}

void SendRumbleBlocksOn(ControllerLinkRecord& link, const unsigned char left[RumbleBlockSize],
                        const unsigned char right[RumbleBlockSize])
{
    BeginReport(link, RumbleReportId);
    std::memcpy(link.OutputReport + FirstRumbleBlock, left, RumbleBlockSize);
    std::memcpy(link.OutputReport + SecondRumbleBlock, right, RumbleBlockSize);
    WriteOutputReport(link);
}

void SendSubcommand(unsigned char id, unsigned char argument) { SendSubcommandOn(ControllerLink, id, argument); }

void SendRumble(unsigned char r0, unsigned char r1, unsigned char r2, unsigned char r3)
{
    const unsigned char block[RumbleBlockSize] = {r0, r1, r2, r3};
    SendRumbleBlocksOn(ControllerLink, block, block);
}

void SendRumbleSilence()
{
    SendRumble(SilenceRumble[0], SilenceRumble[1], SilenceRumble[2], SilenceRumble[3]);
}

void SetInputReportMode(unsigned char mode) { SendSubcommand(SubcommandSetInputReportMode, mode); }
void SetPlayerLights(unsigned char pattern) { SendSubcommand(SubcommandSetPlayerLights, pattern); }
void EnableImu(unsigned char on) { SendSubcommand(SubcommandEnableImu, on); }
void EnableVibration(unsigned char on) { SendSubcommand(SubcommandEnableVibration, on); }
