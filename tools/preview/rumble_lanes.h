// What each controller's actuators played, lane by lane: one lane where a controller plays the
// same on both of its rumble blocks (or has one actuator), two for a Pro Controller playing
// different parts; several logs (several controllers) side by side on one time line.
#pragma once

#include <string>
#include <vector>

#include "tools/preview/event_log.h"
#include "tools/preview/rumble_timeline.h"

// Where a lane sounds in a stereo mix.
enum class LanePan { Centre, Left, Right };

struct RumbleLane {
    std::string Name;  // "" for the only lane of a run; else the controller and the actuator
    LanePan Pan;
    RumbleTimeline Timeline;
};

// The lanes of one log. The controller it opened tells which block drives it: a left Joy-Con
// (057E:2006) plays the left block on the left, a right Joy-Con (2007) the right one on the
// right; a Pro Controller (2009), or an unknown device, plays both, one lane each, unless they
// carry the same rumble throughout (then one lane in the centre). controller names the log in
// lane names ("" for a single log).
std::vector<RumbleLane> LanesOfLog(const std::vector<LogEvent>& events, const std::string& controller);

// Gives every lane one span, from the earliest first event to the latest last one, so that
// lanes of logs from one run line up; the time after a shorter log's end is silence.
void AlignLanes(std::vector<RumbleLane>& lanes);
