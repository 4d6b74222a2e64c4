// MIDI input ports on Windows: WinMM's midiIn devices. The driver calls our callback on a
// thread of its own for every short message; the callback hands its bytes on from there.
#include "platform/midi_input.h"

#include "common/byte_order.h"
#include "common/midi_bytes.h"
#include "platform/clock.h"
#include "platform/midi_port_names.h"

#include <windows.h>
#include <mmsystem.h>

#include <cstdint>

namespace {

// Bits of a MIM_DATA message: the status byte, then up to two data bytes.
constexpr std::size_t MaxMessageBytes = 3;


// Room for midiInGetErrorTextA's text.
constexpr UINT ErrorTextLength = MAXERRORLENGTH;

// The instance value of no started input: callbacks carrying it, or any other that is not the
// current one, hand nothing on.
constexpr DWORD_PTR NoSession = 0;

// A critical section for the life of the process: a late callback of a closed device may still
// enter it, so it is never deleted.
struct CallbackLock {
    CRITICAL_SECTION Section;
    CallbackLock() { InitializeCriticalSection(&Section); }
};

CallbackLock Lock;

// Under Lock: the session whose callbacks hand bytes on, and its handlers.
DWORD_PTR ActiveSession = NoSession;
MidiBytesHandler BytesHandler;
MidiEndHandler EndHandler;

// Used by the starting and stopping thread only.
DWORD_PTR LastSession = NoSession;
HMIDIIN Device = nullptr;

// Set on the callback's thread while it runs a handler, which may stop the input itself.
thread_local bool InsideHandler = false;

class LockHolder {
public:
    LockHolder() { EnterCriticalSection(&Lock.Section); }
    ~LockHolder() { LeaveCriticalSection(&Lock.Section); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
};

// How many bytes the message of this status byte has, itself included.
std::size_t CountMessageBytes(unsigned char status)
{
    unsigned char kind = static_cast<unsigned char>(status & MidiKindMask);
    if (kind == ProgramChangeStatus || kind == ChannelPressureStatus) return 2;
    if (kind != SystemMessageKind) return 3;
    if (status == TimeCodeQuarterFrame || status == SongSelect) return 2;
    if (status == SongPositionPointer) return 3;
    return 1;
}

void CALLBACK ReceiveMidiIn(HMIDIIN, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR)
{
    if (message == MIM_DATA) {
        long long arrivedAt = ReadCounter();
        unsigned char bytes[MaxMessageBytes];
        for (std::size_t i = 0; i < MaxMessageBytes; ++i)
            bytes[i] = static_cast<unsigned char>((param1 >> (i * BitsPerByte)) & ByteMask);
        if ((bytes[0] & MidiStatusBit) == 0) return;
        LockHolder held;
        if (instance != ActiveSession) return;
        InsideHandler = true;
        BytesHandler(bytes, CountMessageBytes(bytes[0]), arrivedAt);
        InsideHandler = false;
    } else if (message == MIM_CLOSE) {
        // Our own stop has cleared ActiveSession first; a close still current came from the
        // driver's side.
        LockHolder held;
        if (instance != ActiveSession) return;
        ActiveSession = NoSession;
        InsideHandler = true;
        EndHandler("the MIDI device was closed (unplugged?)");
        InsideHandler = false;
    }
}

std::string DescribeError(MMRESULT result)
{
    char text[ErrorTextLength] = {};
    if (midiInGetErrorTextA(result, text, ErrorTextLength) != MMSYSERR_NOERROR)
        return "error " + std::to_string(result);
    return text;
}

// The device that port names: the only one for "", else by its number or part of its name.
bool FindDevice(const std::string& port, MidiPortName* found, std::string* failure)
{
    std::vector<MidiPortName> ports;
    ListMidiInputPorts(&ports, failure);
    if (port.empty()) {
        if (ports.size() == 1) {
            *found = ports.front();
            return true;
        }
        if (ports.empty())
            *failure = "no MIDI input port (connect a keyboard, or use a loopback port)";
        else
            *failure = "several MIDI input ports: " + DescribeMidiPorts(ports) + "; choose one with --live";
        return false;
    }
    std::size_t index = 0;
    if (MatchMidiPort(ports, port, "number", &index, failure) != PortMatch::Found) return false;
    *found = ports[index];
    return true;
}

// Lets go of the device that was stopped from inside a handler: it could not be closed there,
// as WinMM's callbacks must not call midiIn functions.
void CloseLeftDevice()
{
    if (Device == nullptr) return;
    midiInStop(Device);
    midiInReset(Device);
    midiInClose(Device);
    Device = nullptr;
}

}  // namespace

bool ListMidiInputPorts(std::vector<MidiPortName>* ports, std::string*)
{
    ports->clear();
    UINT count = midiInGetNumDevs();
    for (UINT id = 0; id < count; ++id) {
        MIDIINCAPSA capabilities = {};
        if (midiInGetDevCapsA(id, &capabilities, static_cast<UINT>(sizeof capabilities)) != MMSYSERR_NOERROR) continue;
        ports->push_back({std::to_string(id), capabilities.szPname});
    }
    return true;
}

bool StartMidiPortInput(const std::string& port, const MidiBytesHandler& bytes, const MidiEndHandler& end,
                        std::string* reading, std::string* failure)
{
    StopMidiPortInput();
    CloseLeftDevice();
    MidiPortName chosen;
    if (!FindDevice(port, &chosen, failure)) return false;
    UINT id = static_cast<UINT>(std::stoul(chosen.Id));
    std::string described = "MIDI input port " + chosen.Id + " \"" + chosen.Name + "\"";

    DWORD_PTR session = ++LastSession;
    if (session == NoSession) session = ++LastSession;
    {
        LockHolder held;
        BytesHandler = bytes;
        EndHandler = end;
        ActiveSession = session;
    }

    HMIDIIN opened = nullptr;
    MMRESULT result = midiInOpen(&opened, id, reinterpret_cast<DWORD_PTR>(&ReceiveMidiIn), session, CALLBACK_FUNCTION);
    if (result != MMSYSERR_NOERROR) {
        LockHolder held;
        ActiveSession = NoSession;
        *failure = "cannot open " + described + ": " + DescribeError(result);
        return false;
    }
    Device = opened;
    result = midiInStart(Device);
    if (result != MMSYSERR_NOERROR) {
        StopMidiPortInput();
        *failure = "cannot start " + described + ": " + DescribeError(result);
        return false;
    }
    *reading = chosen.Name + " (" + chosen.Id + ")";
    return true;
}

void StopMidiPortInput()
{
    if (InsideHandler) {
        // The callback holds the lock already. No handler runs after this one, and the
        // device is closed by the next start or stop from outside.
        ActiveSession = NoSession;
        return;
    }
    {
        // Waits for a handler that is running to return; none starts after this.
        LockHolder held;
        ActiveSession = NoSession;
    }
    CloseLeftDevice();
}
