// virtual-joycon-server.exe CLIENT_PROCESS_ID: serves the device paths that the setupapi.dll
// stand-in lists to one client process, as named pipes in message mode, and logs what passes
// in the Linux virtual controller's format. Started by the stand-in; ends with its client.
//
// Each pipe behaves as the Windows HID class driver does with the device it stands for:
// - a connection's messages from the program are output reports; one of a length other than
//   the device's output report length, or any write to a decoy, is logged as "fault ..." and
//   breaks the connection (a HID driver would refuse the write);
// - every input report reaches the program as one message of the full input report length,
//   zero-padded. The pipes have no buffer, so a report stays offered until the program reads
//   it: "deliver" is logged when it did, and a report not yet read is withdrawn when a newer
//   one is due or an output report arrives (replies come first, as on Linux);
// - a lost device (vanish mode) is disconnected: every later call on it fails.
// Reads that bring nothing are not seen by a device, so this log has no "timeout" or "fail"
// lines; "close" is logged when the program closes the device it opened. Each simulated
// controller has its own device log (event_log.h); faults on decoys go to the first one.
#include "common/time_units.h"

#include <windows.h>

#include "event_log.h"
#include "listed_devices.h"
#include "virtual_device.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Room for any message a program may send; longer ones are counted, not kept.
constexpr DWORD MaxMessageBytes = 1024;
constexpr DWORD MaxInputReportBytes = 1024;

// Instances of each pipe kept listening. A program opens a device twice in a row (once to read
// its IDs, once for use), faster than this server replaces a connected instance; an open that
// finds none listening would fail as no HID device's open does.
constexpr int ListenersPerDevice = 4;

struct Operation {
    OVERLAPPED Overlapped;
    bool Pending;
};

enum class ConnectionState { Listening, Connected, Gone };

struct Connection {
    int Index;  // of vj::ListedDeviceAt
    HANDLE Pipe;
    ConnectionState State;
    Operation Connect;
    Operation Notify;     // a read of no bytes: completes when a message waits, or at close
    Operation Write;      // the input report offered to the program
    HANDLE ReadEvent;     // for reading a waiting message whole
    bool Announced;       // the program's open device
    bool Abandoned;       // still open when the program exited: it never closed it
    vj::DeviceState Device;
    vj::NextReport Offered;  // valid while Write.Pending
    unsigned char OutBuffer[MaxInputReportBytes];
};

unsigned long ClientProcessId = 0;
unsigned char NotifyBuffer[1];
std::vector<std::unique_ptr<Connection>> Connections;

vj::ListedDevice DeviceOf(const Connection& c) { return vj::ListedDeviceAt(c.Index); }

// The device log of a connection: its controller's; a decoy's faults go to the first log.
int LogOf(const Connection& c)
{
    const int controller = DeviceOf(c).ControllerIndex;
    return controller < 0 ? 0 : controller;
}

HANDLE NewEvent() { return CreateEventA(nullptr, TRUE, FALSE, nullptr); }

void InitOperation(Operation& operation)
{
    std::memset(&operation.Overlapped, 0, sizeof operation.Overlapped);
    operation.Overlapped.hEvent = NewEvent();
    operation.Pending = false;
}

// "<kind> <vendor> <product> <what>", as "open 057e 2007 ok" or "fault 057e 2006 ...".
std::string DeviceLine(const Connection& c, const char* kind, const char* what)
{
    char line[128];
    std::snprintf(line, sizeof line, "%s %04x %04x %s", kind, DeviceOf(c).VendorId, DeviceOf(c).ProductId, what);
    return line;
}

// A fault of a write is followed by the write's length and bytes, as a write line has them.
void LogWriteFault(const Connection& c, const char* what, const unsigned char* bytes, std::size_t length)
{
    vj::LogReportOn(LogOf(c), DeviceLine(c, "fault", what).c_str(), bytes, length);
}

// Waits for a pending operation to end after it was cancelled. True when it had completed.
bool FinishCancelled(Connection& c, Operation& operation)
{
    if (!operation.Pending) return false;
    CancelIoEx(c.Pipe, &operation.Overlapped);
    DWORD bytes = 0;
    const bool completed = GetOverlappedResult(c.Pipe, &operation.Overlapped, &bytes, TRUE) != FALSE;
    operation.Pending = false;
    return completed;
}

void Delivered(Connection& c)
{
    vj::LogReportOn(LogOf(c), "deliver", c.Offered.Bytes.data(), c.Offered.Bytes.size());
    vj::MarkDelivered(c.Device, c.Offered);
}

// Takes back a report the program has not read yet; if it read it meanwhile, it is delivered.
void WithdrawOffer(Connection& c)
{
    if (FinishCancelled(c, c.Write)) Delivered(c);
}

