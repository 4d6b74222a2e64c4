// Key reading on POSIX: bytes of a pipe on standard input are keys, end of input means no key,
// a terminal is switched to no-echo unbuffered mode and restored, also on an interrupt.
#include "monitor/monitor_loop.h"
#include "platform/interrupt.h"
#include "platform/keyboard.h"

#include <gtest/gtest.h>

#include <csignal>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <string>

namespace {

constexpr int PtyPatienceMs = 2000;

// Puts fd on standard input for the test's lifetime and brings the old one back afterwards.
class KeyboardTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        SavedStdin = dup(STDIN_FILENO);
        ASSERT_GE(SavedStdin, 0);
        ClearInterruptRequest();
    }

    void TearDown() override
    {
        EndKeyReading();
        dup2(SavedStdin, STDIN_FILENO);
        close(SavedStdin);
        if (WriteEnd >= 0) close(WriteEnd);
        ClearInterruptRequest();
    }

    // Standard input becomes a pipe holding bytes; its write end stays open unless closed.
    void UsePipe(const std::string& bytes, bool closeWriteEnd)
    {
        int ends[2];
        ASSERT_EQ(pipe(ends), 0);
        ASSERT_EQ(write(ends[1], bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        dup2(ends[0], STDIN_FILENO);
        close(ends[0]);
        WriteEnd = ends[1];
        if (closeWriteEnd) {
            close(WriteEnd);
            WriteEnd = -1;
        }
    }

    int SavedStdin = -1;
    int WriteEnd = -1;
};

TEST_F(KeyboardTest, PipeBytesAreKeysInOrderAndEndOfInputMeansNone)
{
    UsePipe(std::string("a\x1b\xE0", 3), true);
    BeginKeyReading();
    ASSERT_TRUE(IsKeyWaiting());
    EXPECT_TRUE(IsKeyWaiting());  // asking again does not use up the key
    EXPECT_EQ(ReadKey(), 'a');
    ASSERT_TRUE(IsKeyWaiting());
    EXPECT_EQ(ReadKey(), 27);  // from a pipe Esc stays Esc even when more bytes follow
    ASSERT_TRUE(IsKeyWaiting());
    EXPECT_EQ(ReadKey(), 0xE0);  // no sign extension
    EXPECT_FALSE(IsKeyWaiting());
    EXPECT_FALSE(IsKeyWaiting());
}

TEST_F(KeyboardTest, KeyArrivingLaterIsSeen)
{
    UsePipe("", false);
    BeginKeyReading();
    EXPECT_FALSE(IsKeyWaiting());
    ASSERT_EQ(write(WriteEnd, "x", 1), 1);
    ASSERT_TRUE(IsKeyWaiting());
    EXPECT_EQ(ReadKey(), 'x');
    EXPECT_FALSE(IsKeyWaiting());
}

TEST_F(KeyboardTest, MonitorLoopTakesKeysFromStandardInput)
{
    UsePipe("xy\x1bz", true);
    BeginKeyReading();
    testing::internal::CaptureStdout();
    MonitorLoop();
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string zeroLine =
        "button=00,00 , stick=0000,0000 , Acc=0000,0000,0000 , Gyr=0000,0000,0000\n";
    EXPECT_EQ(out, zeroLine + zeroLine);
    ASSERT_TRUE(IsKeyWaiting());
    EXPECT_EQ(ReadKey(), 'z');  // the byte after Esc is left for later
}

class TerminalKeyboardTest : public KeyboardTest {
protected:
    void SetUp() override
    {
        KeyboardTest::SetUp();
        ASSERT_EQ(openpty(&Master, &Slave, nullptr, nullptr, nullptr), 0);
        dup2(Slave, STDIN_FILENO);
        ASSERT_EQ(tcgetattr(STDIN_FILENO, &Original), 0);
        ASSERT_NE(Original.c_lflag & ECHO, 0u);
        ASSERT_NE(Original.c_lflag & ICANON, 0u);
    }

    void TearDown() override
    {
        KeyboardTest::TearDown();
        close(Slave);
        close(Master);
    }

    // Writes bytes as the terminal would send them and waits until they can be read.
    void Type(const std::string& bytes)
    {
        ASSERT_EQ(write(Master, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
        struct pollfd request = {Slave, POLLIN, 0};
        ASSERT_EQ(poll(&request, 1, PtyPatienceMs), 1);
    }

    tcflag_t CurrentFlags()
    {
        struct termios now;
        EXPECT_EQ(tcgetattr(Slave, &now), 0);
        return now.c_lflag;
    }

    int Master = -1, Slave = -1;
    struct termios Original;
};

TEST_F(TerminalKeyboardTest, NoEchoUnbufferedWhileReadingAndRestoredAfter)
{
    BeginKeyReading();
    EXPECT_EQ(CurrentFlags() & (ECHO | ICANON), 0u);
    Type("k");  // no line feed needed
    ASSERT_TRUE(IsKeyWaiting());
    EXPECT_EQ(ReadKey(), 'k');
    EndKeyReading();
    EXPECT_EQ(CurrentFlags(), Original.c_lflag);
}

TEST_F(TerminalKeyboardTest, EscapeSequenceIsNotEscButLoneEscIs)
{
    BeginKeyReading();
    Type("\x1b[A");
    ASSERT_TRUE(IsKeyWaiting());
    EXPECT_EQ(ReadKey(), 0xE0);
    EXPECT_FALSE(IsKeyWaiting());
    Type("\x1b");
    ASSERT_TRUE(IsKeyWaiting());
    EXPECT_EQ(ReadKey(), 27);
}

TEST_F(TerminalKeyboardTest, InterruptRestoresTheTerminalAndIsStillRecorded)
{
    InstallInterruptHandlers();
    BeginKeyReading();
    ASSERT_EQ(CurrentFlags() & (ECHO | ICANON), 0u);
    raise(SIGINT);
    EXPECT_EQ(CurrentFlags(), Original.c_lflag);
    EXPECT_TRUE(IsInterruptRequested());
}

}  // namespace
