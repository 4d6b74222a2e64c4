// One play session, the same for files and live input: the controllers opened, set up, played,
// and on every way out given back as they were found and closed, with what went wrong said and
// the exit status chosen.
#pragma once

#include "play/perform/opened_controllers.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

enum class SessionOutcome { Played, Interrupted, ControllerLost, InputFailed };

struct SessionResult {
    SessionOutcome Outcome = SessionOutcome::Interrupted;
    std::size_t Lost = 0;  // the controller that stopped taking reports
};

// What a session does, in turn; each may be left empty but Perform.
struct SessionSteps {
    // Once the controllers are open, before any is set up (plan, start the input). False ends the
    // session with ExitBadInput, the controllers closed untouched; Prepare says why.
    std::function<bool(const std::vector<OpenedController>&)> Prepare;
    // Once they are set up, unless an interrupt came first: plays.
    std::function<SessionResult(std::vector<OpenedController>&)> Perform;
    // After playing, or after a set-up that failed, before the controllers are given back.
    std::function<void()> Stop;
    // After they are given back: figures and what else the outcome calls for.
    std::function<void(const SessionResult&)> Report;
};

// Runs a session on the controllers named (or every one connected), each writing at most every
// minIntervalUs. Returns the exit status: ExitNoController when none opened, ExitControllerLost
// when a set-up failed or a controller stopped taking reports, ExitBadInput when Prepare refused
// or the input failed, InterruptedExitStatus after an interrupt, else ExitPlayed. *setUp (when
// given) says whether every controller was set up and ready.
int RunPlaySession(const std::vector<std::string>& named, long long minIntervalUs, const SessionSteps& steps,
                   bool* setUp = nullptr);
