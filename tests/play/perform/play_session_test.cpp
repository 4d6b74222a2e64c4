// The play session on the fake backend: whatever way it ends, every controller it set up is
// given back and every one it opened is closed, and the exit status says how it ended.
#include "controller/link.h"
#include "play/perform/exit_status.h"
#include "play/perform/play_session.h"
#include "platform/interrupt.h"
#include "tests/support/fake_hid.h"
#include "tests/support/test_clock.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

constexpr long long Ms = 1000000;

std::vector<unsigned char> Reply(unsigned char id)
{
    std::vector<unsigned char> r(49, 0);
    r[0] = 0x21;
    r[2] = 0x8E;
    r[13] = 0x80;
    r[14] = id;
    return r;
}

// Answers to the set-up's three subcommands, then (after the silence report) the restore's.
void AnswerSetUpAndRestore()
{
    const unsigned char answers[] = {0x03, 0x30, 0x48, 0, 0x48, 0x30, 0x03};
    for (int w = 0; w < 7; ++w)
        if (answers[w] != 0) fake_hid::QueueReadAnswer(Reply(answers[w]), HidInputReportSize, w + 1, 20 * Ms);
}

// The report ID and, for subcommands, ID and argument of every write.
std::string Written()
{
    std::string out;
    for (const fake_hid::Event& w : fake_hid::Writes()) {
        char text[16];
        if (w.bytes[0] == 0x01)
            std::snprintf(text, sizeof text, "01%02x%02x ", w.bytes[10], w.bytes[11]);
        else
            std::snprintf(text, sizeof text, "%02x ", w.bytes[0]);
        out += text;
    }
    return out;
}

struct Calls {
    std::string Made;  // P(repare), p(erform), S(top), R(eport), in order
};

SessionSteps StepsEnding(Calls& calls, SessionOutcome outcome, bool prepared = true)
{
    SessionSteps steps;
    steps.Prepare = [&calls, prepared](const std::vector<OpenedController>&) {
        calls.Made += 'P';
        return prepared;
    };
    steps.Perform = [&calls, outcome](std::vector<OpenedController>&) {
        calls.Made += 'p';
        if (outcome == SessionOutcome::Interrupted) RequestInterrupt();
        return SessionResult{outcome, 0};
    };
    steps.Stop = [&calls] { calls.Made += 'S'; };
    steps.Report = [&calls](const SessionResult&) { calls.Made += 'R'; };
    return steps;
}

class PlaySession : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_clock::Reset();
        fake_hid::Reset();
        ClearInterruptRequest();
    }
    void TearDown() override { ClearInterruptRequest(); }
};

TEST_F(PlaySession, EveryWayOutGivesTheControllerBackAndClosesIt)
{
    const std::string setUp = "01033f 013001 014801 ";
    const std::string restore = "10 014800 013000 01033f ";  // the simple mode: no other was found
    struct Case {
        SessionOutcome Outcome;
        int Exit;
    };
    for (const Case& c : {Case{SessionOutcome::Played, ExitPlayed}, Case{SessionOutcome::ControllerLost, ExitControllerLost},
                          Case{SessionOutcome::InputFailed, ExitBadInput},
                          Case{SessionOutcome::Interrupted, InterruptedExitStatus}}) {
        SetUp();
        AnswerSetUpAndRestore();
        Calls calls;
        bool ready = false;
        EXPECT_EQ(RunPlaySession({}, 15000, StepsEnding(calls, c.Outcome), &ready), c.Exit) << int(c.Outcome);
        EXPECT_TRUE(ready);
        EXPECT_EQ(calls.Made, "PpSR");
        EXPECT_EQ(Written(), setUp + restore) << int(c.Outcome);
        EXPECT_EQ(fake_hid::CallSequence().back(), 'C');
    }
}

TEST_F(PlaySession, ARefusedPreparationOrAFailedSetUpPlaysNothing)
{
    // Refused before the set-up: nothing is written, and the controller is closed untouched.
    Calls calls;
    EXPECT_EQ(RunPlaySession({}, 15000, StepsEnding(calls, SessionOutcome::Played, false)), ExitBadInput);
    EXPECT_EQ(calls.Made, "P");
    EXPECT_EQ(Written(), "");
    EXPECT_EQ(fake_hid::CallSequence(), "OC");

    // "Enable vibration" never taken: not played, but given back all the same.
    SetUp();
    fake_hid::QueueReadAnswer(Reply(0x03), HidInputReportSize, 1, 20 * Ms);
    fake_hid::QueueReadAnswer(Reply(0x30), HidInputReportSize, 2, 20 * Ms);
    calls = Calls{};
    bool ready = true;
    EXPECT_EQ(RunPlaySession({}, 15000, StepsEnding(calls, SessionOutcome::Played), &ready), ExitControllerLost);
    EXPECT_FALSE(ready);
    EXPECT_EQ(calls.Made, "PSR");
    // (Unanswered, each restoring subcommand is tried three times.)
    const std::string written = Written();
    EXPECT_NE(written.find("014801 10 014800 "), std::string::npos) << written;
    EXPECT_EQ(written.substr(written.size() - 7), "01033f ") << written;
    EXPECT_EQ(fake_hid::CallSequence().back(), 'C');

    // No controller: nothing else happens.
    SetUp();
    fake_hid::SetDeviceAbsent(true);
    calls = Calls{};
    EXPECT_EQ(RunPlaySession({}, 15000, StepsEnding(calls, SessionOutcome::Played)), ExitNoController);
    EXPECT_EQ(calls.Made, "");
    EXPECT_EQ(Written(), "");
}

}  // namespace
