// Preparing a controller for playing and giving it back as it was found.
#pragma once

#include "controller/link.h"

constexpr unsigned char LampsPlaying = 0x01;  // the first player lamp
constexpr unsigned char LampsOff = 0x00;

// What a program that plays says when no controller opened.
constexpr char ControllerNotFoundText[] = "JoyCon not found.";

// Simple input mode, the given player lamps, vibration on. Each step is skipped once an
// interrupt has been requested.
void SetUpControllerOn(ControllerLinkRecord& link, unsigned char lamps);

// Silence, vibration off, lamps off, simple input mode: always all four steps.
void RestoreControllerOn(ControllerLinkRecord& link);
