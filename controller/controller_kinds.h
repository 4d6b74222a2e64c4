// The controllers tavrel-play can play on: all take the same reports. A Joy-Con has one
// actuator; a Pro Controller has two, one for each rumble block of the report.
#pragma once

#include "controller/protocol.h"

struct ControllerKind {
    const char* Option;  // as --controller names it
    const char* Name;    // as messages name it
    int ProductId;
    int Actuators;
};

constexpr ControllerKind ControllerKinds[] = {
    {"right", "right Joy-Con", RightJoyConProductId, 1},
    {"left", "left Joy-Con", LeftJoyConProductId, 1},
    {"pro", "Pro Controller", ProControllerProductId, 2},
};

// Controllers played at once: the four player lamps.
constexpr int MaxControllers = 4;
