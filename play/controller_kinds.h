// The controllers tavrel-play can play on: all take the same reports.
#pragma once

#include "controller/link.h"

struct ControllerKind {
    const char* Option;  // as --controller names it
    const char* Name;    // as messages name it
    int ProductId;
};

constexpr ControllerKind ControllerKinds[] = {
    {"right", "right Joy-Con", ControllerProductId},
    {"left", "left Joy-Con", 0x2006},
    {"pro", "Pro Controller", 0x2009},
};
