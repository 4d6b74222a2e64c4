// The virtual controller called directly through its hidapi entry points: what it enumerates
// and opens in each mode, the replies and streamed reports it delivers, how long reads wait,
// and what it logs.
#include <hidapi.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

namespace {

// The log is opened once, at the first call into the library; set its path before any test.
// Each test process has its own, since ctest runs the cases side by side.
const std::string LogPath = std::string(VJ_TEST_LOG) + "." + std::to_string(getpid());
const bool LogPathSet = setenv("TAVREL_VJ_LOG", LogPath.c_str(), 1) == 0 &&
                        std::atexit([] { std::remove(LogPath.c_str()); }) == 0;

using Bytes = std::vector<unsigned char>;

std::vector<std::string> LogLines()
{
    std::vector<std::string> lines;
    std::ifstream in(LogPath);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// Log lines after the first `from`, each without its time stamp.
std::vector<std::string> LogEventsSince(std::size_t from)
{
    std::vector<std::string> events;
    std::vector<std::string> lines = LogLines();
    for (std::size_t i = from; i < lines.size(); ++i) {
        const std::size_t space = lines[i].find(' ');
        EXPECT_NE(space, std::string::npos) << lines[i];
        EXPECT_GT(std::stoll(lines[i].substr(0, space)), 0) << lines[i];
        events.push_back(lines[i].substr(space + 1));
    }
    return events;
}

std::string Hex(const Bytes& bytes)
{
    static const char Digits[] = "0123456789abcdef";
    std::string text;
    for (unsigned char b : bytes) {
        text += Digits[b >> 4];
        text += Digits[b & 0xF];
    }
    return text;
}

Bytes SubcommandReport(unsigned char packet, unsigned char id, unsigned char argument)
{
    Bytes report(49, 0);
    report[0] = 0x01;
    report[1] = packet;
    report[10] = id;
    report[11] = argument;
    return report;
}

hid_device* OpenInMode(const char* mode)
{
    setenv("TAVREL_VJ_MODE", mode, 1);
    return hid_open(0x057E, 0x2007, nullptr);
}

int Write(hid_device* device, const Bytes& report)
{
    return hid_write(device, report.data(), report.size());
}

Bytes Read(hid_device* device, int timeoutMs, int* result)
{
    Bytes buffer(362, 0xEE);
    *result = hid_read_timeout(device, buffer.data(), buffer.size(), timeoutMs);
    buffer.resize(*result > 0 ? static_cast<std::size_t>(*result) : 0);
    return buffer;
}

double MsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// An input mode that streams nothing, so that reads bring subcommand replies only.
constexpr unsigned char QuietInputMode = 0x31;

TEST(VirtualJoyConOpen, EnumeratesAndOpensOnlyTheRightJoyConUnlessAbsent)
{
    ASSERT_TRUE(LogPathSet);
    setenv("TAVREL_VJ_MODE", "normal", 1);
    ASSERT_EQ(hid_init(), 0);
    hid_device_info* list = hid_enumerate(0x057E, 0x2007);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->vendor_id, 0x057E);
    EXPECT_EQ(list->product_id, 0x2007);
    EXPECT_EQ(list->bus_type, HID_API_BUS_BLUETOOTH);
    EXPECT_EQ(list->next, nullptr);
    hid_device* byPath = hid_open_path(list->path);
    hid_free_enumeration(list);
    ASSERT_NE(byPath, nullptr);
    hid_close(byPath);
    EXPECT_EQ(hid_enumerate(0x057E, 0x2006), nullptr);

    const std::size_t mark = LogLines().size();
    EXPECT_EQ(hid_open(0x057E, 0x2006, nullptr), nullptr);
    hid_device* device = hid_open(0x057E, 0x2007, nullptr);
    ASSERT_NE(device, nullptr);
    hid_close(device);
    setenv("TAVREL_VJ_MODE", "absent", 1);
    EXPECT_EQ(hid_enumerate(0x057E, 0x2007), nullptr);
    EXPECT_EQ(hid_open(0x057E, 0x2007, nullptr), nullptr);
    EXPECT_EQ(LogEventsSince(mark),
              (std::vector<std::string>{"open 057e 2006 absent", "open 057e 2007 ok", "close",
                                        "open 057e 2007 absent"}));
}

TEST(VirtualJoyConReplies, EverySubcommandIsAnsweredInOrderBeforeStreamedReports)
{
    hid_device* device = OpenInMode("normal");
    ASSERT_NE(device, nullptr);
    const std::size_t mark = LogLines().size();
    const Bytes mode = SubcommandReport(1, 0x03, QuietInputMode);
    const Bytes lights = SubcommandReport(2, 0x30, 0x01);
    Bytes rumble(49, 0);
    rumble[0] = 0x10;
    rumble[2] = 0x04;
    rumble[10] = 0x30;
    const Bytes vibration = SubcommandReport(4, 0x48, 0x01);
    EXPECT_EQ(Write(device, mode), 49);
    EXPECT_EQ(Write(device, lights), 49);
    EXPECT_EQ(Write(device, rumble), 49);  // not answered
    EXPECT_EQ(Write(device, vibration), 49);

    std::vector<std::string> expected = {"write 49 " + Hex(mode), "write 49 " + Hex(lights),
                                         "write 49 " + Hex(rumble), "write 49 " + Hex(vibration)};
    for (unsigned char id : {0x03, 0x30, 0x48}) {
        int result = 0;
        const Bytes reply = Read(device, 100, &result);
        ASSERT_EQ(result, 49);
        EXPECT_EQ(reply[0], 0x21);
        EXPECT_EQ(reply[2], 0x8E);
        EXPECT_EQ(reply[13], 0x80);
        EXPECT_EQ(reply[14], id);
        EXPECT_EQ(Bytes(reply.begin() + 15, reply.end()), Bytes(34, 0));
        expected.push_back("deliver 49 " + Hex(reply));
    }
    int result = -1;
    EXPECT_TRUE(Read(device, 20, &result).empty());
    EXPECT_EQ(result, 0);
    expected.push_back("timeout 20");

    // A reply is delivered whole into a buffer of its size, or cut to a smaller buffer.
    EXPECT_EQ(Write(device, SubcommandReport(5, 0x02, 0)), 49);
    unsigned char small[5] = {};
    EXPECT_EQ(hid_read(device, small, sizeof small), 5);
    EXPECT_EQ(small[0], 0x21);
    hid_close(device);

    std::vector<std::string> events = LogEventsSince(mark);
    ASSERT_EQ(events.size(), expected.size() + 3);
    events.resize(expected.size());
    EXPECT_EQ(events, expected);
}

// 12-bit stick values and motion values of sequence number k, as documented.
unsigned StickHorizontal(unsigned k) { return (0x800 + 8 * k) & 0xFFF; }
unsigned StickVertical(unsigned k) { return (0x800 - 8 * k) & 0xFFF; }
unsigned Motion(unsigned k, unsigned frame, unsigned axis) { return ((3 * k + frame) * (axis + 1) * 16) & 0xFFFF; }

TEST(VirtualJoyConStream, FullModeDeliversNewReportsWithDocumentedFieldsAndRepliesFirst)
{
    hid_device* device = OpenInMode("normal");
    ASSERT_NE(device, nullptr);
    int result = 0;
    ASSERT_EQ(Write(device, SubcommandReport(1, 0x40, 0x01)), 49);
    ASSERT_EQ(Write(device, SubcommandReport(2, 0x03, 0x30)), 49);
    EXPECT_EQ(Read(device, 100, &result)[14], 0x40);
    EXPECT_EQ(Read(device, 100, &result)[14], 0x03);

    int lastTimer = -1;
    for (int i = 0; i < 8; ++i) {
        const Bytes report = Read(device, 200, &result);
        ASSERT_EQ(result, 49);
        ASSERT_EQ(report[0], 0x30);
        const unsigned k = report[1];  // fewer than 256 ticks have passed since the open
        EXPECT_GT(static_cast<int>(k), lastTimer) << "a report was delivered twice";
        lastTimer = static_cast<int>(k);
        EXPECT_EQ(report[3], k);
        EXPECT_EQ(report[4], 0);
        EXPECT_EQ(report[5], 0);
        EXPECT_EQ(report[9] | ((report[10] & 0xF) << 8), StickHorizontal(k));
        EXPECT_EQ((report[10] >> 4) | (report[11] << 4), StickVertical(k));
        for (unsigned frame = 0; frame < 3; ++frame) {
            for (unsigned axis = 0; axis < 6; ++axis) {
                const unsigned at = 13 + (frame * 6 + axis) * 2;
                EXPECT_EQ(report[at] | (report[at + 1] << 8), Motion(k, frame, axis))
                    << "frame " << frame << " axis " << axis;
            }
        }
    }

    // With reports due, a pending reply still comes first; then the IMU is off.
    ASSERT_EQ(Write(device, SubcommandReport(3, 0x40, 0x00)), 49);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
    EXPECT_EQ(Read(device, 100, &result)[0], 0x21);
    const Bytes report = Read(device, 200, &result);
    ASSERT_EQ(result, 49);
    EXPECT_EQ(report[0], 0x30);
    EXPECT_EQ(Bytes(report.begin() + 13, report.end()), Bytes(36, 0));
    hid_close(device);
}

TEST(VirtualJoyConStream, SimpleModeDeliversA3FReportOnlyAtAButtonChange)
{
    hid_device* device = OpenInMode("normal");  // starts in input mode 0x3F
    ASSERT_NE(device, nullptr);
    int result = -1;
    EXPECT_TRUE(Read(device, 0, &result).empty());
    EXPECT_EQ(result, 0);

    const auto start = std::chrono::steady_clock::now();
    unsigned char buffer[362] = {};
    ASSERT_EQ(hid_read(device, buffer, sizeof buffer), 12);  // blocking, wakes when one is due
    EXPECT_LT(MsSince(start), 5000.0);
    EXPECT_EQ(buffer[0], 0x3F);
    EXPECT_EQ(buffer[1], 1);  // the first 500 ms tick
    EXPECT_EQ(buffer[3], 0x08);
    EXPECT_EQ(Bytes(buffer + 4, buffer + 12), (Bytes{0x00, 0x80, 0x00, 0x80, 0x00, 0x80, 0x00, 0x80}));
    EXPECT_EQ(buffer[12], 0) << "a 12-byte report wrote past its end";
    hid_close(device);
}

TEST(VirtualJoyConSilent, ReadsTimeOutAfterTheTimeAskedAndNeverDeliver)
{
    hid_device* device = OpenInMode("silent");
    ASSERT_NE(device, nullptr);
    const std::size_t mark = LogLines().size();
    ASSERT_EQ(Write(device, SubcommandReport(1, 0x48, 0x01)), 49);
    const auto start = std::chrono::steady_clock::now();
    int result = -1;
    EXPECT_TRUE(Read(device, 30, &result).empty());
    const double waited = MsSince(start);
    EXPECT_EQ(result, 0);
    EXPECT_GE(waited, 30.0);
    EXPECT_LT(waited, 1000.0);
    hid_close(device);
    EXPECT_EQ(LogEventsSince(mark), (std::vector<std::string>{
                                        "write 49 " + Hex(SubcommandReport(1, 0x48, 0x01)),
                                        "timeout 30", "close"}));
}

TEST(VirtualJoyConVanish, EveryCallFailsAfterTheGivenNumberOfWrites)
{
    setenv("TAVREL_VJ_VANISH_AFTER", "2", 1);
    hid_device* device = OpenInMode("vanish");
    ASSERT_NE(device, nullptr);
    const std::size_t mark = LogLines().size();
    int result = 0;
    ASSERT_EQ(Write(device, SubcommandReport(1, 0x03, QuietInputMode)), 49);
    EXPECT_EQ(Read(device, 50, &result)[14], 0x03);
    ASSERT_EQ(Write(device, SubcommandReport(2, 0x30, 0x01)), 49);
    Read(device, 50, &result);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(Write(device, SubcommandReport(3, 0x48, 0x01)), -1);
    EXPECT_NE(hid_error(device), nullptr);
    hid_close(device);
    std::vector<std::string> events = LogEventsSince(mark);
    ASSERT_EQ(events.size(), 6u);
    EXPECT_EQ(events[0].substr(0, 9), "write 49 ");
    EXPECT_EQ(events[1].substr(0, 13), "deliver 49 21");
    EXPECT_EQ(events[2].substr(0, 9), "write 49 ");
    EXPECT_EQ(events[3], "fail read");
    EXPECT_EQ(events[4], "fail write");
    EXPECT_EQ(events[5], "close");
    unsetenv("TAVREL_VJ_VANISH_AFTER");
}

TEST(VirtualJoyConStall, TheWholeShareHoldsUpEveryWriteAtLeast30Ms)
{
    setenv("TAVREL_VJ_STALL", "1", 1);
    hid_device* device = OpenInMode("normal");
    ASSERT_NE(device, nullptr);
    for (unsigned char packet = 1; packet <= 3; ++packet) {
        const auto start = std::chrono::steady_clock::now();
        ASSERT_EQ(Write(device, SubcommandReport(packet, 0x03, QuietInputMode)), 49);
        EXPECT_GE(MsSince(start), 30.0) << "write " << int(packet);
    }
    hid_close(device);
    unsetenv("TAVREL_VJ_STALL");
}

TEST(VirtualJoyConThreads, ABlockedReaderWakesForAReplyAndAtClose)
{
    hid_device* device = OpenInMode("normal");
    ASSERT_NE(device, nullptr);
    int result = 0;
    ASSERT_EQ(Write(device, SubcommandReport(1, 0x03, QuietInputMode)), 49);
    ASSERT_EQ(Read(device, 100, &result).size(), 49u);

    EXPECT_EQ(hid_set_nonblocking(device, 1), 0);
    unsigned char buffer[362] = {};
    EXPECT_EQ(hid_read(device, buffer, sizeof buffer), 0);
    EXPECT_EQ(hid_set_nonblocking(device, 0), 0);

    int readerResult = 0;
    unsigned char readerBuffer[362] = {};
    std::thread reader([&] { readerResult = hid_read(device, readerBuffer, sizeof readerBuffer); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(Write(device, SubcommandReport(2, 0x30, 0x01)), 49);
    reader.join();
    EXPECT_EQ(readerResult, 49);
    EXPECT_EQ(readerBuffer[0], 0x21);
    EXPECT_EQ(readerBuffer[14], 0x30);

    std::thread waiter([&] { readerResult = hid_read(device, readerBuffer, sizeof readerBuffer); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    hid_close(device);
    waiter.join();
    EXPECT_EQ(readerResult, -1);
}

}  // namespace
