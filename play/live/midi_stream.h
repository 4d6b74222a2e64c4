// Reads MIDI bytes as devices send them, one byte at a time: running status, real-time bytes
// anywhere (inside other messages too), system-exclusive skipped to its end. Bytes that are not
// MIDI are skipped and counted; nothing stops the reading.
#pragma once

// A complete channel message (status 0x80-0xEF); Data2 is 0 for one-byte messages.
struct MidiMessage {
    unsigned char Status;
    unsigned char Data1;
    unsigned char Data2;
};

struct MidiStreamReader {
    unsigned char RunningStatus = 0;  // the channel status data bytes belong to; 0 none
    unsigned char Data[2] = {0, 0};
    int Have = 0;                      // data bytes of the message so far
    int Needed = 0;                    // data bytes the message takes
    bool InSystemExclusive = false;
    bool InSystemCommon = false;       // data bytes being read belong to a system common message
    long long Skipped = 0;             // bytes that were not MIDI, or in messages left incomplete
};

// Reads one byte. True when it completes a channel message, stored in *message.
bool ReadMidiByte(MidiStreamReader& reader, unsigned char byte, MidiMessage* message);
