// The program's side of the controller's output protocol: the one open device, the report
// buffers, the packet counter, subcommand reports (answered by one input report) and
// rumble-only reports (not answered).
#pragma once

#include "controller/hid.h"

constexpr int ControllerVendorId = 0x057E;
constexpr int ControllerProductId = 0x2007;

constexpr int OutputReportSize = 256;

// Report IDs and subcommand IDs of the controller's output protocol.
constexpr unsigned char SubcommandReportId = 0x01;
constexpr unsigned char RumbleReportId = 0x10;
constexpr unsigned char SubcommandSetInputReportMode = 0x03;
constexpr unsigned char SubcommandSetPlayerLights = 0x30;
constexpr unsigned char SubcommandEnableImu = 0x40;
constexpr unsigned char SubcommandEnableVibration = 0x48;

// Input report modes offered by SetInputReportMode.
constexpr unsigned char InputModeSimpleHid = 0x3F;
constexpr unsigned char InputModeFullStandard = 0x30;

struct ControllerLinkRecord {
    int Handle;                                      // -1: no device
    unsigned char OutputReport[OutputReportSize];    // every output report is built here
    unsigned char InputReport[HidInputReportSize];   // every read lands here
    int ReadLength;                                  // length of the last read
    int WriteLength;                                 // passed to WriteReport, never used
    int PacketCounter;                               // output reports built so far
};

extern ControllerLinkRecord ControllerLink;

void SendSubcommand(unsigned char id, unsigned char argument);
void SendRumble(unsigned char r0, unsigned char r1, unsigned char r2, unsigned char r3);
void SendRumbleSilence();

void SetInputReportMode(unsigned char mode);
void SetPlayerLights(unsigned char pattern);
void EnableImu(unsigned char on);
void EnableVibration(unsigned char on);
