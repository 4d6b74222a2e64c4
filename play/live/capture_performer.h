// Plays sound caught live on controllers as it comes. The capture's own thread feeds the stream;
// each controller has a thread that wakes every interval and sends the samples made since its
// last report (three to a report, 5 ms apart), skipping the oldest when it fell behind by more
// than a sample, so that the rumble stays as near the sound as the analysis allows.
#pragma once

#include "controller/connection.h"
#include "play/live/capture_stream.h"
#include "play/live/live_performer.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

// How the samples went out, as the player's own counter saw it.
struct CaptureTiming {
    std::vector<long long> FromSoundNs;   // of each sample sent: written minus its sound's arrival
    std::vector<long long> BeyondTurnNs;  // written minus the later of that arrival and the report's turn
    long long Reports = 0;
    long long Skipped = 0;                // samples never sent: a controller fell behind
};

// What the capture's thread and the controllers' threads share.
struct CaptureStage {
    std::mutex Lock;
    std::condition_variable Changed;
    long long Frequency = 0;
    bool Started = false;                         // sound that comes before is dropped
    CaptureStream Stream;
    long long Heard = 0;                          // input frames taken
    std::vector<std::pair<long long, long long>> Arrivals;  // (input frames taken, counter) of the latest blocks
    std::deque<long long> SoundArrived;           // per kept sample: when the last of its sound arrived
    bool Ended = false;
    std::string Failure;
};

// Readies the stage for sound at rate with channels (the sound that came before is dropped);
// sides: Pro Controllers play the sides of stereo sound; record: keep the mix's samples.
void StartCaptureStage(CaptureStage& stage, int rate, int channels, bool sides, bool record);

// The capture's handlers: sound (frames of interleaved samples) as it arrived, and the end.
void ReceiveCapturedSound(CaptureStage& stage, const float* samples, std::size_t frames, long long arrivedAt);
void EndCapture(CaptureStage& stage, const std::string& failure);

// Plays until the capture ends, an interrupt, or a failed write (*lost then names the
// controller). sides[c] is what controller c's left and right actuators play; intervalUs the
// time between two reports to a controller.
LiveOutcome PerformCapture(CaptureStage& stage, const std::vector<ControllerConnection*>& connections,
                           const std::vector<std::pair<CaptureSide, CaptureSide>>& sides, long long intervalUs,
                           CaptureTiming* timing, std::size_t* lost);
