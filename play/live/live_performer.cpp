#include "play/live/live_performer.h"

#include "common/time_units.h"
#include "play/schedule/report_schedule.h"

#include "controller/pacing.h"
#include "play/perform/write_claims.h"
#include "platform/clock.h"
#include "platform/interrupt.h"
#include "platform/sleep.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

// How often the waiting thread looks for an interrupt, and the least time between two status lines.
constexpr long long InterruptCheckMs = 100;
constexpr long long StatusPeriodMs = 40;

long long UsOf(const LiveStage& stage, long long counter)
{
    return RescaleCount(counter - stage.Start, stage.Frequency, MicrosecondsPerSecond);
}

long long CounterOf(const LiveStage& stage, long long us)
{
    return stage.Start + RescaleCount(us, MicrosecondsPerSecond, stage.Frequency);
}

struct Performance {
    LiveStage* Stage;
    WriteClaims Claims;
    bool Stop = false;  // guarded by the stage's lock
    std::size_t Lost = 0;
    bool AnyLost = false;
};

void PlayController(Performance& performance, std::size_t c, ControllerConnection& connection, LiveTiming* timing)
{
    LiveStage& stage = *performance.Stage;
    const long long wakeEarly = RescaleCount(SleepMarginUs(), MicrosecondsPerSecond, stage.Frequency);
    std::unique_lock<std::mutex> lock(stage.Lock);
    while (!performance.Stop) {
        RumbleBytes left;
        RumbleBytes right;
        FormLiveBlocks(stage.Voices, static_cast<int>(c), &left, &right);
        const long long now = ReadCounter();
        const long long turn = NextReportTurnOf(connection);
        const long long due = CounterOf(stage, NextLiveReportUs(stage.Outputs[c], left, right, UsOf(stage, now),
                                                                UsOf(stage, turn)));
        if (due - now > wakeEarly) {
            // Nothing due yet: sleep until shortly before it, or until the input changes something.
            stage.Changed.wait_for(lock, std::chrono::nanoseconds(RescaleCount(due - now - wakeEarly, stage.Frequency,
                                                                               NanosecondsPerSecond)));
            continue;
        }
        lock.unlock();
        const bool reached = WaitUntilCounter(ClaimWriteTime(performance.Claims, c, std::max(due, turn)), true) >= 0;
        lock.lock();
        if (!reached || performance.Stop) break;
        // What sounds now: changes that came while it waited go out in this report.
        FormLiveBlocks(stage.Voices, static_cast<int>(c), &left, &right);
        std::vector<long long> arrivals;
        arrivals.swap(stage.Arrivals[c]);
        lock.unlock();
        const long long sent = ReadCounter();
        SendRumbleBlocksOn(connection.Link, left.Bytes, right.Bytes);
        NoteReportWrittenOn(connection);
        lock.lock();
        NoteLiveReportSent(stage.Outputs[c], left, right, UsOf(stage, sent));
        if (timing != nullptr) {
            ++timing->Reports;
            for (const long long arrived : arrivals) {
                timing->FromArrivalNs.push_back(RescaleCount(sent - arrived, stage.Frequency, NanosecondsPerSecond));
                timing->BeyondTurnNs.push_back(
                    RescaleCount(sent - std::max(arrived, turn), stage.Frequency, NanosecondsPerSecond));
            }
        }
        if (connection.Link.WriteLength < 0) {
            performance.Lost = c;
            performance.AnyLost = true;
            performance.Stop = true;
            stage.Changed.notify_all();
        }
    }
}

}  // namespace

void StartLiveStage(LiveStage& stage)
{
    stage.Frequency = ReadCounterFrequency();
    stage.Start = ReadCounter();
    stage.Outputs.assign(stage.Voices.Actuators.size(), LiveOutput{});
    stage.Arrivals.assign(stage.Voices.Actuators.size(), {});
}