void EndConnection(Connection& c)
{
    if (c.State == ConnectionState::Gone) return;
    WithdrawOffer(c);
    FinishCancelled(c, c.Notify);
    FinishCancelled(c, c.Connect);
    DisconnectNamedPipe(c.Pipe);
    CloseHandle(c.Pipe);
    c.State = ConnectionState::Gone;
}

void ConnectionClosed(Connection& c)
{
    // A report the program read just before it closed is logged before the close.
    WithdrawOffer(c);
    if (c.Announced && !c.Abandoned && c.State == ConnectionState::Connected) vj::LogEventOn(LogOf(c), "close");
    EndConnection(c);
}

void AddListener(int index);

void EnsureListeners(int index)
{
    int listening = 0;
    for (const auto& c : Connections)
        if (c->Index == index && c->State == ConnectionState::Listening) ++listening;
    for (; listening < ListenersPerDevice; ++listening) AddListener(index);
}

void StartNotify(Connection& c);

void Connected(Connection& c)
{
    c.State = ConnectionState::Connected;
    EnsureListeners(c.Index);
    // A pipe that refuses writing is opened for reading at most; there is nothing to take.
    if (!DeviceOf(c).RefusesWriting) StartNotify(c);
}

void AddListener(int index)
{
    const vj::ListedDevice device = vj::ListedDeviceAt(index);
    char path[vj::MaxPipePathLength];
    vj::FormatPipePath(path, ClientProcessId, index);
    const DWORD access = (device.RefusesWriting ? PIPE_ACCESS_OUTBOUND : PIPE_ACCESS_DUPLEX) | FILE_FLAG_OVERLAPPED;
    // No buffer either way: a write completes only once the other side has read it.
    HANDLE pipe = CreateNamedPipeA(path, access, PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT,
                                   PIPE_UNLIMITED_INSTANCES, 0, 0, 0, nullptr);
    if (pipe == INVALID_HANDLE_VALUE) return;
    Connections.push_back(std::make_unique<Connection>());
    Connection& c = *Connections.back();
    c.Index = index;
    c.Pipe = pipe;
    c.State = ConnectionState::Listening;
    InitOperation(c.Connect);
    InitOperation(c.Notify);
    InitOperation(c.Write);
    c.ReadEvent = NewEvent();
    c.Announced = false;
    c.Abandoned = false;
    if (ConnectNamedPipe(pipe, &c.Connect.Overlapped)) {
        Connected(c);
    } else if (GetLastError() == ERROR_IO_PENDING) {
        c.Connect.Pending = true;
    } else if (GetLastError() == ERROR_PIPE_CONNECTED) {
        Connected(c);
    }
}

void Announce(Connection& c, long long now)
{
    if (c.Announced) return;
    c.Announced = true;
    if (DeviceOf(c).ControllerIndex < 0) {
        vj::LogEventOn(LogOf(c), DeviceLine(c, "fault", "opened for writing").c_str());
        EndConnection(c);
        return;
    }
    vj::LogEventOn(LogOf(c), DeviceLine(c, "open", "ok").c_str());
    vj::StartDevice(c.Device, now, LogOf(c));
    if (c.Device.Vanished) EndConnection(c);
}

void TakeReport(Connection& c, const unsigned char* bytes, std::size_t length, long long now)
{
    if (DeviceOf(c).ControllerIndex < 0) {
        LogWriteFault(c, "write to a decoy", bytes, length);
        EndConnection(c);
        return;
    }
    if (length != DeviceOf(c).OutputReportLength) {
        LogWriteFault(c, "write of a wrong length", bytes, length);
        EndConnection(c);
        return;
    }
    Announce(c, now);  // a program that writes without asking about the device first
    if (c.State != ConnectionState::Connected) return;
    vj::LogReportOn(LogOf(c), "write", bytes, length);
    vj::TakeWrite(c.Device, bytes, length, now);
    if (c.Device.Vanished) EndConnection(c);
}

// Reads the message that waits, whole. False when the connection broke instead.
bool ReadMessage(Connection& c, unsigned char* message, std::size_t* length)
{
    *length = 0;
    for (;;) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = c.ReadEvent;
        unsigned char scratch[MaxMessageBytes];
        unsigned char* into = *length < MaxMessageBytes ? message + *length : scratch;
        const DWORD room = *length < MaxMessageBytes ? MaxMessageBytes - static_cast<DWORD>(*length) : MaxMessageBytes;
        DWORD got = 0;
        BOOL ok = ReadFile(c.Pipe, into, room, &got, &overlapped);
        if (!ok && GetLastError() == ERROR_IO_PENDING) ok = GetOverlappedResult(c.Pipe, &overlapped, &got, TRUE);
        const DWORD error = ok ? ERROR_SUCCESS : GetLastError();
        *length += got;
        if (ok) return true;
        if (error != ERROR_MORE_DATA) return false;
    }
}

