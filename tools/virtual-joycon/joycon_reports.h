// Input reports of the simulated right Joy-Con on Bluetooth, built from a report sequence
// number so that every field is a known function of it.
//
// Sequence numbers count 15 ms ticks since the device was opened (0x21 and 0x30 reports) or
// 500 ms ticks (0x3F reports). For sequence number k:
//   0x30 / 0x21, 49 bytes:
//     byte 1      timer, k & 0xFF
//     byte 2      0x8E (battery full, Joy-Con on Bluetooth)
//     bytes 3-5   buttons: right k & 0xFF, shared (k >> 8) & 0xFF, left 0
//     bytes 6-8   left stick: 0 (a right Joy-Con has none)
//     bytes 9-11  right stick, 12-bit each: horizontal (0x800 + 8k) & 0xFFF,
//                 vertical (0x800 - 8k) & 0xFFF, packed as the controller packs them
//     byte 12     vibrator report 0x0C
//   0x30 with the IMU on: bytes 13-48 are three frames of six little-endian 16-bit values
//     (accelerometer x y z, gyroscope x y z); value of frame f, axis a is
//     ((3k + f) * (a + 1) * 16) & 0xFFFF. With the IMU off they are zero.
//   0x21: byte 13 ACK 0x80, byte 14 the subcommand ID answered, the rest zero.
//   With a low battery, byte 2 of 0x21 and 0x30 reports is 0x4E (level 4 of 8).
//   0x81 (USB, 64 bytes): byte 1 the 0x80 command answered; for 0x01 bytes 2-9 are
//     00 03 (a Pro Controller) and its MAC address 57 30 ea 8a bb 7c, the rest zero.
//   0x3F, 12 bytes: byte 1 buttons k & 0xFF, byte 2 (k >> 8) & 0xFF, byte 3 hat 0x08 (centre),
//     bytes 4-11 00 80 00 80 00 80 00 80 (sticks at rest).
#pragma once

#include "common/time_units.h"
#include "controller/protocol.h"

#include <cstdint>

namespace vj {

constexpr int StandardReportSize = 49;
constexpr int SimpleReportSize = 12;

constexpr int UsbReportSize = 64;

constexpr long long FullReportPeriodNs = ControllerReportPeriodUs * NanosecondsPerMicrosecond;
constexpr long long SimpleReportPeriodNs = 500000000LL;

// Fills out[0..48] with the 0x30 report of sequence number k.
void BuildFullReport(std::uint32_t k, bool imuOn, unsigned char* out);

// Fills out[0..48] with the reply to subcommand id, sent at sequence number k.
void BuildSubcommandReply(std::uint32_t k, unsigned char id, unsigned char* out);

// Fills out[0..63] with the 0x81 answer to USB command.
void BuildUsbReply(unsigned char command, unsigned char* out);

// Makes a 0x21 or 0x30 report in out say the battery is low.
void MarkBatteryLow(unsigned char* out);

// Fills out[0..11] with the 0x3F report of sequence number k.
void BuildSimpleReport(std::uint32_t k, unsigned char* out);

// The motion value of frame (0-2) and axis (0-5) in the 0x30 report k.
std::uint16_t MotionValue(std::uint32_t k, int frame, int axis);

}  // namespace vj
