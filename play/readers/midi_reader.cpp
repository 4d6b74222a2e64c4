#include "play/readers/midi_reader.h"

#include "common/byte_order.h"
#include "common/midi_bytes.h"


#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <utility>

namespace midi_file {
namespace {

constexpr char HeaderType[] = "MThd";
constexpr char TrackType[] = "MTrk";
constexpr std::size_t TypeBytes = 4;
constexpr std::size_t ChunkHeaderBytes = 8;
constexpr std::uint32_t LeastHeaderLength = 6;
constexpr std::size_t FormatAt = 8;
constexpr std::size_t TrackCountAt = 10;
constexpr std::size_t DivisionAt = 12;
constexpr int SmpteDivisionBit = 0x8000;
constexpr long long DefaultUsPerQuarter = 500000;
constexpr long long TooLong = MaxLengthUs + 1;
constexpr int MaxVariableBytes = 4;

constexpr std::uint32_t SetTempoLength = 3;
constexpr std::size_t BytesPerMiB = 1024 * 1024;

// The bytes of one track chunk, without its chunk header.
struct TrackBytes {
    std::size_t Begin;
    std::size_t End;
};

struct TempoChange {
    long long Tick;
    long long UsPerQuarter;
    long long StartUs;   // TooLong when the change lies past the longest song
};

enum class EventKind { Other, NoteOn, NoteOff, SetTempo, TrackName, Modulation };

struct TrackEvent {
    EventKind Kind;
    std::size_t Offset;    // where the event's delta time begins
    long long Tick;
    int Channel;
    int Key;
    int Velocity;
    long long UsPerQuarter;
    std::size_t TextBegin;
    std::size_t TextLength;
};

// Notes of one (channel, key) still sounding, oldest first from First on.
struct SoundingNotes {
    std::vector<std::size_t> Indices;
    std::size_t First;
};

// What the two walks over the tracks share. The first walk checks the bytes, gathers the tempo
// map and counts the notes; the second, with the tempo map known, times and pairs the notes.
struct Reading {
    bool Timing;                        // the second walk
    int TicksPerQuarter;
    std::size_t NoteOns;
    std::size_t Modulations;
    std::vector<TempoChange> Tempos;    // from tick 0 on, sorted by tick once the first walk ends
    MidiSong* Song;
    int Track;                          // the track being walked, and its state:
    std::size_t TempoAt;                // the tempo change in effect
    long long LastUs;                   // time of its latest event
    bool Named;
    std::vector<SoundingNotes> Sounding;  // by channel * MidiKeyCount + key
};

struct Cursor {
    const std::string& Bytes;
    std::size_t At;
    std::size_t End;
};

bool Fail(MidiError* error, std::size_t offset, const std::string& message)
{
    *error = MidiError{offset, message};
    return false;
}

unsigned ByteAt(const std::string& bytes, std::size_t at) { return static_cast<unsigned char>(bytes[at]); }

bool ReadByte(Cursor* c, unsigned* byte, MidiError* error)
{
    if (c->At >= c->End) return Fail(error, c->End, "the track ends inside an event");
    *byte = ByteAt(c->Bytes, c->At++);
    return true;
}

bool ReadData(Cursor* c, int* value, MidiError* error)
{
    unsigned byte = 0;
    if (!ReadByte(c, &byte, error)) return false;
    if (byte & MidiStatusBit) return Fail(error, c->At - 1, "a data byte above 127");
    *value = static_cast<int>(byte);
    return true;
}

bool ReadVariable(Cursor* c, std::uint32_t* value, MidiError* error)
{
    const std::size_t start = c->At;
    *value = 0;
    for (int i = 0; i < MaxVariableBytes; ++i) {
        unsigned byte = 0;
        if (!ReadByte(c, &byte, error)) return false;
        *value = *value << MidiDataBits | (byte & MidiDataMask);
        if (!(byte & MoreBytesBit)) return true;
    }
    return Fail(error, start, "a variable-length number longer than four bytes");
}

bool Skip(Cursor* c, std::uint32_t length, MidiError* error)
{
    if (length > c->End - c->At) return Fail(error, c->End, "a length runs past the end of the track");
    c->At += length;
    return true;
}

// The time of a tick at or after the tempo change, or TooLong. The bound on the ticks keeps
// the product within 64 bits.
long long TimeFrom(const TempoChange& change, long long tick, int ticksPerQuarter)
{
    if (change.StartUs > MaxLengthUs) return TooLong;
    const long long ticks = tick - change.Tick;
    if (change.UsPerQuarter > 0 && ticks > TooLong * ticksPerQuarter / change.UsPerQuarter) return TooLong;
    const long long us = change.StartUs + ticks * change.UsPerQuarter / ticksPerQuarter;
    return us > MaxLengthUs ? TooLong : us;
}

void BuildTempoMap(Reading* r)
{
    std::stable_sort(r->Tempos.begin(), r->Tempos.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.Tick < b.Tick; });
    for (std::size_t i = 1; i < r->Tempos.size(); ++i)
        r->Tempos[i].StartUs = TimeFrom(r->Tempos[i - 1], r->Tempos[i].Tick, r->TicksPerQuarter);
}

void StartTrack(Reading* r, int track)
{
    r->Track = track;
    r->TempoAt = 0;
    r->LastUs = 0;
    r->Named = false;
    if (r->Timing) r->Song->TrackNames.emplace_back();
}

bool TakeEvent(const std::string& bytes, const TrackEvent& e, Reading* r, MidiError* error)
{
    if (!r->Timing) {
        if (e.Kind == EventKind::SetTempo) r->Tempos.push_back(TempoChange{e.Tick, e.UsPerQuarter, 0});
        if (e.Kind == EventKind::NoteOn && ++r->NoteOns > MaxNotes)
            return Fail(error, e.Offset, "more than " + std::to_string(MaxNotes) + " notes");
        if (e.Kind == EventKind::Modulation && ++r->Modulations > MaxModulations)
            return Fail(error, e.Offset, "more than " + std::to_string(MaxModulations) + " modulation wheel settings");
        return true;
    }
    while (r->TempoAt + 1 < r->Tempos.size() && r->Tempos[r->TempoAt + 1].Tick <= e.Tick) ++r->TempoAt;
    const long long us = TimeFrom(r->Tempos[r->TempoAt], e.Tick, r->TicksPerQuarter);
    if (us > MaxLengthUs) return Fail(error, e.Offset, "the song is longer than a day");
    r->LastUs = us;
    std::vector<MidiNote>& notes = r->Song->Notes;
    SoundingNotes* sounding = &r->Sounding[static_cast<std::size_t>(e.Channel * MidiKeyCount + e.Key)];
    if (e.Kind == EventKind::NoteOn) {
        sounding->Indices.push_back(notes.size());
        notes.push_back(MidiNote{us, us, e.Key, e.Velocity, e.Channel, r->Track});
    } else if (e.Kind == EventKind::NoteOff && sounding->First < sounding->Indices.size()) {
        notes[sounding->Indices[sounding->First++]].EndUs = us;
        if (sounding->First == sounding->Indices.size()) *sounding = SoundingNotes{};
    } else if (e.Kind == EventKind::Modulation) {
        r->Song->Modulation.push_back(MidiModulation{us, e.Velocity, e.Channel, r->Track});
    } else if (e.Kind == EventKind::TrackName && !r->Named) {
        r->Song->TrackNames.back() = bytes.substr(e.TextBegin, e.TextLength);
        r->Named = true;
    }
    return true;
}

// Notes still sounding when the track ends stop at its last event.
void FinishTrack(Reading* r)
{
    if (!r->Timing) return;
    for (SoundingNotes& sounding : r->Sounding) {
        for (std::size_t i = sounding.First; i < sounding.Indices.size(); ++i)
            r->Song->Notes[sounding.Indices[i]].EndUs = r->LastUs;
        sounding = SoundingNotes{};
    }
    r->Song->LengthUs = std::max(r->Song->LengthUs, r->LastUs);
}

// Reads the channel message after its status; only notes and the modulation wheel become
// events of their own.
bool ReadChannelMessage(Cursor* c, unsigned status, TrackEvent* e, MidiError* error)
{
    const unsigned kind = status & MidiKindMask;
    e->Channel = static_cast<int>(status & MidiChannelMask);
    int first = 0;
    int second = 0;
    if (!ReadData(c, &first, error)) return false;
    if (kind == ProgramChangeStatus || kind == ChannelPressureStatus) return true;
    if (!ReadData(c, &second, error)) return false;
    if (kind == NoteOnStatus || kind == NoteOffStatus) {
        e->Kind = kind == NoteOnStatus && second > 0 ? EventKind::NoteOn : EventKind::NoteOff;
        e->Key = first;
        e->Velocity = second;
    } else if (kind == ControlChangeStatus && first == ModulationWheelController) {
        e->Kind = EventKind::Modulation;
        e->Velocity = second;  // the wheel's setting
    }
    return true;
}

// Reads a meta event after its 0xFF. *ended is set by end of track.
bool ReadMeta(Cursor* c, TrackEvent* e, bool* ended, MidiError* error)
{
    unsigned type = 0;
    std::uint32_t length = 0;
    if (!ReadByte(c, &type, error)) return false;
    const std::size_t lengthAt = c->At;
    if (!ReadVariable(c, &length, error)) return false;
    const std::size_t dataAt = c->At;
    if (!Skip(c, length, error)) return false;
    if (type == MetaSetTempo) {
        if (length != SetTempoLength) return Fail(error, lengthAt, "a set-tempo event whose length is not 3");
        e->Kind = EventKind::SetTempo;
        e->UsPerQuarter = BigEndianAt(c->Bytes, dataAt, 3);
    } else if (type == MetaTrackName) {
        e->Kind = EventKind::TrackName;
        e->TextBegin = dataAt;
        e->TextLength = length;
    }
    *ended = type == MetaEndOfTrack;
    return true;
}

bool WalkTrack(const std::string& bytes, TrackBytes track, Reading* r, MidiError* error)
{
    Cursor c{bytes, track.Begin, track.End};
    long long tick = 0;
    unsigned running = 0;
    bool ended = false;
    while (c.At < c.End && !ended) {
        TrackEvent e{};
        e.Offset = c.At;
        std::uint32_t delta = 0;
        unsigned status = 0;
        if (!ReadVariable(&c, &delta, error) || !ReadByte(&c, &status, error)) return false;
        tick += delta;
        e.Tick = tick;
        if (!(status & MidiStatusBit)) {
            if (running == 0) return Fail(error, c.At - 1, "running status with no status before it");
            --c.At;   // the byte is the first data byte
            status = running;
        }
        bool read = true;
        if (status < SystemExclusiveStart) {
            running = status;
            read = ReadChannelMessage(&c, status, &e, error);
        } else if (status == SystemExclusiveStart || status == SystemExclusiveEnd) {
            running = 0;
            std::uint32_t length = 0;
            read = ReadVariable(&c, &length, error) && Skip(&c, length, error);
        } else if (status == MetaStatus) {
            running = 0;
            read = ReadMeta(&c, &e, &ended, error);
        } else {
            char message[48];
            std::snprintf(message, sizeof message, "unexpected status byte 0x%02X", status);
            return Fail(error, c.At - 1, message);
        }
        if (!read || !TakeEvent(bytes, e, r, error)) return false;
    }
    FinishTrack(r);
    return true;
}

// Checks the header chunk; on success *at is just past it.
bool ReadHeader(const std::string& bytes, MidiSong* song, int* trackCount, std::size_t* at, MidiError* error)
{
    if (!LooksLikeMidi(bytes)) return Fail(error, 0, "not a Standard MIDI File (no MThd header)");
    if (bytes.size() < ChunkHeaderBytes) return Fail(error, bytes.size(), "the file ends inside the header");
    const std::uint32_t length = BigEndianAt(bytes, TypeBytes, 4);
    if (length < LeastHeaderLength) return Fail(error, TypeBytes, "the header is shorter than six bytes");
    if (length > bytes.size() - ChunkHeaderBytes) return Fail(error, 0, "the header runs past the end of the file");
    song->Format = static_cast<int>(BigEndianAt(bytes, FormatAt, 2));
    *trackCount = static_cast<int>(BigEndianAt(bytes, TrackCountAt, 2));
    const unsigned division = BigEndianAt(bytes, DivisionAt, 2);
    if (song->Format == 2) return Fail(error, FormatAt, "format 2 is not supported");
    if (song->Format > 2) return Fail(error, FormatAt, "unknown format " + std::to_string(song->Format));
    if (song->Format == 0 && *trackCount > 1)
        return Fail(error, TrackCountAt, "a format 0 file with more than one track");
    if (division & SmpteDivisionBit)
        return Fail(error, DivisionAt, "SMPTE time division is not supported; only ticks per quarter note");
    if (division == 0) return Fail(error, DivisionAt, "zero ticks per quarter note");
    song->TicksPerQuarter = static_cast<int>(division);
    *at = ChunkHeaderBytes + length;
    return true;
}

}  // namespace

