// A controller as a careful player talks to it: its link, how it is connected, the pace its
// output reports keep, and what its input reports said about it. Real controllers queue their
// input reports, answer a subcommand 15-30 ms after it and now and then drop one, lose reports
// sent closer than their own report period, and over USB take nothing before a handshake; the
// operations on this record (replies.h, pacing.h, session.h) deal with all of that.
#pragma once

#include "controller/hid.h"
#include "controller/link.h"

struct ControllerConnection {
    ControllerLinkRecord Link;
    HidBus Bus;
    long long MinIntervalCounts;   // least counter ticks between two output reports
    long long LastWriteCounter;    // counter at the end of the last output report; see HasWritten
    bool HasWritten;
    unsigned char FoundInputMode;  // the input mode it streamed in before this program set one; 0: not seen
    bool InputModeSet;             // this program has set a mode: reports no longer tell the found one
    bool BatteryLow;               // a report said so
};

// A connection on the open handle whose output reports keep minIntervalUs apart.
void StartConnection(ControllerConnection& connection, int handle, long long minIntervalUs);
