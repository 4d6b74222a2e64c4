// Reading and decoding one input report of the controller: buttons, stick and motion sensors.
#pragma once

#include <atomic>

// The decoded values of the last input report. Written by the polling thread and read by the
// main thread, so every field is a single atomic value; a reader may combine fields of two
// successive reports.
struct ControllerStateRecord {
    std::atomic<unsigned char> ReportSeen;   // byte 0 (report ID) of the last report read
    std::atomic<unsigned char> Buttons1;
    std::atomic<unsigned char> Buttons2;
    std::atomic<unsigned short> Stick1;      // 12 bits
    std::atomic<unsigned short> Stick2;      // 12 bits
    std::atomic<unsigned short> Acc1;
    std::atomic<unsigned short> Acc2;
    std::atomic<unsigned short> Acc3;
    std::atomic<unsigned short> Gyr1;
    std::atomic<unsigned short> Gyr2;
    std::atomic<unsigned short> Gyr3;
};

extern ControllerStateRecord ControllerState;

// Reads one input report into ControllerLink.InputReport. A report of any length sets
// ReportSeen; only a full-size report is decoded, any other length is printed on a line of its
// own. A read that brought no report (length 0) changes nothing and prints nothing.
void PollInputReport();