bool LooksLikeMidi(const std::string& bytes) { return bytes.compare(0, TypeBytes, HeaderType) == 0; }

bool ReadMidiFile(const std::string& bytes, MidiSong* song, MidiError* error)
{
    if (bytes.size() > MaxFileBytes)
        return Fail(error, MaxFileBytes, "the file is larger than " + std::to_string(MaxFileBytes / BytesPerMiB) + " MiB");
    MidiSong read{};
    int trackCount = 0;
    std::size_t at = 0;
    if (!ReadHeader(bytes, &read, &trackCount, &at, error)) return false;

    Reading r{};
    r.TicksPerQuarter = read.TicksPerQuarter;
    r.Tempos.push_back(TempoChange{0, DefaultUsPerQuarter, 0});
    r.Song = &read;
    std::vector<TrackBytes> tracks;
    while (static_cast<int>(tracks.size()) < trackCount) {
        if (bytes.size() - at < ChunkHeaderBytes)
            return Fail(error, bytes.size(), "the file ends before all its track chunks");
        const bool isTrack = bytes.compare(at, TypeBytes, TrackType) == 0;
        const std::uint32_t length = BigEndianAt(bytes, at + TypeBytes, 4);
        if (length > bytes.size() - at - ChunkHeaderBytes)
            return Fail(error, at, std::string(isTrack ? "a track chunk" : "a chunk") + " runs past the end of the file");
        if (isTrack) {
            tracks.push_back(TrackBytes{at + ChunkHeaderBytes, at + ChunkHeaderBytes + length});
            StartTrack(&r, static_cast<int>(tracks.size()) - 1);
            if (!WalkTrack(bytes, tracks.back(), &r, error)) return false;
        }
        at += ChunkHeaderBytes + length;
    }

    BuildTempoMap(&r);
    r.Timing = true;
    r.Sounding.resize(MidiChannelCount * MidiKeyCount);
    read.Notes.reserve(r.NoteOns);
    read.Modulation.reserve(r.Modulations);
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        StartTrack(&r, static_cast<int>(i));
        if (!WalkTrack(bytes, tracks[i], &r, error)) return false;
    }
    std::stable_sort(read.Notes.begin(), read.Notes.end(), [](const MidiNote& a, const MidiNote& b) {
        if (a.StartUs != b.StartUs) return a.StartUs < b.StartUs;
        if (a.Key != b.Key) return a.Key < b.Key;
        if (a.Channel != b.Channel) return a.Channel < b.Channel;
        return a.Track < b.Track;
    });
    std::stable_sort(read.Modulation.begin(), read.Modulation.end(),
                     [](const MidiModulation& a, const MidiModulation& b) { return a.AtUs < b.AtUs; });
    read.TrackCount = static_cast<int>(tracks.size());
    read.TempoChanges = static_cast<int>(r.Tempos.size()) - 1;
    *song = std::move(read);
    return true;
}

}  // namespace midi_file
