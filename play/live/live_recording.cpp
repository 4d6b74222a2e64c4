#include "play/live/live_recording.h"

#include "common/byte_order.h"
#include "common/midi_bytes.h"



#include <algorithm>

namespace {

constexpr int Format0 = 0;
constexpr int HeaderLength = 6;

// At one time: note-offs, then bends, then note-ons.
constexpr int NoteOffOrder = 0;
constexpr int BendOrder = 1;
constexpr int NoteOnOrder = 2;

struct FileEvent {
    long long AtUs;
    int Order;
    unsigned char Bytes[3];
};

void AppendVariableLength(std::string& out, unsigned long long value)
{
    unsigned char groups[10];
    int count = 0;
    do {
        groups[count++] = static_cast<unsigned char>(value & MidiDataMask);
        value >>= MidiDataBits;
    } while (value > 0);
    while (count > 1) out += static_cast<char>(groups[--count] | MoreBytesBit);
    out += static_cast<char>(groups[0]);
}

}  // namespace

std::string FormRecordingMidi(const std::vector<PlayedEvent>& played, long long endUs)
{
    std::vector<FileEvent> events;
    for (const PlayedEvent& p : played) {
        const unsigned char channel = static_cast<unsigned char>(p.Channel);
        if (p.Key < 0) {
            const unsigned value = static_cast<unsigned>(p.Velocity + PitchBendCentre);
            events.push_back(FileEvent{p.StartUs, BendOrder, {static_cast<unsigned char>(PitchBendStatus | channel),
                                                      static_cast<unsigned char>(value & MidiDataMask),
                                                      static_cast<unsigned char>(value >> MidiDataBits)}});
            continue;
        }
        const long long end = p.EndUs < 0 ? endUs : p.EndUs;
        if (end <= p.StartUs) continue;  // gave way as it began: it never sounded
        const auto key = static_cast<unsigned char>(p.Key);
        events.push_back(FileEvent{p.StartUs, NoteOnOrder, {static_cast<unsigned char>(NoteOnStatus | channel), key,
                                                  static_cast<unsigned char>(p.Velocity)}});
        events.push_back(FileEvent{end, NoteOffOrder, {static_cast<unsigned char>(NoteOffStatus | channel), key, 0}});
    }
    std::stable_sort(events.begin(), events.end(), [](const FileEvent& a, const FileEvent& b) {
        return a.AtUs != b.AtUs ? a.AtUs < b.AtUs : a.Order < b.Order;
    });

    std::string track;
    AppendVariableLength(track, 0);
    track += {static_cast<char>(MetaStatus), static_cast<char>(MetaSetTempo), 3};
    AppendBigEndian(track, RecordingUsPerQuarter, 3);
    const long long origin = events.empty() ? 0 : events.front().AtUs;
    long long lastTick = 0;
    for (const FileEvent& e : events) {
        const long long tick = (e.AtUs - origin) * RecordingTicksPerQuarter / RecordingUsPerQuarter;
        AppendVariableLength(track, static_cast<unsigned long long>(tick - lastTick));
        lastTick = tick;
        track.append(reinterpret_cast<const char*>(e.Bytes), 3);
    }
    AppendVariableLength(track, 0);
    track += {static_cast<char>(MetaStatus), static_cast<char>(MetaEndOfTrack), 0};

    std::string file = "MThd";
    AppendBigEndian(file, HeaderLength, 4);
    AppendBigEndian(file, Format0, 2);
    AppendBigEndian(file, 1, 2);  // one track
    AppendBigEndian(file, RecordingTicksPerQuarter, 2);
    file += "MTrk";
    AppendBigEndian(file, static_cast<std::uint32_t>(track.size()), 4);
    return file + track;
}
