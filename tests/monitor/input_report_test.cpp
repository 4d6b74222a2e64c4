// Decoding of input reports: byte positions, nibble split of the stick bytes, little-endian
// words without sign extension, rejected lengths and reads that brought nothing.
#include "controller/link.h"
#include "monitor/input_report.h"
#include "tests/support/core_state_reset.h"
#include "tests/support/fake_hid.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr int FullLength = HidInputReportSize;

struct Decoded {
    int reportSeen, buttons1, buttons2, stick1, stick2, acc1, acc2, acc3, gyr1, gyr2, gyr3;
    bool operator==(const Decoded& o) const
    {
        return reportSeen == o.reportSeen && buttons1 == o.buttons1 && buttons2 == o.buttons2 &&
               stick1 == o.stick1 && stick2 == o.stick2 && acc1 == o.acc1 && acc2 == o.acc2 &&
               acc3 == o.acc3 && gyr1 == o.gyr1 && gyr2 == o.gyr2 && gyr3 == o.gyr3;
    }
};

std::ostream& operator<<(std::ostream& out, const Decoded& d)
{
    return out << std::hex << "{seen " << d.reportSeen << ", buttons " << d.buttons1 << ","
               << d.buttons2 << ", stick " << d.stick1 << "," << d.stick2 << ", acc " << d.acc1
               << "," << d.acc2 << "," << d.acc3 << ", gyr " << d.gyr1 << "," << d.gyr2 << ","
               << d.gyr3 << "}";
}

Decoded Current()
{
    return {ControllerState.ReportSeen, ControllerState.Buttons1, ControllerState.Buttons2,
            ControllerState.Stick1,     ControllerState.Stick2,   ControllerState.Acc1,
            ControllerState.Acc2,       ControllerState.Acc3,     ControllerState.Gyr1,
            ControllerState.Gyr2,       ControllerState.Gyr3};
}

// A report whose every byte differs, so that a field taken from a wrong position shows.
std::vector<unsigned char> DistinctReport(unsigned char id)
{
    std::vector<unsigned char> report(FullLength);
    for (int i = 0; i < FullLength; ++i) report[i] = static_cast<unsigned char>(0x80 + 7 * i);
    report[0] = id;
    return report;
}

// Polls once and returns what was printed.
std::string PollPrinting()
{
    testing::internal::CaptureStdout();
    PollInputReport();
    return testing::internal::GetCapturedStdout();
}

class InputReportTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        fake_hid::Reset();
        ResetControllerLink();
        ResetControllerState();
        ControllerLink.Handle = OpenHidHandle(ControllerVendorId, ControllerProductId);
    }
};

TEST_F(InputReportTest, FullReportSetsEveryFieldFromItsBytes)
{
    std::vector<unsigned char> report(FullLength, 0xEE);  // bytes not named must not leak in
    report[0] = 0x30;
    report[3] = 0x12;
    report[4] = 0x34;
    report[9] = 0x21;
    report[10] = 0x43;
    report[11] = 0x65;
    const unsigned char words[12] = {0xFF, 0xFF, 0x01, 0x80, 0x34, 0x12,
                                     0x00, 0x7F, 0xCD, 0xAB, 0x02, 0x00};
    for (int i = 0; i < 12; ++i) report[13 + i] = words[i];
    fake_hid::QueueReadAnswer(report, FullLength);

    EXPECT_EQ(PollPrinting(), "");
    EXPECT_EQ(Current(), (Decoded{0x30, 0x12, 0x34, 0x321, 0x654, 0xFFFF, 0x8001, 0x1234, 0x7F00,
                                  0xABCD, 0x0002}));
    EXPECT_EQ(ControllerLink.ReadLength, FullLength);
    EXPECT_EQ(fake_hid::CallSequence(), "OR");
}

TEST_F(InputReportTest, FieldsComeFromTheirOwnBytesOnly)
{
    // Bytes i hold 0x80 + 7i, so each expected value names its byte positions.
    auto report = DistinctReport(0x21);
    auto b = [&](int i) { return static_cast<int>(report[i]); };
    fake_hid::QueueReadAnswer(report, FullLength);

    PollInputReport();
    EXPECT_EQ(Current(),
              (Decoded{0x21, b(3), b(4), b(9) | (b(10) & 0x0F) << 8, b(10) >> 4 | b(11) << 4,
                       b(13) | b(14) << 8, b(15) | b(16) << 8, b(17) | b(18) << 8,
                       b(19) | b(20) << 8, b(21) | b(22) << 8, b(23) | b(24) << 8}));
}

TEST_F(InputReportTest, StickNibblesAtTheirExtremes)
{
    auto report = DistinctReport(0x30);
    report[9] = 0xFF;
    report[10] = 0x0F;
    report[11] = 0x00;
    fake_hid::QueueReadAnswer(report, FullLength);
    report[9] = 0x00;
    report[10] = 0xF0;
    report[11] = 0xFF;
    fake_hid::QueueReadAnswer(report, FullLength);

    PollInputReport();
    EXPECT_EQ(ControllerState.Stick1, 0xFFF);
    EXPECT_EQ(ControllerState.Stick2, 0x000);
    PollInputReport();
    EXPECT_EQ(ControllerState.Stick1, 0x000);
    EXPECT_EQ(ControllerState.Stick2, 0xFFF);
}

TEST_F(InputReportTest, OtherLengthsArePrintedAndOnlyReportSeenChanges)
{
    fake_hid::QueueReadAnswer(DistinctReport(0x30), FullLength);
    PollInputReport();
    const Decoded before = Current();

    std::vector<unsigned char> other(FullLength, 0x5A);
    other[0] = 0x21;
    fake_hid::QueueReadAnswer(other, FullLength - 1);
    EXPECT_EQ(PollPrinting(), "361\n");
    Decoded expected = before;
    expected.reportSeen = 0x21;
    EXPECT_EQ(Current(), expected);

    other[0] = 0x3F;
    fake_hid::QueueReadAnswer(other, FullLength + 1);
    EXPECT_EQ(PollPrinting(), "363\n");
    expected.reportSeen = 0x3F;
    EXPECT_EQ(Current(), expected);

    other[0] = 0x00;  // a report ID of 0 is taken too: ReportSeen follows every report
    fake_hid::QueueReadAnswer(other, 49);
    EXPECT_EQ(PollPrinting(), "49\n");
    expected.reportSeen = 0x00;
    EXPECT_EQ(Current(), expected);
}

TEST_F(InputReportTest, ReadWithoutReportChangesNothingAndPrintsNothing)
{
    fake_hid::QueueReadAnswer(DistinctReport(0x30), FullLength);
    PollInputReport();
    const Decoded before = Current();
    ControllerState.ReportSeen = 0;  // as CheckInputAlive leaves it

    EXPECT_EQ(PollPrinting(), "");  // nothing queued: the read brings nothing
    Decoded expected = before;
    expected.reportSeen = 0;
    EXPECT_EQ(Current(), expected);
    EXPECT_EQ(ControllerLink.InputReport[0], 0x30);  // the stale report is still in the buffer
    EXPECT_EQ(fake_hid::ReadCount(), 2);
}

TEST_F(InputReportTest, SubcommandAnswerSetsNoField)
{
    fake_hid::QueueReadAnswer(DistinctReport(0x21), FullLength);
    SetInputReportMode(InputModeFullStandard);
    EXPECT_EQ(ControllerLink.InputReport[0], 0x21);
    EXPECT_EQ(Current(), (Decoded{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
