// Subcommands that wait for their own answer, and the USB handshake. A controller's input
// reports queue up, so the report read after a subcommand is often a streamed one or an old
// reply: the answer is the 0x21 report whose byte 14 names this subcommand, taken when byte 13
// has its top bit set. Controllers now and then drop a subcommand, so each is tried again.
// (Facts from Linux's hid-nintendo, SDL's Switch driver and dekuNukem's protocol notes.)
#pragma once

#include "controller/connection.h"

// How long a subcommand's answer may take before the subcommand is sent again; replies take
// 15-30 ms.
constexpr int SubcommandReplyWaitMs = 200;
constexpr int SubcommandAttempts = 3;

// A USB command's answer (0x81) takes a few milliseconds; the drivers allow far more.
constexpr int UsbReplyWaitMs = 250;
constexpr int UsbAttempts = 3;

// The most input reports taken as already queued before a subcommand (hidraw keeps 64).
constexpr int MostQueuedReports = 128;

enum class SubcommandAnswer {
    Acknowledged,
    Refused,      // answered without the acknowledgement bit, every time
    NoAnswer,     // no answer to it within the bound, every time
    WriteFailed,  // the controller did not take the report: it is gone
};

// Takes every input report already queued (noting what they say) without waiting.
void TakeQueuedReportsOn(ControllerConnection& connection);

// Reads input reports for at most waitMs until one tells the controller's input mode.
void WatchForInputModeOn(ControllerConnection& connection, int waitMs);

// Sends subcommand id with argument, its rumble blocks neutral, and waits for its answer: the
// queued reports are taken first, then every report read until the answer is skipped; sent again
// up to SubcommandAttempts times in all. Each report keeps the connection's interval.
SubcommandAnswer SendAcknowledgedSubcommandOn(ControllerConnection& connection, unsigned char id,
                                              unsigned char argument);

// Sends USB command (report 0x80) and, with awaitAnswer, waits for the 0x81 report that answers
// it, up to UsbAttempts times. True when answered (or sent, without awaitAnswer).
bool SendUsbCommandOn(ControllerConnection& connection, unsigned char command, bool awaitAnswer);

// One 0x80 0x02 with one wait for its answer: whether a controller whose bus the system does not
// tell is on USB (a controller on Bluetooth ignores the report).
bool ProbeUsbOn(ControllerConnection& connection);

// Notes what an input report says: the input mode the controller streams in (until this program
// sets one) and a low battery.
void NoteInputReportOn(ControllerConnection& connection, const unsigned char* report);
