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
#pragma once

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

constexpr unsigned short NintendoVendorId = 0x057E;

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

struct DeviceState {
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
};

// A device opened at nowNs in the mode and vanish count the environment asks for.
void StartDevice(DeviceState& device, long long nowNs);

// Takes one output report written at nowNs: counts it, loses the device once the vanish count
// is reached, follows input mode and IMU subcommands, and queues the reply to a subcommand.
void TakeWrite(DeviceState& device, const unsigned char* data, std::size_t length, long long nowNs);

// The report a reader would get now: a pending reply, else the streamed report due.
struct NextReport {
    bool IsReply;
    long long Slot;  // streamed reports: the sequence number
    Report Bytes;    // the report's own size (49 or 12)
};

// Fills next and returns true when a report is there for a reader at nowNs. Otherwise sets
// *nextDueNs to when the next streamed report is due, or -1 when none will come unasked.
bool FindNextReport(const DeviceState& device, long long nowNs, NextReport* next, long long* nextDueNs);

// Records that next reached a reader: a reply leaves the queue, a streamed report is not
// delivered again.
void MarkDelivered(DeviceState& device, const NextReport& next);

}  // namespace vj
