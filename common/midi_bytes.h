// The bytes of MIDI messages, as files and live input carry them: status bytes (the kind in the
// high nibble, the channel in the low), data bytes of seven bits, meta events of files.
#pragma once

constexpr unsigned char MidiStatusBit = 0x80;
constexpr unsigned char MidiKindMask = 0xF0;
constexpr unsigned char MidiChannelMask = 0x0F;
constexpr unsigned char NoteOffStatus = 0x80;
constexpr unsigned char NoteOnStatus = 0x90;
constexpr unsigned char KeyPressureStatus = 0xA0;
constexpr unsigned char ControlChangeStatus = 0xB0;
constexpr unsigned char ProgramChangeStatus = 0xC0;
constexpr unsigned char ChannelPressureStatus = 0xD0;
constexpr unsigned char PitchBendStatus = 0xE0;
constexpr unsigned char SystemMessageKind = 0xF0;  // the kind of every system message
constexpr unsigned char SystemExclusiveStart = 0xF0;
constexpr unsigned char TimeCodeQuarterFrame = 0xF1;
constexpr unsigned char SongPositionPointer = 0xF2;
constexpr unsigned char SongSelect = 0xF3;
constexpr unsigned char FirstUndefinedCommon = 0xF4;  // 0xF4 and 0xF5: system common, undefined
constexpr unsigned char LastUndefinedCommon = 0xF5;
constexpr unsigned char SystemExclusiveEnd = 0xF7;  // in files also an escape
constexpr unsigned char FirstRealTime = 0xF8;       // 0xF8-0xFF: real-time bytes, one byte each
constexpr unsigned char MetaStatus = 0xFF;           // in files; on the wire a real-time byte
constexpr unsigned char MetaTrackName = 0x03;
constexpr unsigned char MetaEndOfTrack = 0x2F;
constexpr unsigned char MetaSetTempo = 0x51;

constexpr int MidiDataBits = 7;
// A variable-length number in a file: seven bits a byte, this bit set on every byte but the last.
constexpr unsigned char MoreBytesBit = 0x80;
constexpr unsigned char MidiDataMask = 0x7F;
constexpr unsigned char ModulationWheelController = 1;
constexpr int PitchBendCentre = 8192;  // a 14-bit bend's value at rest
constexpr int MidiChannelCount = 16;
constexpr int MidiKeyCount = 128;
