// The controllers tavrel-play plays on: opened, set up, given back and closed, with what goes
// wrong said on standard error.
#pragma once

#include "controller/connection.h"
#include "controller/controller_kinds.h"

#include <string>
#include <vector>

struct OpenedController {
    const ControllerKind* Kind;
    ControllerConnection Connection;
    bool BatteryLowSaid;
    bool SetUpBegun;  // something was sent to it: it is given back at the end
};

// The kind --controller names (right, left or pro).
const ControllerKind& KindNamed(const std::string& option);

// Opens the controllers named, or every one connected (up to MaxControllers), each a connection
// whose reports keep minIntervalUs apart. False, with none left open, when a named one is not
// there or none is.
bool OpenControllers(const std::vector<std::string>& named, long long minIntervalUs,
                     std::vector<OpenedController>* opened);

void CloseControllers(std::vector<OpenedController>& opened);

std::vector<const ControllerKind*> KindsOf(const std::vector<OpenedController>& opened);

enum class SetUpResult { Ready, Interrupted, Failed };

// Sets each controller up in turn, each with its own player lamp (the first, the second, ...),
// and says once where the system's driver reads a controller too, or its battery is low. At a
// failure it says which controller and what to try; the caller then restores them all.
SetUpResult SetUpControllers(std::vector<OpenedController>& opened);

// Gives every controller whose set-up began back as it was found (one the set-up never reached
// is left alone); says of a battery that has only now turned low.
void RestoreControllers(std::vector<OpenedController>& opened);

// "the right Joy-Con", or with several, "the right Joy-Con (controller 2)".
std::string NameOf(const std::vector<OpenedController>& opened, std::size_t c);

