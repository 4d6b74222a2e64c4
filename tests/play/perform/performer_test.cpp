// The performer on the fake backend and the test clock: due times, the least interval, stalls
// and passed-over reports, interrupts, several controllers, passes.
#include "play/perform/performer.h"
#include "play/schedule/stream_schedule.h"
#include "platform/interrupt.h"
#include "tests/support/fake_hid.h"
#include "tests/support/test_clock.h"
#include "tests/support/text_schedules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

class PlayPerformer : public ::testing::Test {
protected:
    void SetUp() override
    {
        test_clock::Reset();
        fake_hid::Reset();
        ClearInterruptRequest();
    }

    static ControllerConnection ConnectionOn(int handle)
    {
        ControllerConnection connection;
        StartConnection(connection, handle, TestIntervalUs);
        return connection;
    }

    // Two controllers, each written from a thread of its own: three threads read one counter,
    // so it follows real time and the margins are wide.
    void OpenTwoControllers()
    {
        test_clock::FollowRealTime();
        fake_hid::SetDeviceCount(2);
        first = ConnectionOn(OpenNextHidHandle(ControllerVendorId, ControllerProductId));
        second = ConnectionOn(OpenNextHidHandle(ControllerVendorId, ControllerProductId));
        ASSERT_NE(first.Link.Handle, second.Link.Handle);
    }

    ControllerConnection first;
    ControllerConnection second;
};

TEST_F(PlayPerformer, SendsEveryReportAtItsDueTimeAndNeverCloserThanTheInterval)
{
    const Schedule s = ScheduleOf("t25 o3 e4 g+2 r1 a8");
    ControllerConnection link = ConnectionOn(OpenHidHandle(ControllerVendorId, ControllerProductId));
    ASSERT_EQ(PerformSchedule(link, s, nullptr), PerformOutcome::Played);
    const std::vector<fake_hid::Event> writes = fake_hid::Writes();
    ASSERT_EQ(writes.size(), s.Reports.size());
    const long long start = writes[0].timeNs;
    for (std::size_t i = 0; i < writes.size(); ++i) {
        // On time to within two readings of the stepping counter.
        EXPECT_GE(writes[i].timeNs - start, s.Reports[i].DueUs * 1000) << i;
        EXPECT_LE(writes[i].timeNs - start, s.Reports[i].DueUs * 1000 + 2 * test_clock::DefaultStepNs) << i;
        EXPECT_EQ(std::memcmp(writes[i].bytes.data() + 2, s.Reports[i].Left.Bytes, 4), 0) << i;
        EXPECT_EQ(std::memcmp(writes[i].bytes.data() + 6, s.Reports[i].Left.Bytes, 4), 0) << i;
    }
    // It slept for most of the time rather than spinning.
    EXPECT_GE(test_clock::SleepCount(), static_cast<long long>(s.Reports.size()));
    EXPECT_LT(test_clock::CounterReadings(), 20000);
}

TEST_F(PlayPerformer, AfterAStallTheLatestOverdueStateGoesOutNeverCloserThanTheInterval)
{
    // Reports every 8 ms from 0 to 112 ms.
    const Schedule s = ScheduleOf("t16 o3 c1 d1 e1 f1 g1 a1 b1 r2");
    ASSERT_EQ(s.Reports.size(), 15u);
    ControllerConnection link = ConnectionOn(OpenHidHandle(ControllerVendorId, ControllerProductId));
    // The first report goes out 30 ms late: the counter jumps just before it is sent. The next
    // may go out at 38 ms, by when the one due at 32 ms is the latest due; from there each is
    // sent 6 ms late, 8 ms after the one before.
    test_clock::JumpAtReading(test_clock::CounterReadings() + 4, 30000000);
    std::vector<long long> sentDue;
    PerformTiming timing;
    ASSERT_EQ(PerformSchedule(link, s, [&](long long due) { sentDue.push_back(due); }, &timing),
              PerformOutcome::Played);
    EXPECT_EQ(timing.PassedOver, 3);
    ASSERT_EQ(timing.LateNs.size(), 12u);
    EXPECT_GT(timing.LateNs[0], 20000000);
    // Due at 32 ms, sent 8 ms after the first: 24 ms less late than it.
    EXPECT_NEAR(timing.LateNs[1], timing.LateNs[0] - 24000000, 5 * test_clock::DefaultStepNs);
    sentDue.pop_back();  // the end
    std::vector<long long> expected{0};
    for (long long due = 32000; due <= 112000; due += 8000) expected.push_back(due);
    EXPECT_EQ(sentDue, expected);
    const std::vector<fake_hid::Event> writes = fake_hid::Writes();
    ASSERT_EQ(writes.size(), expected.size());
    for (std::size_t i = 1; i < writes.size(); ++i) {
        EXPECT_GE(writes[i].timeNs - writes[i - 1].timeNs, TestIntervalUs * 1000) << i;
        EXPECT_LE(writes[i].timeNs - writes[0].timeNs, (expected[i] + 6000) * 1000 + 5 * test_clock::DefaultStepNs) << i;
    }
}