void WriteEnded(Connection& c);

void TakeMessage(Connection& c)
{
    // A report the program read before it wrote this one is logged first, even when this
    // message woke the server before the read did.
    if (c.Write.Pending && HasOverlappedIoCompleted(&c.Write.Overlapped)) WriteEnded(c);
    // An input report offered before this output report must not be read after it: the reply
    // to a subcommand comes first.
    if (c.Write.Pending && !c.Offered.IsReply) WithdrawOffer(c);
    unsigned char message[MaxMessageBytes];
    std::size_t length = 0;
    if (!ReadMessage(c, message, &length)) {
        ConnectionClosed(c);
        return;
    }
    const long long now = vj::MonotonicNs();
    const std::size_t kept = length < MaxMessageBytes ? length : MaxMessageBytes;
    if (length == sizeof vj::OpenAnnouncement && std::memcmp(message, vj::OpenAnnouncement, length) == 0)
        Announce(c, now);
    else
        TakeReport(c, message, kept, now);
}

// What a read of no bytes found: a message of no bytes, which it read whole (a fault); a
// message that waits (taken); or a broken connection. True when a message was taken.
bool TakeNotified(Connection& c, bool readWhole, DWORD error)
{
    if (readWhole) {
        LogWriteFault(c, "write of a wrong length", NotifyBuffer, 0);
        EndConnection(c);
        return false;
    }
    if (error != ERROR_MORE_DATA) {
        ConnectionClosed(c);
        return false;
    }
    TakeMessage(c);
    return true;
}

void StartNotify(Connection& c)
{
    while (c.State == ConnectionState::Connected) {
        DWORD got = 0;
        const bool readWhole = ReadFile(c.Pipe, NotifyBuffer, 0, &got, &c.Notify.Overlapped) != FALSE;
        const DWORD error = readWhole ? ERROR_SUCCESS : GetLastError();
        if (error == ERROR_IO_PENDING) {
            c.Notify.Pending = true;
            return;
        }
        if (!TakeNotified(c, readWhole, error)) return;
    }
}

void NotifyEnded(Connection& c)
{
    c.Notify.Pending = false;
    DWORD got = 0;
    const bool readWhole = GetOverlappedResult(c.Pipe, &c.Notify.Overlapped, &got, FALSE) != FALSE;
    if (TakeNotified(c, readWhole, readWhole ? ERROR_SUCCESS : GetLastError())) StartNotify(c);
}

void WriteEnded(Connection& c)
{
    c.Write.Pending = false;
    DWORD got = 0;
    if (GetOverlappedResult(c.Pipe, &c.Write.Overlapped, &got, FALSE)) Delivered(c);
}

void ConnectEnded(Connection& c)
{
    c.Connect.Pending = false;
    DWORD got = 0;
    if (GetOverlappedResult(c.Pipe, &c.Connect.Overlapped, &got, FALSE) || GetLastError() == ERROR_PIPE_CONNECTED) {
        Connected(c);
    } else {
        EndConnection(c);
        EnsureListeners(c.Index);
    }
}

// A connection announced on a decoy is ended at once, so this is a controller's.
bool Serving(const Connection& c) { return c.State == ConnectionState::Connected && c.Announced; }

// Offers the program the report it would get now, replacing an unread streamed report by a
// newer one; a report the program is already waiting for is delivered at once.
void OfferReports(Connection& c, long long now)
{
    while (Serving(c)) {
        vj::NextReport next;
        long long due = -1;
        if (c.Write.Pending) {
            if (c.Offered.IsReply) return;
            if (!vj::FindNextReport(c.Device, now, &next, &due)) return;
            if (!next.IsReply && next.Slot == c.Offered.Slot) return;
            WithdrawOffer(c);
            continue;
        }
        if (!vj::FindNextReport(c.Device, now, &next, &due)) return;
        c.Offered = next;
        std::memset(c.OutBuffer, 0, sizeof c.OutBuffer);
        std::memcpy(c.OutBuffer, next.Bytes.data(), next.Bytes.size());
        DWORD written = 0;
        if (WriteFile(c.Pipe, c.OutBuffer, DeviceOf(c).InputReportLength, &written, &c.Write.Overlapped)) {
            Delivered(c);
            continue;
        }
        if (GetLastError() == ERROR_IO_PENDING) c.Write.Pending = true;
        return;  // otherwise the connection broke; its notification says so
    }
}

