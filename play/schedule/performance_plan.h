// What each controller plays, planned from the music for a set of controller kinds: the reports
// each must receive with their due times. Tunes and MIDI are arranged into pieces per actuator;
// shaped notes, vibrato and rumble files are streamed in 5 ms samples.
#pragma once

#include "controller/controller_kinds.h"
#include "play/arrange/music.h"
#include "play/arrange/voice_allocation.h"
#include "play/schedule/report_schedule.h"

#include <vector>

struct Performance {
    std::vector<const ControllerKind*> Kinds;
    std::vector<Schedule> Schedules;  // one a controller, in the order of Kinds
    Allocation Voices;                // MIDI only: which band plays which note
};

// The reports for each controller: the tune on every actuator of each, the song's notes given
// out over all their bands, a rumble file's left part on a left Joy-Con, its right part on a
// right one, both on a Pro Controller. The tone tables must be built.
Performance PlanPerformance(const PlayChoices& choices, const Music& music, const std::vector<const ControllerKind*>& kinds);

// What the first controller's first actuator plays, as 5 ms samples (a rumble file keeps its own
// loop). The tone tables must be built.
RumbleStream PlanFirstActuatorStream(const PlayChoices& choices, const Music& music,
                                     const std::vector<const ControllerKind*>& kinds);
