// The controllers tavrel-play can play on: all take the same reports. A Joy-Con has one
// actuator; a Pro Controller has two, one for each rumble block of the report.
#pragma once

#include "controller/link.h"

struct ControllerKind {
    const char* Option;  // as --controller names it
    const char* Name;    // as messages name it
    int ProductId;
    int Actuators;
};

constexpr ControllerKind ControllerKinds[] = {
    {"right", "right Joy-Con", ControllerProductId, 1},
    {"left", "left Joy-Con", 0x2006, 1},
    {"pro", "Pro Controller", 0x2009, 2},
};

// Controllers played at once: the four player lamps.
constexpr int MaxControllers = 4;