// When the report offered to c next changes unasked, in the log's time; -1 for never.
long long NextChangeNs(const Connection& c, long long now)
{
    if (!Serving(c) || (c.Write.Pending && c.Offered.IsReply)) return -1;
    vj::DeviceState after = c.Device;
    if (c.Write.Pending) vj::MarkDelivered(after, c.Offered);
    vj::NextReport next;
    long long due = -1;
    return vj::FindNextReport(after, now, &next, &due) ? now : due;
}

DWORD WaitMs(long long now)
{
    long long soonest = -1;
    for (const auto& c : Connections) {
        const long long due = NextChangeNs(*c, now);
        if (due >= 0 && (soonest < 0 || due < soonest)) soonest = due;
    }
    if (soonest < 0) return INFINITE;
    const long long ms = (soonest - now + NanosecondsPerMillisecond - 1) / NanosecondsPerMillisecond;
    return ms <= 0 ? 0 : static_cast<DWORD>(ms);
}

struct Waited {
    Connection* Owner;
    void (*Ended)(Connection&);
};

constexpr int OperationEnded = -1;
constexpr int NothingHappened = -2;

// Waits once for the client, the drain request or any pending operation, and handles what
// ended. Returns the index among the fixed handles that was signalled, OperationEnded, or
// NothingHappened when the wait timed out.
int ServeOnce(const std::vector<HANDLE>& fixed, DWORD timeoutMs)
{
    std::vector<HANDLE> handles = fixed;
    std::vector<Waited> owners(fixed.size(), Waited{nullptr, nullptr});
    for (const auto& c : Connections) {
        if (c->State == ConnectionState::Gone) continue;
        if (c->Connect.Pending) {
            handles.push_back(c->Connect.Overlapped.hEvent);
            owners.push_back({c.get(), ConnectEnded});
        }
        if (c->Notify.Pending) {
            handles.push_back(c->Notify.Overlapped.hEvent);
            owners.push_back({c.get(), NotifyEnded});
        }
        if (c->Write.Pending) {
            handles.push_back(c->Write.Overlapped.hEvent);
            owners.push_back({c.get(), WriteEnded});
        }
    }
    if (handles.size() > MAXIMUM_WAIT_OBJECTS) handles.resize(MAXIMUM_WAIT_OBJECTS);
    const DWORD result = WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, timeoutMs);
    int signalled = NothingHappened;
    if (result >= WAIT_OBJECT_0 && result < WAIT_OBJECT_0 + handles.size()) {
        const std::size_t at = result - WAIT_OBJECT_0;
        if (at < fixed.size()) {
            signalled = static_cast<int>(at);
        } else {
            owners[at].Ended(*owners[at].Owner);
            signalled = OperationEnded;
        }
    }
    const long long now = vj::MonotonicNs();
    for (std::size_t i = 0; i < Connections.size(); ++i) OfferReports(*Connections[i], now);
    return signalled;
}

// Handles everything that has already happened, without waiting.
void CatchUp()
{
    while (ServeOnce({}, 0) == OperationEnded) {
    }
}

// The client is exiting: log the closes it made, then leave its still open devices unlogged
// (it never closed them; the system will).
void Drain()
{
    CatchUp();
    for (const auto& c : Connections) {
        if (c->State != ConnectionState::Connected || !c->Announced) continue;
        DWORD available = 0;
        if (!PeekNamedPipe(c->Pipe, nullptr, 0, nullptr, &available, nullptr)) {
            ConnectionClosed(*c);
        } else {
            c->Abandoned = true;
        }
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: virtual-joycon-server CLIENT_PROCESS_ID\n");
        return 2;
    }
    ClientProcessId = std::strtoul(argv[1], nullptr, 10);
    HANDLE client = OpenProcess(SYNCHRONIZE, FALSE, ClientProcessId);
    // Its exit code then says why: the client that starts it reports it.
    if (client == nullptr) return static_cast<int>(GetLastError());
    vj::StartEventLog();
    HANDLE ready = vj::OpenServerEvent(ClientProcessId, "ready");
    HANDLE drain = vj::OpenServerEvent(ClientProcessId, "drain");
    HANDLE drained = vj::OpenServerEvent(ClientProcessId, "drained");

    for (int index = 0; index < vj::PresentDeviceCount(); ++index) EnsureListeners(index);
    SetEvent(ready);

    bool drainAnswered = false;
    for (;;) {
        std::vector<HANDLE> fixed = {client};
        if (!drainAnswered) fixed.push_back(drain);
        const int signalled = ServeOnce(fixed, WaitMs(vj::MonotonicNs()));
        if (signalled == 0) break;
        if (signalled == 1) {
            Drain();
            SetEvent(drained);
            drainAnswered = true;
        }
    }
    if (!drainAnswered) Drain();
    for (const auto& c : Connections) EndConnection(*c);
    return 0;
}
