// The live performer on the fake backend: a message's change goes out after it arrives, and the
// play ends as the input or a controller does.
#include "controller/connection.h"
#include "controller/link.h"
#include "play/live/live_performer.h"
#include "platform/clock.h"
#include "platform/interrupt.h"
#include "rumble/tone_tables.h"
#include "tests/support/fake_hid.h"
#include "tests/support/test_clock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>

namespace {

constexpr long long IntervalUs = 15000;

bool Sounds(const fake_hid::Event& write)
{
    return std::memcmp(write.bytes.data() + 2, SilenceRumble, sizeof SilenceRumble) != 0;
}

// Waits (in real time, bounded so that a fault fails rather than hangs) until pred holds.
template <typename Pred>
bool WaitFor(Pred pred)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

class LivePerformer : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_clock::Reset();
        test_clock::FollowRealTime();  // the input's and the controllers' threads wait at once
        fake_hid::Reset();
        ClearInterruptRequest();
        BuildToneTables();
        StartConnection(connection, OpenHidHandle(ControllerVendorId, ControllerProductId), IntervalUs);
        StartLiveVoices(stage.Voices, {1}, {}, 0, 100, 2, false);
        StartLiveStage(stage);
    }

    // Once the controllers play: a note on, and then, once it was written, the input's end.
    std::thread PlayANoteThenEnd(const std::string& failure, long long* arrivedAt)
    {
        return std::thread([this, failure, arrivedAt] {
            WaitFor([this] {
                std::lock_guard<std::mutex> guard(stage.Lock);
                return stage.Playing;
            });
            const unsigned char on[] = {0x90, 69, 100};
            *arrivedAt = ReadCounter();
            ReceiveLiveBytes(stage, on, sizeof on, *arrivedAt);
            WaitFor([] {
                for (const fake_hid::Event& w : fake_hid::Writes())
                    if (Sounds(w)) return true;
                return false;
            });
            EndLiveInput(stage, failure);
        });
    }

    ControllerConnection connection;
    LiveStage stage;
};

TEST_F(LivePerformer, ANotesChangeGoesOutAfterItArrivesAndTheInputsEndEndsThePlay)
{
    long long arrivedAt = 0;
    std::thread input = PlayANoteThenEnd("", &arrivedAt);
    LiveTiming timing;
    std::size_t lost = 99;
    EXPECT_EQ(PerformLive(stage, {&connection}, {}, &timing, &lost), LiveOutcome::Ended);
    input.join();
    EXPECT_EQ(lost, 99u);
    bool sounded = false;
    for (const fake_hid::Event& w : fake_hid::Writes()) {
        if (!Sounds(w)) continue;
        sounded = true;
        EXPECT_GE(w.timeNs, arrivedAt);
    }
    EXPECT_TRUE(sounded);
    EXPECT_EQ(timing.FromArrivalNs.size(), 1u);
}

TEST_F(LivePerformer, AFailedInputOrAControllerThatTakesNoReportEndsThePlaySayingWhich)
{
    long long arrivedAt = 0;
    std::thread input = PlayANoteThenEnd("the pipe was closed", &arrivedAt);
    EXPECT_EQ(PerformLive(stage, {&connection}, {}, nullptr, nullptr), LiveOutcome::InputFailed);
    input.join();

    // Two controllers, the second never opened: its first write fails and names it.
    LiveStage two;
    StartLiveVoices(two.Voices, {1, 1}, {}, 0, 100, 2, false);
    StartLiveStage(two);
    ControllerConnection gone;
    StartConnection(gone, -1, IntervalUs);
    std::size_t lost = 0;
    std::atomic<bool> done{false};  // the play may end before this thread looks
    std::thread note([&two, &done] {
        WaitFor([&two, &done] {
            std::lock_guard<std::mutex> guard(two.Lock);
            return two.Playing || done;
        });
        const unsigned char chord[] = {0x90, 69, 100, 0x90, 45, 100};
        ReceiveLiveBytes(two, chord, sizeof chord, ReadCounter());
    });
    EXPECT_EQ(PerformLive(two, {&connection, &gone}, {}, nullptr, &lost), LiveOutcome::ControllerLost);
    done = true;
    note.join();
    EXPECT_EQ(lost, 1u);
}

}  // namespace