void ReceiveLiveBytes(LiveStage& stage, const unsigned char* bytes, std::size_t count, long long arrivedAt)
{
    std::lock_guard<std::mutex> guard(stage.Lock);
    const std::size_t controllers = stage.Outputs.size();
    std::vector<RumbleBytes> before(2 * controllers);
    for (std::size_t c = 0; c < controllers; ++c)
        FormLiveBlocks(stage.Voices, static_cast<int>(c), &before[2 * c], &before[2 * c + 1]);
    const long long atUs = UsOf(stage, arrivedAt);
    std::vector<MidiMessage> messages;
    for (std::size_t i = 0; i < count; ++i) {
        MidiMessage message{};
        if (ReadMidiByte(stage.Reader, bytes[i], &message)) messages.push_back(message);
    }
    if (!TakeLiveMessages(stage.Voices, messages, atUs)) return;
    for (std::size_t c = 0; c < controllers; ++c) {
        RumbleBytes left;
        RumbleBytes right;
        FormLiveBlocks(stage.Voices, static_cast<int>(c), &left, &right);
        const LiveOutput& sent = stage.Outputs[c];
        if (sent.HasSent && SameRumble(left, sent.Left) && SameRumble(right, sent.Right))
            stage.Arrivals[c].clear();  // back to what was sent: the changes cancelled out, none is owed
        else if (stage.Playing && !(SameRumble(left, before[2 * c]) && SameRumble(right, before[2 * c + 1])))
            stage.Arrivals[c].push_back(arrivedAt);
    }
    ++stage.Version;
    stage.Changed.notify_all();
}

void EndLiveInput(LiveStage& stage, const std::string& failure)
{
    std::lock_guard<std::mutex> guard(stage.Lock);
    stage.Ended = true;
    stage.Failure = failure;
    stage.Changed.notify_all();
}

LiveOutcome PerformLive(LiveStage& stage, const std::vector<ControllerConnection*>& connections,
                        const LiveStatusHandler& status, LiveTiming* timing, std::size_t* lost)
{
    Performance performance;
    performance.Stage = &stage;
    StartWriteClaims(performance.Claims, connections.size(),
                     RescaleCount(LeastGapBetweenControllersUs, MicrosecondsPerSecond, stage.Frequency));
    std::vector<LiveTiming> timings(connections.size());
    std::vector<std::thread> threads;
    std::unique_lock<std::mutex> lock(stage.Lock);
    stage.Playing = true;
    for (std::size_t c = 0; c < connections.size(); ++c)
        threads.emplace_back(PlayController, std::ref(performance), c, std::ref(*connections[c]),
                             timing != nullptr ? &timings[c] : nullptr);
    LiveOutcome outcome = LiveOutcome::Ended;
    long long shown = -1;
    auto lastShown = std::chrono::steady_clock::now() - std::chrono::milliseconds(StatusPeriodMs);
    while (!performance.Stop) {
        const auto now = std::chrono::steady_clock::now();
        const bool statusDue = status && shown != stage.Version;
        if (statusDue && now - lastShown >= std::chrono::milliseconds(StatusPeriodMs)) {
            shown = stage.Version;
            lastShown = now;
            const std::vector<LiveBand> bands = stage.Voices.Bands;
            lock.unlock();
            status(bands);
            lock.lock();
            continue;
        }
        stage.Changed.wait_for(lock, std::chrono::milliseconds(statusDue ? StatusPeriodMs : InterruptCheckMs));
        if (IsInterruptRequested()) {
            outcome = LiveOutcome::Interrupted;
            performance.Stop = true;
        } else if (stage.Ended) {
            outcome = stage.Failure.empty() ? LiveOutcome::Ended : LiveOutcome::InputFailed;
            performance.Stop = true;
        }
    }
    stage.Playing = false;
    stage.Changed.notify_all();
    lock.unlock();
    for (std::thread& thread : threads) thread.join();
    if (timing != nullptr) {
        for (const LiveTiming& t : timings) {
            timing->FromArrivalNs.insert(timing->FromArrivalNs.end(), t.FromArrivalNs.begin(), t.FromArrivalNs.end());
            timing->BeyondTurnNs.insert(timing->BeyondTurnNs.end(), t.BeyondTurnNs.begin(), t.BeyondTurnNs.end());
            timing->Reports += t.Reports;
        }
    }
    if (performance.AnyLost) {
        if (lost != nullptr) *lost = performance.Lost;
        return LiveOutcome::ControllerLost;
    }
    return outcome;
}
