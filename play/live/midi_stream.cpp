#include "play/live/midi_stream.h"

#include "common/midi_bytes.h"


namespace {

// Data bytes of a system common message: time code quarter frame and song select take one,
// song position two, tune request none; 0xF4 and 0xF5 are undefined and taken as none.
int DataBytesOf(unsigned char status)
{
    const unsigned char kind = status & MidiKindMask;
    return kind == ProgramChangeStatus || kind == ChannelPressureStatus ? 1 : 2;
}

int SystemCommonLength(unsigned char status)
{
    switch (status) {
    case TimeCodeQuarterFrame:
    case SongSelect: return 1;
    case SongPositionPointer: return 2;
    default: return 0;
    }
}

void StartMessage(MidiStreamReader& reader, int needed, bool systemCommon)
{
    reader.Have = 0;
    reader.Needed = needed;
    reader.InSystemCommon = systemCommon;
}

}  // namespace

bool ReadMidiByte(MidiStreamReader& reader, unsigned char byte, MidiMessage* message)
{
    // Real-time bytes stand alone wherever they come, and change nothing around them.
    if (byte >= FirstRealTime) return false;
    if ((byte & MidiStatusBit) != 0) {
        // A status byte ends what came before: a message it cuts short was lost.
        if (reader.Have < reader.Needed) reader.Skipped += reader.Have;
        reader.Have = 0;
        if (byte == SystemExclusiveEnd) {
            if (!reader.InSystemExclusive) ++reader.Skipped;
            reader.InSystemExclusive = false;
            reader.RunningStatus = 0;
            StartMessage(reader, 0, false);
            return false;
        }
        reader.InSystemExclusive = byte == SystemExclusiveStart;
        if (byte >= SystemMessageKind) {
            // System messages end running status; undefined ones are not MIDI.
            reader.RunningStatus = 0;
            if (byte >= FirstUndefinedCommon && byte <= LastUndefinedCommon) ++reader.Skipped;
            StartMessage(reader, reader.InSystemExclusive ? 0 : SystemCommonLength(byte), true);
            return false;
        }
        reader.RunningStatus = byte;
        StartMessage(reader, DataBytesOf(byte), false);
        return false;
    }
    if (reader.InSystemExclusive) return false;
    if (reader.Have < reader.Needed) {
        reader.Data[reader.Have++] = byte;
    } else if (reader.RunningStatus != 0 && !reader.InSystemCommon) {
        // Running status: a data byte after a complete message starts the next one.
        StartMessage(reader, DataBytesOf(reader.RunningStatus), false);
        reader.Data[reader.Have++] = byte;
    } else {
        ++reader.Skipped;  // a data byte with no status to belong to
        return false;
    }
    if (reader.Have < reader.Needed) return false;
    if (reader.InSystemCommon) {
        // Read to its end so that its data bytes are not taken for junk, then forgotten.
        StartMessage(reader, 0, true);
        return false;
    }
    const unsigned char second = reader.Needed > 1 ? reader.Data[1] : 0;
    *message = MidiMessage{reader.RunningStatus, reader.Data[0], second};
    return true;
}