TEST_F(PlayPerformer, AfterAStallAStreamedReportPutsTheControllerInTheStateItsReportLeaves)
{
    // A swell that steps up and down, so that most blocks step on from the state before them.
    RumbleStream stream;
    for (int i = 0; i < 90; ++i)
        stream.Samples.push_back({{-30 - 4 * (i % 12), i % 20}, {-60 - 2 * (i % 7), -i % 9}});
    const Schedule s = BuildStreamSchedule(stream, stream, TestIntervalUs, FullVolumePercent);
    ASSERT_FALSE(IsAbsoluteRumbleBlock(s.Reports[5].Left.Bytes));
    ControllerConnection link = ConnectionOn(OpenHidHandle(ControllerVendorId, ControllerProductId));
    // The machine stalls for 50 ms after the report due at 30 ms: those due at 45 and 60 ms are
    // passed over for the one due at 75 ms.
    PerformTiming timing;
    const auto stall = [&](long long playedUs) {
        if (playedUs == 30000) test_clock::Advance(50000000);
    };
    ASSERT_EQ(PerformSchedule(link, s, stall, &timing), PerformOutcome::Played);
    ASSERT_EQ(timing.PassedOver, 2);
    // The controller, following the blocks it got, plays from then on what the whole schedule
    // plays: never louder than the safe maximum, never a sample off.
    RumbleSample sent = RestingRumbleSample;
    RumbleSample meant = RestingRumbleSample;
    RumbleSample samples[MaxSamplesPerBlock];
    const std::vector<fake_hid::Event> writes = fake_hid::Writes();
    ASSERT_EQ(writes.size(), s.Reports.size() - 2);
    for (std::size_t i = 0, r = 0; i < writes.size(); ++i, ++r) {
        if (r == 3) r = 5;
        for (std::size_t k = r == 5 ? 3 : r; k <= r; ++k) DecodeRumbleBlock(s.Reports[k].Left.Bytes, &meant, samples);
        const int played = DecodeRumbleBlock(writes[i].bytes.data() + 2, &sent, samples);
        for (int k = 0; k < played; ++k) EXPECT_LE(samples[k].High.Amplitude, SafeMaximumAmplitude) << i;
        EXPECT_EQ(std::memcmp(&sent, &meant, sizeof sent), 0) << "report " << r;
    }
}

TEST_F(PlayPerformer, TheIntervalCountsFromTheEndOfASlowWrite)
{
    // Reports due every 8 ms; each write takes 5 ms before it returns.
    const Schedule s = ScheduleOf("t16 o3 c1 d1 e1 f1");
    ControllerConnection link = ConnectionOn(OpenHidHandle(ControllerVendorId, ControllerProductId));
    fake_hid::SetWriteDurationNs(5000000);
    ASSERT_EQ(PerformSchedule(link, s, nullptr), PerformOutcome::Played);
    const std::vector<fake_hid::Event> writes = fake_hid::Writes();
    ASSERT_GE(writes.size(), 3u);
    for (std::size_t i = 1; i < writes.size(); ++i)
        EXPECT_GE(writes[i].timeNs - writes[i - 1].timeNs, (5000 + TestIntervalUs) * 1000) << i;
}

