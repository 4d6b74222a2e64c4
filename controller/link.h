// The program's side of the controller's output protocol: an open device, its report buffers
// and packet counter, subcommand reports (answered by one input report) and rumble-only reports
// (not answered). Each operation works on a link record; the ones without a record argument
// work on the process-wide ControllerLink, the one device tavrel plays.
#pragma once

#include "controller/hid.h"
#include "controller/protocol.h"

// The one controller tavrel plays.
constexpr int ControllerVendorId = NintendoVendorId;
constexpr int ControllerProductId = RightJoyConProductId;

constexpr int OutputReportSize = 256;
constexpr int RumbleBlockSize = 4;  // bytes of one actuator's rumble block

struct ControllerLinkRecord {
    int Handle;                                      // -1: no device
    unsigned char OutputReport[OutputReportSize];    // every output report is built here
    unsigned char InputReport[HidInputReportSize];   // every read lands here
    int ReadLength;                                  // length of the last read
    int WriteLength;                                 // of the last write; below 0 when it failed
    int PacketCounter;                               // output reports built so far
};

extern ControllerLinkRecord ControllerLink;

// Rumble bytes of silence: high band code 0x3C at amplitude 0, low band code 0x2F at its
// zero amplitude code 0x40.
constexpr unsigned char SilenceRumble[RumbleBlockSize] = {0x3C, 0x00, 0x2F, 0x40};

// The rumble block the drivers put in subcommand reports: a valid block that plays nothing
// (high band code 0x00 with amplitude 0, low band code 0x40 at its zero amplitude).
constexpr unsigned char NeutralRumble[RumbleBlockSize] = {0x00, 0x01, 0x40, 0x40};

// Builds and writes one subcommand report whose rumble blocks are left and right; reads nothing.
void WriteSubcommandOn(ControllerLinkRecord& link, unsigned char id, unsigned char argument,
                       const unsigned char left[RumbleBlockSize], const unsigned char right[RumbleBlockSize]);

// A subcommand report with zero rumble blocks, then one input report read, whatever it is.
void SendSubcommandOn(ControllerLinkRecord& link, unsigned char id, unsigned char argument);
// One rumble-only report: left carries the left actuator's block, right the right one's.
void SendRumbleBlocksOn(ControllerLinkRecord& link, const unsigned char left[RumbleBlockSize],
                        const unsigned char right[RumbleBlockSize]);

void SendSubcommand(unsigned char id, unsigned char argument);
void SendRumble(unsigned char r0, unsigned char r1, unsigned char r2, unsigned char r3);
void SendRumbleSilence();

void SetInputReportMode(unsigned char mode);
void SetPlayerLights(unsigned char pattern);
void EnableImu(unsigned char on);
void EnableVibration(unsigned char on);
