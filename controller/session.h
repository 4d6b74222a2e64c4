// Preparing a controller for playing and giving it back as it was found.
#pragma once

#include "controller/connection.h"
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

// The same for a careful player, on a connection: over USB the handshake first (the bus from the
// system, or probed when it does not say), each subcommand acknowledged and its reports paced,
// the input mode the controller streamed in noted so that it can be given back.
enum class SetUpOutcome {
    Ready,
    Interrupted,       // an interrupt came before the set-up was done
    ControllerLost,    // a write failed
    HandshakeFailed,   // a USB handshake step was never answered
    VibrationRefused,  // "enable vibration" was never acknowledged
};

// How long the set-up reads, before anything is sent, for a report that tells the input mode:
// longer than two of the controller's 15 ms report periods.
constexpr int InputModeWatchMs = 40;

// Its first part: how it is connected, the input mode it streams in, and over USB the handshake.
SetUpOutcome ConnectControllerOn(ControllerConnection& connection);

SetUpOutcome SetUpConnectionOn(ControllerConnection& connection, unsigned char lamps);

// The mode the controller was found in, or the simple mode when none was seen.
unsigned char InputModeToRestore(const ControllerConnection& connection);

// Silence, vibration off, lamps off, and the input mode the controller was found in (the simple
// mode when none was seen): always all four steps, each paced and acknowledged where it can be.
// Over USB nothing more is sent: the controller stays as the drivers leave it.
void RestoreConnectionOn(ControllerConnection& connection);