TEST_F(PlayPerformer, StopsAtAnInterruptAndWhenTheControllerIsGone)
{
    const Schedule s = ScheduleOf("t100 c16");
    ControllerConnection link = ConnectionOn(OpenHidHandle(ControllerVendorId, ControllerProductId));
    int reports = 0;
    EXPECT_EQ(PerformSchedule(link, s, [&](long long) {
                  if (++reports == 3) RequestInterrupt();
              }),
              PerformOutcome::Interrupted);
    EXPECT_EQ(fake_hid::Writes().size(), 3u);
    ClearInterruptRequest();
    link.Link.Handle = -1;  // a closed handle fails every write
    EXPECT_EQ(PerformSchedule(link, s, nullptr), PerformOutcome::ControllerLost);
}

TEST_F(PlayPerformer, SeveralControllersEachKeepTheirScheduleAndALostOneIsNamed)
{
    // Both due every 10 ms. How far apart the two controllers' writes go is shown end to end,
    // on the virtual controller's clock.
    OpenTwoControllers();
    const Schedule s = ScheduleOf("t20 o3 c1 d1 e1 f1");
    PerformTiming timing;
    ASSERT_EQ(PerformSchedules({{&first, &s}, {&second, &s}}, nullptr, &timing, nullptr), PerformOutcome::Played);
    std::vector<long long> times[2];
    for (const fake_hid::Event& w : fake_hid::Writes()) times[w.handle == first.Link.Handle ? 0 : 1].push_back(w.timeNs);
    // Every report went out, or was passed over after a stall of the machine; each controller's
    // last went out about as long after its first as the schedule says.
    EXPECT_EQ(times[0].size() + times[1].size() + static_cast<std::size_t>(timing.PassedOver), 2 * s.Reports.size());
    const long long span = (s.Reports.back().DueUs - s.Reports.front().DueUs) * 1000;
    for (const std::vector<long long>& t : times) {
        ASSERT_FALSE(t.empty());
        EXPECT_GE(t.back() - t.front(), span - 20000000);
        EXPECT_LE(t.back() - t.front(), span + 50000000);
    }
    second.Link.Handle = -1;
    std::size_t lost = 0;
    EXPECT_EQ(PerformSchedules({{&first, &s}, {&second, &s}}, nullptr, nullptr, &lost), PerformOutcome::ControllerLost);
    EXPECT_EQ(lost, 1u);
}

TEST_F(PlayPerformer, AWriteThatHangsDelaysNoOtherController)
{
    // Every write to the first controller takes 200 ms; the second's reports, due every 10 ms
    // for 80 ms, still go out on time.
    OpenTwoControllers();
    const Schedule s = ScheduleOf("t20 o3 c1 d1 e1 f1");
    fake_hid::SetWriteStallMs(first.Link.Handle, 200);
    ASSERT_EQ(PerformSchedules({{&first, &s}, {&second, &s}}, nullptr, nullptr, nullptr), PerformOutcome::Played);
    std::vector<long long> times;
    long long start = -1;
    for (const fake_hid::Event& w : fake_hid::Writes()) {
        if (start < 0) start = w.timeNs;
        if (w.handle == second.Link.Handle) times.push_back(w.timeNs - start);
    }
    ASSERT_EQ(times.size(), s.Reports.size());
    EXPECT_LE(times.back(), s.Reports.back().DueUs * 1000 + 150000000);
}



