#include "joycon_reports.h"

#include <cstring>

namespace vj {

namespace {

constexpr int TimerByte = 1;
constexpr int BatteryByte = 2;
constexpr unsigned char BatteryFullOnBluetooth = 0x8E;
constexpr unsigned char BatteryLowOnBluetooth = 0x4E;
constexpr unsigned char ProControllerType = 0x03;
constexpr unsigned char MacAddress[6] = {0x57, 0x30, 0xea, 0x8a, 0xbb, 0x7c};
constexpr int RightButtonsByte = 3;
constexpr int SharedButtonsByte = 4;
constexpr int RightStickByte = 9;
constexpr int VibratorByte = 12;
constexpr unsigned char VibratorReport = 0x0C;
constexpr int AckByte = 13;
constexpr int RepliedIdByte = 14;
constexpr int MotionByte = 13;
constexpr int MotionFrames = 3;
constexpr int MotionAxes = 6;
constexpr unsigned StickCentre = 0x800;
constexpr unsigned StickStep = 8;
constexpr unsigned TwelveBits = 0xFFF;
constexpr unsigned MotionScale = 16;
constexpr unsigned char HatCentre = 0x08;
constexpr unsigned char SticksAtRest[8] = {0x00, 0x80, 0x00, 0x80, 0x00, 0x80, 0x00, 0x80};

// Timer, battery, buttons, sticks and vibrator byte shared by 0x21 and 0x30 reports.
void FillStandardHeader(unsigned char id, std::uint32_t k, unsigned char* out)
{
    std::memset(out, 0, StandardReportSize);
    out[0] = id;
    out[TimerByte] = static_cast<unsigned char>(k & 0xFF);
    out[BatteryByte] = BatteryFullOnBluetooth;
    out[RightButtonsByte] = static_cast<unsigned char>(k & 0xFF);
    out[SharedButtonsByte] = static_cast<unsigned char>((k >> 8) & 0xFF);
    const unsigned horizontal = (StickCentre + StickStep * k) & TwelveBits;
    const unsigned vertical = (StickCentre - StickStep * k) & TwelveBits;
    out[RightStickByte] = static_cast<unsigned char>(horizontal & 0xFF);
    out[RightStickByte + 1] = static_cast<unsigned char>((horizontal >> 8) | ((vertical & 0xF) << 4));
    out[RightStickByte + 2] = static_cast<unsigned char>(vertical >> 4);
    out[VibratorByte] = VibratorReport;
}

}  // namespace

std::uint16_t MotionValue(std::uint32_t k, int frame, int axis)
{
    return static_cast<std::uint16_t>(((3u * k + static_cast<unsigned>(frame)) *
                                       static_cast<unsigned>(axis + 1) * MotionScale) & 0xFFFF);
}

void BuildFullReport(std::uint32_t k, bool imuOn, unsigned char* out)
{
    FillStandardHeader(FullModeReportId, k, out);
    if (!imuOn) return;
    for (int frame = 0; frame < MotionFrames; ++frame) {
        for (int axis = 0; axis < MotionAxes; ++axis) {
            const std::uint16_t value = MotionValue(k, frame, axis);
            const int at = MotionByte + (frame * MotionAxes + axis) * 2;
            out[at] = static_cast<unsigned char>(value & 0xFF);
            out[at + 1] = static_cast<unsigned char>(value >> 8);
        }
    }
}

void BuildSubcommandReply(std::uint32_t k, unsigned char id, unsigned char* out)
{
    FillStandardHeader(SubcommandReplyId, k, out);
    out[AckByte] = SubcommandAckBit;
    out[RepliedIdByte] = id;
}

void BuildUsbReply(unsigned char command, unsigned char* out)
{
    std::memset(out, 0, UsbReportSize);
    out[0] = UsbReplyId;
    out[1] = command;
    if (command != UsbStatus) return;
    out[3] = ProControllerType;
    std::memcpy(out + 4, MacAddress, sizeof MacAddress);
}

void MarkBatteryLow(unsigned char* out) { out[BatteryByte] = BatteryLowOnBluetooth; }

void BuildSimpleReport(std::uint32_t k, unsigned char* out)
{
    std::memset(out, 0, SimpleReportSize);
    out[0] = SimpleModeReportId;
    out[1] = static_cast<unsigned char>(k & 0xFF);
    out[2] = static_cast<unsigned char>((k >> 8) & 0xFF);
    out[3] = HatCentre;
    std::memcpy(out + 4, SticksAtRest, sizeof SticksAtRest);
}

}  // namespace vj
