// The controllers' HID protocol as every program of Tavrel speaks it: the vendor and product IDs,
// the output and input report IDs, the subcommands and their input modes, the USB commands, and
// where a report keeps its fields. The players, the monitor and the virtual controller all take
// these names from here.
#pragma once

// Vendor and product IDs.
constexpr int NintendoVendorId = 0x057E;
constexpr int RightJoyConProductId = 0x2007;
constexpr int LeftJoyConProductId = 0x2006;
constexpr int ProControllerProductId = 0x2009;

// A controller's own period: of its full-mode input reports, and of the output reports it takes
// at the least by default.
constexpr long long ControllerReportPeriodUs = 15000;

// Output reports.
constexpr unsigned char SubcommandReportId = 0x01;  // rumble and a subcommand, answered by 0x21
constexpr unsigned char RumbleReportId = 0x10;      // rumble only, not answered
constexpr unsigned char UsbCommandReportId = 0x80;  // over USB: a command to the link, answered by 0x81

// Input reports.
constexpr unsigned char SubcommandReplyId = 0x21;
constexpr unsigned char FullModeReportId = 0x30;    // buttons, sticks and motion every 15 ms
constexpr unsigned char NfcIrModeReportId = 0x31;
constexpr unsigned char SimpleModeReportId = 0x3F;  // buttons and a stick direction, on change
constexpr unsigned char UsbReplyId = 0x81;

// Where an output report keeps its fields.
constexpr int ReportIdByte = 0;
constexpr int PacketNumberByte = 1;
constexpr int FirstRumbleBlock = 2;   // the left actuator's (a Joy-Con's only one)
constexpr int SecondRumbleBlock = 6;  // the right actuator's
constexpr int SubcommandIdByte = 10;
constexpr int SubcommandArgumentByte = 11;

// Where a subcommand's reply keeps its fields.
constexpr int BatteryByte = 2;      // also of 0x30 and 0x31 reports
constexpr int ReplyAckByte = 13;
constexpr int RepliedIdByte = 14;
constexpr unsigned char SubcommandAckBit = 0x80;

// Subcommands.
constexpr unsigned char SubcommandSetInputReportMode = 0x03;
constexpr unsigned char SubcommandSetPlayerLights = 0x30;
constexpr unsigned char SubcommandEnableImu = 0x40;
constexpr unsigned char SubcommandEnableVibration = 0x48;

// Input report modes that SubcommandSetInputReportMode offers: each mode's reports carry its ID.
constexpr unsigned char InputModeSimpleHid = SimpleModeReportId;
constexpr unsigned char InputModeFullStandard = FullModeReportId;

// USB commands (report 0x80, byte 1), and where the answer (0x81) names the command it answers.
constexpr unsigned char UsbStatus = 0x01;
constexpr unsigned char UsbHandshake = 0x02;
constexpr unsigned char UsbHighSpeed = 0x03;
constexpr unsigned char UsbNoTimeout = 0x04;
constexpr int UsbCommandByte = 1;
constexpr int AnsweredCommandByte = 1;