TEST_F(PlayPerformer, APiecePlayedTwiceStartsAgainWhereItEnds)
{
    const Schedule s = ScheduleOf("t25 o3 e4 g+2 a8");
    ASSERT_EQ(s.Reports.back().DueUs, s.LengthUs);  // the closing silence
    ControllerConnection link = ConnectionOn(OpenHidHandle(ControllerVendorId, ControllerProductId));
    long long played = 0;
    ASSERT_EQ(PerformSchedules({PerformedController{&link, &s}}, [&](long long us) { played = us; }, nullptr, nullptr, 2),
              PerformOutcome::Played);
    EXPECT_EQ(played, 2 * s.LengthUs);
    // The first pass leaves its closing silence out: the second pass's first report stands there.
    const std::vector<fake_hid::Event> writes = fake_hid::Writes();
    const std::size_t first = s.Reports.size() - 1;
    ASSERT_EQ(writes.size(), first + s.Reports.size());
    const long long start = writes[0].timeNs;
    for (std::size_t i = 0; i < writes.size(); ++i) {
        const std::size_t k = i < first ? i : i - first;
        const long long due = (i < first ? 0 : s.LengthUs) + s.Reports[k].DueUs;
        EXPECT_NEAR(writes[i].timeNs - start, due * 1000, 2 * test_clock::DefaultStepNs) << i;
        EXPECT_EQ(std::memcmp(writes[i].bytes.data() + 2, s.Reports[k].Left.Bytes, 4), 0) << i;
    }
}

TEST_F(PlayPerformer, PassesAfterTheFirstBeginWhereTheScheduleSays)
{
    Schedule s = ScheduleOf("t25 o3 e4 g+2 a8");
    ASSERT_GE(s.Reports.size(), 4u);
    s.RepeatFromUs = s.Reports[2].DueUs;
    const long long passUs = s.LengthUs - s.RepeatFromUs;
    ControllerConnection link = ConnectionOn(OpenHidHandle(ControllerVendorId, ControllerProductId));
    long long played = 0;
    ASSERT_EQ(PerformSchedules({PerformedController{&link, &s}}, [&](long long us) { played = us; }, nullptr, nullptr, 3),
              PerformOutcome::Played);
    EXPECT_EQ(played, s.LengthUs + 2 * passUs);
    // Reports 0 to n-2, then twice 2 to n-2 and n-1 at the very end, each pass where the one before ended.
    std::vector<std::pair<std::size_t, long long>> expected;
    const std::size_t n = s.Reports.size();
    for (std::size_t k = 0; k + 1 < n; ++k) expected.push_back({k, s.Reports[k].DueUs});
    for (int pass = 1; pass <= 2; ++pass)
        for (std::size_t k = 2; k + (pass == 2 ? 0 : 1) < n; ++k) expected.push_back({k, pass * passUs + s.Reports[k].DueUs});
    const std::vector<fake_hid::Event> writes = fake_hid::Writes();
    ASSERT_EQ(writes.size(), expected.size());
    for (std::size_t i = 0; i < writes.size(); ++i) {
        EXPECT_NEAR(writes[i].timeNs - writes[0].timeNs, expected[i].second * 1000, 2 * test_clock::DefaultStepNs) << i;
        EXPECT_EQ(std::memcmp(writes[i].bytes.data() + 2, s.Reports[expected[i].first].Left.Bytes, 4), 0) << i;
    }
}

TEST_F(PlayPerformer, AStreamsReportsOneIntervalApartKeepTheirTimesThoughEachWriteTakesAMoment)
{
    // Reports exactly one interval apart, as a stream's are; every counter reading takes 20 us,
    // so that each write ends a little after it began.
    Schedule s;
    for (int k = 0; k < 200; ++k) s.Reports.push_back(ScheduledReport{k * TestIntervalUs, {}, {}});
    s.LengthUs = 200 * TestIntervalUs;
    s.WriteAllowanceUs = StreamWriteAllowanceUs;
    test_clock::SetStep(20000);
    ControllerConnection link = ConnectionOn(OpenHidHandle(ControllerVendorId, ControllerProductId));
    PerformTiming timing;
    ASSERT_EQ(PerformSchedules({PerformedController{&link, &s}}, nullptr, &timing, nullptr),
              PerformOutcome::Played);
    // Counted from the end of the write before, the interval would push every report a little
    // later than the one before, until reports were passed over.
    EXPECT_EQ(timing.PassedOver, 0);
    EXPECT_EQ(timing.LateNs.size(), s.Reports.size());
    EXPECT_LT(*std::max_element(timing.LateNs.begin(), timing.LateNs.end()), 1000000);
}

}  // namespace
