#include "play/live/capture_performer.h"

#include "common/time_units.h"
#include "controller/link.h"
#include "controller/pacing.h"
#include "play/live/capture_cursor.h"
#include "play/perform/write_claims.h"
#include "platform/clock.h"
#include "platform/interrupt.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr long long InterruptCheckMs = 100;
constexpr std::size_t KeptArrivals = 64;  // blocks of sound remembered: more than any lookahead spans

struct Performance {
    CaptureStage* Stage;
    WriteClaims Claims;
    long long IntervalCounts = 0;
    long long Start = 0;
    bool Stop = false;  // guarded by the stage's lock
    std::size_t Lost = 0;
    bool AnyLost = false;
};

void PlayController(Performance& performance, std::size_t c, ControllerConnection& connection,
                    std::pair<CaptureSide, CaptureSide> sides, CaptureTiming* timing)
{
    CaptureStage& stage = *performance.Stage;
    CaptureCursor cursor;
    for (long long report = 0;; ++report) {
        const long long due = std::max(performance.Start + report * performance.IntervalCounts, NextReportTurnOf(connection));
        const long long turn = ClaimWriteTime(performance.Claims, c, due);
        if (WaitUntilCounter(turn, true) < 0) break;
        unsigned char blocks[2][RumbleBlockSize];
        std::vector<long long> carried;
        std::vector<long long> arrivals;
        {
            std::lock_guard<std::mutex> guard(stage.Lock);
            if (performance.Stop) break;
            const long long skipped = TakeCaptureReport(cursor, stage.Stream, sides.first, sides.second, blocks[0], blocks[1], &carried);
            if (timing != nullptr) timing->Skipped += skipped;
            const long long first = FirstKeptCaptureSample(stage.Stream);
            for (const long long k : carried) arrivals.push_back(stage.SoundArrived[static_cast<std::size_t>(k - first)]);
        }
        const long long sent = ReadCounter();
        SendRumbleBlocksOn(connection.Link, blocks[0], blocks[1]);
        NoteReportWrittenOn(connection);
        if (timing != nullptr) {
            ++timing->Reports;
            for (const long long arrived : arrivals) {
                timing->FromSoundNs.push_back(RescaleCount(sent - arrived, stage.Frequency, NanosecondsPerSecond));
                timing->BeyondTurnNs.push_back(RescaleCount(sent - std::max(arrived, turn), stage.Frequency, NanosecondsPerSecond));
            }
        }
        if (connection.Link.WriteLength < 0) {
            std::lock_guard<std::mutex> guard(stage.Lock);
            performance.Lost = c;
            performance.AnyLost = true;
            performance.Stop = true;
            stage.Changed.notify_all();
            break;
        }
    }
}

}  // namespace

void StartCaptureStage(CaptureStage& stage, int rate, int channels, bool sides, bool record)
{
    std::lock_guard<std::mutex> guard(stage.Lock);
    stage.Frequency = ReadCounterFrequency();
    StartCaptureStream(&stage.Stream, rate, channels, sides, record);
    stage.Started = true;
}

void ReceiveCapturedSound(CaptureStage& stage, const float* samples, std::size_t frames, long long arrivedAt)
{
    std::lock_guard<std::mutex> guard(stage.Lock);
    if (!stage.Started) return;
    stage.Heard += static_cast<long long>(frames);
    stage.Arrivals.emplace_back(stage.Heard, arrivedAt);
    if (stage.Arrivals.size() > KeptArrivals) stage.Arrivals.erase(stage.Arrivals.begin());
    const long long before = stage.Stream.Made;
    if (FeedCaptureStream(&stage.Stream, samples, frames) == 0) return;
    // Each new sample's sound arrived with the block that held the last of its 5 ms.
    const int rate = stage.Stream.Rate;
    const long long framesPerSecond = MicrosecondsPerSecond / SampleSpacingUs;
    for (long long k = before; k < stage.Stream.Made; ++k) {
        const long long end = (k + 1) * rate / framesPerSecond;
        long long arrived = arrivedAt;
        for (const auto& block : stage.Arrivals)
            if (block.first >= end) {
                arrived = block.second;
                break;
            }
        stage.SoundArrived.push_back(arrived);
    }
    while (stage.SoundArrived.size() > stage.Stream.Samples[0].size()) stage.SoundArrived.pop_front();
    stage.Changed.notify_all();
}

void EndCapture(CaptureStage& stage, const std::string& failure)
{
    std::lock_guard<std::mutex> guard(stage.Lock);
    stage.Ended = true;
    stage.Failure = failure;
    stage.Changed.notify_all();
}

LiveOutcome PerformCapture(CaptureStage& stage, const std::vector<ControllerConnection*>& connections,
                           const std::vector<std::pair<CaptureSide, CaptureSide>>& sides, long long intervalUs,
                           CaptureTiming* timing, std::size_t* lost)
{
    Performance performance;
    performance.Stage = &stage;
    performance.IntervalCounts = RescaleCount(intervalUs, MicrosecondsPerSecond, stage.Frequency);
    performance.Start = ReadCounter();
    StartWriteClaims(performance.Claims, connections.size(),
                     RescaleCount(LeastGapBetweenControllersUs, MicrosecondsPerSecond, stage.Frequency));
    std::vector<CaptureTiming> timings(connections.size());
    std::vector<std::thread> threads;
    for (std::size_t c = 0; c < connections.size(); ++c)
        threads.emplace_back(PlayController, std::ref(performance), c, std::ref(*connections[c]), sides[c],
                             timing != nullptr ? &timings[c] : nullptr);
    LiveOutcome outcome = LiveOutcome::Ended;
    {
        std::unique_lock<std::mutex> lock(stage.Lock);
        while (!performance.Stop) {
            stage.Changed.wait_for(lock, std::chrono::milliseconds(InterruptCheckMs));
            if (IsInterruptRequested()) {
                outcome = LiveOutcome::Interrupted;
                performance.Stop = true;
            } else if (stage.Ended) {
                outcome = stage.Failure.empty() ? LiveOutcome::Ended : LiveOutcome::InputFailed;
                performance.Stop = true;
            }
        }
    }
    for (std::thread& thread : threads) thread.join();
    if (timing != nullptr)
        for (const CaptureTiming& t : timings) {
            timing->FromSoundNs.insert(timing->FromSoundNs.end(), t.FromSoundNs.begin(), t.FromSoundNs.end());
            timing->BeyondTurnNs.insert(timing->BeyondTurnNs.end(), t.BeyondTurnNs.begin(), t.BeyondTurnNs.end());
            timing->Reports += t.Reports;
            timing->Skipped += t.Skipped;
        }
    if (performance.AnyLost) {
        if (lost != nullptr) *lost = performance.Lost;
        return LiveOutcome::ControllerLost;
    }
    return outcome;
}
