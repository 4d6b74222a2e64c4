// Plays live input on controllers as it arrives. The input's own thread reads the bytes into
// the voices; each controller has a thread that sleeps until its next report is due (a change,
// as soon as the least interval allows; else a refresh) and writes what the voices sound then,
// so that changes that come while it waits for its turn merge into one report.
#pragma once

#include "controller/connection.h"
#include "play/live/live_output.h"
#include "play/live/live_voices.h"
#include "play/live/midi_stream.h"

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

enum class LiveOutcome { Ended, InputFailed, Interrupted, ControllerLost };

// How the changes went out, as the player's own counter saw it.
struct LiveTiming {
    std::vector<long long> FromArrivalNs;  // of each message that changed a report: written minus arrived
    std::vector<long long> BeyondTurnNs;   // written minus the moment the least interval allowed it
    long long Reports = 0;
};

// What the input's thread and the controllers' threads share.
struct LiveStage {
    std::mutex Lock;
    std::condition_variable Changed;
    long long Start = 0;      // counter reading that times count from
    long long Frequency = 0;
    LiveVoices Voices;
    MidiStreamReader Reader;
    bool Playing = false;     // the controllers are set up and their threads run
    bool Ended = false;       // the input ended
    std::string Failure;      // why it ended, when it failed
    long long Version = 0;    // counts changes, for the status line
    std::vector<LiveOutput> Outputs;
    std::vector<std::vector<long long>> Arrivals;  // per controller: arrival counters of changes not yet written
};

// Readies the stage for voices already started: times count from now.
void StartLiveStage(LiveStage& stage);

// The input's handlers: bytes read into the voices at their arrival, and the input's end.
void ReceiveLiveBytes(LiveStage& stage, const unsigned char* bytes, std::size_t count, long long arrivedAt);
void EndLiveInput(LiveStage& stage, const std::string& failure);

// Called now and then from the waiting thread with what every band sounds, when it changed.
using LiveStatusHandler = std::function<void(const std::vector<LiveBand>& bands)>;

// Plays until the input ends, an interrupt, or a failed write (*lost then names the controller);
// the controllers' connections must be set up, one per controller of the voices. With timing,
// records when each change went out.
LiveOutcome PerformLive(LiveStage& stage, const std::vector<ControllerConnection*>& connections,
                        const LiveStatusHandler& status, LiveTiming* timing, std::size_t* lost);
