// The simulated controller itself, shared by the Linux (hidapi) and Windows (named pipe)
// virtual controllers: what it does with each output report it is sent, and which input report
// a reader gets next. No device I/O and no locking here; each front end serialises its calls.
//
// TAVREL_VJ_CONTROLLER says which controller it is: right (a right Joy-Con, the default), left
// (a left Joy-Con) or pro (a Pro Controller). Only the IDs and names differ; the reports do not.
// A comma-separated list (right,left,pro) stands for several controllers at once, each its own
// device with its own log (event_log.h).
//
//   normal  every 0x01 subcommand report is answered by a 0x21 reply on the next read;
//           in input mode 0x30 a 0x30 report is due every 15 ms, in mode 0x3F a 0x3F report
//           every 500 ms (a button change); pending replies come before streamed reports and
//           a reader gets the latest report due (older ones it missed are dropped).
//   absent  nothing enumerates or opens.
//   silent  opens and takes writes, but no read ever brings a report.
//   vanish  after TAVREL_VJ_VANISH_AFTER successful writes the device is lost.
//
// TAVREL_VJ_STRICT=1 makes it act as real controllers do, in any of these modes:
// - every input report is queued for the reader from the moment the device is opened (up to
//   64, the oldest dropped, as Linux's hidraw keeps them): in input mode 0x30 one every 15 ms;
// - the reply to a subcommand is queued 15 to 30 ms after its report was written;
// - a report written sooner than TAVREL_VJ_SPACING_MS (15 when unset) after the one before is
//   logged as "fault spacing <ms>".
// Chosen apart from it:
//   TAVREL_VJ_BUS=usb          a controller on a USB cable: it answers 0x80 0x01, 0x02 and 0x03
//                              with 0x81 reports, takes 0x80 0x04, and ignores every 0x01 and
//                              0x10 report ("fault before handshake") until it has had 0x80 0x02,
//                              0x03, 0x02 and 0x04 in that order; output reports are 64 bytes.
//   TAVREL_VJ_START_MODE=30    the input mode it starts in (hex; 3f when unset), as the system's
//                              driver left it.
//   TAVREL_VJ_DROP=48          the first subcommand with this ID (hex) is lost: no reply, no
//                              effect, "drop 48" logged.
//   TAVREL_VJ_BATTERY=low      replies and reports say the battery is low.
//   TAVREL_VJ_STALL=0.05       that share of writes (0 to 1) is held up 30 to 60 ms before the
//                              controller takes it, as a busy system now and then holds up a
//                              write; which writes, and how long, follow from the write's number
//                              and the device's, so a run can be repeated. Linux only: on Windows
//                              a write goes into the server's pipe however long the server takes.
#pragma once

#include "controller/protocol.h"

#include <cstddef>
#include <deque>
#include <vector>

namespace vj {

enum class Mode { Normal, Absent, Silent, Vanish };

using Report = std::vector<unsigned char>;

// The behaviour asked for by TAVREL_VJ_MODE (normal when unset or unknown).
Mode ModeFromEnvironment();

// TAVREL_VJ_VANISH_AFTER, 0 when unset or negative.
long long VanishAfterFromEnvironment();

enum class Controller { RightJoyCon, LeftJoyCon, ProController };

constexpr int MaxVirtualDevices = 4;

// The controllers asked for by TAVREL_VJ_CONTROLLER, in order, at most MaxVirtualDevices: one
// right when unset or empty. Any other name is taken as right too, after one line on standard
// error (once per module). Returns how many.
int ControllersFromEnvironment(Controller controllers[MaxVirtualDevices]);

// The first of them.
Controller ControllerFromEnvironment();

// 0x2007, 0x2006 or 0x2009.
unsigned short ProductIdOf(Controller controller);

// The product string the controller reports, as "Joy-Con (R)".
const wchar_t* ProductNameOf(Controller controller);

// A report queued for the reader (strict behaviour), numbered in the order it was queued.
struct QueuedReport {
    long long Number;
    Report Bytes;
};

// A reply the controller has not sent yet.
struct DelayedReply {
    long long DueNs;
    Report Bytes;
};

struct DeviceState {
    int LogIndex;              // the device log its faults and drops go to
    Mode DeviceMode;
    long long VanishAfter;     // vanish mode: successful writes before the device is lost
    long long WritesDone;
    bool Vanished;
    long long OpenNs;
    unsigned char InputMode;
    bool ImuOn;
    long long StreamStartNs;   // time of the last input mode change
    long long LastFullSlot;    // sequence number of the last 0x30 report delivered
    long long LastSimpleSlot;  // same for 0x3F
    std::deque<Report> PendingReplies;
    // Strict behaviour and the connection's kind.
    bool Strict;
    bool Usb;
    int HandshakeStep;          // USB: steps of 0x80 02 03 02 04 taken so far
    long long SpacingNs;
    long long LastWriteNs;      // -1 before the first write
    unsigned char DropId;       // 0: none
    bool Dropped;
    bool LowBattery;
    long long RepliesMade;
    std::deque<QueuedReport> Queue;
    std::deque<DelayedReply> Delayed;
    long long QueuedCount;      // reports ever queued
    long long StreamedUpTo;     // the last streamed tick queued, -1 none
    double StallShare;          // of writes held up before they are taken
};

constexpr std::size_t MaxQueuedReports = 64;
constexpr std::size_t UsbOutputReportSize = 64;

// How a device opened now is connected, from TAVREL_VJ_BUS.
bool UsbFromEnvironment();

// A device opened at nowNs in the mode and vanish count the environment asks for; its faults
// go to device log logIndex.
void StartDevice(DeviceState& device, long long nowNs, int logIndex);

// Takes one output report written at nowNs: counts it, loses the device once the vanish count
// is reached, follows input mode and IMU subcommands, and queues the reply to a subcommand.
void TakeWrite(DeviceState& device, const unsigned char* data, std::size_t length, long long nowNs);

// How long the device's next write is held up before it is taken (TAVREL_VJ_STALL): 0 for most.
long long NextWriteStallNs(const DeviceState& device);

// The report a reader would get now: a pending reply, else the streamed report due.
struct NextReport {
    bool IsReply;
    long long Slot;  // streamed reports: the sequence number
    Report Bytes;    // the report's own size (49 or 12)
};

// Fills next and returns true when a report is there for a reader at nowNs. Otherwise sets
// *nextDueNs to when the next streamed report or delayed reply is due, or -1 when none will
// come unasked. Strict devices queue what has come due by nowNs first.
bool FindNextReport(DeviceState& device, long long nowNs, NextReport* next, long long* nextDueNs);

// Records that next reached a reader: a reply leaves the queue, a streamed report is not
// delivered again.
void MarkDelivered(DeviceState& device, const NextReport& next);

}  // namespace vj
