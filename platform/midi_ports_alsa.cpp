// MIDI input ports on Linux: the ALSA sequencer. A thread of our own blocks in poll() on the
// sequencer and on a pipe that wakes it to stop, and turns each event into the MIDI bytes it
// stands for.
#include "platform/midi_input.h"

#include "common/midi_bytes.h"
#include "platform/clock.h"
#include "platform/midi_port_names.h"

#include <alsa/asoundlib.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>
#include <utility>

namespace {

constexpr const char* SequencerName = "default";
// The device behind the "default" sequencer, named in errors.
constexpr const char* SequencerDevicePath = "/dev/snd/seq";
constexpr const char* OwnName = "Tavrel";

// Ports others can read from, that is, MIDI sources.
constexpr unsigned int SourceCapabilities = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
constexpr unsigned int OwnPortCapabilities = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
constexpr unsigned int OwnPortType = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION;

// ALSA's pitch bend is signed around 0, MIDI's 14-bit value around PitchBendCentre.
constexpr int PitchBendLowest = -PitchBendCentre;
constexpr int PitchBendHighest = PitchBendCentre - 1;
constexpr std::size_t MaxMessageBytes = 3;
// Bytes of the events taken in one go, handed on together.
constexpr std::size_t BatchBytes = 256;

constexpr int WaitForever = -1;
constexpr unsigned char WakeByte = 1;

struct SourcePort {
    snd_seq_addr_t Address;
    MidiPortName Port;
};

// One started input. The reader thread holds it too, so that a stop from inside a handler
// leaves the closing to the thread once the handler returns.
struct PortSession {
    snd_seq_t* Sequencer = nullptr;
    int WakeRead = -1;
    int WakeWrite = -1;
    MidiBytesHandler Bytes;
    MidiEndHandler End;
    // The subscribed source, watched for going away; unset for our own open port.
    bool WatchesSource = false;
    snd_seq_addr_t Source = {};
    std::atomic<bool> StopRequested{false};

    PortSession() = default;
    PortSession(const PortSession&) = delete;
    PortSession& operator=(const PortSession&) = delete;
    ~PortSession()
    {
        if (Sequencer != nullptr) snd_seq_close(Sequencer);
        if (WakeRead >= 0) close(WakeRead);
        if (WakeWrite >= 0) close(WakeWrite);
    }
};

std::shared_ptr<PortSession> Running;
std::thread Reader;

// alsa-lib prints its errors to stderr by default; ours say the same in the caller's words.
extern "C" void IgnoreAlsaError(const char*, int, const char*, int, const char*, ...) {}

bool OpenSequencer(snd_seq_t** sequencer, std::string* failure)
{
    snd_lib_error_set_handler(IgnoreAlsaError);
    int result = snd_seq_open(sequencer, SequencerName, SND_SEQ_OPEN_INPUT, SND_SEQ_NONBLOCK);
    if (result >= 0) return true;
    *sequencer = nullptr;
    std::string where = std::string(" (") + SequencerDevicePath + ": " + snd_strerror(result) + ")";
    if (result == -ENOENT || result == -ENODEV || result == -ENXIO)
        *failure = "no MIDI sequencer on this machine" + where;
    else
        *failure = "cannot open the MIDI sequencer" + where;
    return false;
}

std::string FormatAddress(int client, int port)
{
    return std::to_string(client) + ":" + std::to_string(port);
}

// The ports of other clients that can be read from and subscribed to.
std::vector<SourcePort> ListSourcePorts(snd_seq_t* sequencer)
{
    std::vector<SourcePort> sources;
    snd_seq_client_info_t* clientInfo = nullptr;
    snd_seq_port_info_t* portInfo = nullptr;
    if (snd_seq_client_info_malloc(&clientInfo) < 0) return sources;
    if (snd_seq_port_info_malloc(&portInfo) < 0) {
        snd_seq_client_info_free(clientInfo);
        return sources;
    }

    int ownClient = snd_seq_client_id(sequencer);
    snd_seq_client_info_set_client(clientInfo, -1);
    while (snd_seq_query_next_client(sequencer, clientInfo) >= 0) {
        int client = snd_seq_client_info_get_client(clientInfo);
        if (client == SND_SEQ_CLIENT_SYSTEM || client == ownClient) continue;
        snd_seq_port_info_set_client(portInfo, client);
        snd_seq_port_info_set_port(portInfo, -1);
        while (snd_seq_query_next_port(sequencer, portInfo) >= 0) {
            unsigned int capabilities = snd_seq_port_info_get_capability(portInfo);
            if ((capabilities & SourceCapabilities) != SourceCapabilities) continue;
            if ((capabilities & SND_SEQ_PORT_CAP_NO_EXPORT) != 0) continue;
            SourcePort source;
            source.Address = *snd_seq_port_info_get_addr(portInfo);
            source.Port.Id = FormatAddress(source.Address.client, source.Address.port);
            source.Port.Name = std::string(snd_seq_client_info_get_name(clientInfo)) + ":" +
                               snd_seq_port_info_get_name(portInfo);
            sources.push_back(std::move(source));
        }
    }
    snd_seq_port_info_free(portInfo);
    snd_seq_client_info_free(clientInfo);
    return sources;
}

// The source that port names: by its Id or part of its name, else by an address ALSA can parse
// ("CLIENT:PORT", "Client name:PORT").
bool FindSourcePort(snd_seq_t* sequencer, const std::string& port, SourcePort* found, std::string* failure)
{
    const std::vector<SourcePort> sources = ListSourcePorts(sequencer);
    std::vector<MidiPortName> names;
    for (const SourcePort& source : sources) names.push_back(source.Port);
    std::size_t index = 0;
    const PortMatch match = MatchMidiPort(names, port, "CLIENT:PORT", &index, failure);
    if (match == PortMatch::Found) {
        *found = sources[index];
        return true;
    }
    snd_seq_addr_t parsed = {};
    if (match == PortMatch::None && snd_seq_parse_address(sequencer, &parsed, port.c_str()) >= 0) {
        for (const SourcePort& source : sources) {
            if (source.Address.client == parsed.client && source.Address.port == parsed.port) {
                *found = source;
                return true;
            }
        }
    }
    return false;
}

// The plain MIDI bytes a sequencer event stands for; 0 for events that are not channel messages.
std::size_t ConvertToMidiBytes(const snd_seq_event_t& event, unsigned char* bytes)
{
    const snd_seq_ev_note_t& note = event.data.note;
    const snd_seq_ev_ctrl_t& control = event.data.control;
    auto statusOf = [](unsigned char status, unsigned int channel) {
        return static_cast<unsigned char>(status | (channel & MidiChannelMask));
    };
    auto dataOf = [](unsigned int value) { return static_cast<unsigned char>(value & MidiDataMask); };

    switch (event.type) {
    case SND_SEQ_EVENT_NOTEON:
    case SND_SEQ_EVENT_NOTEOFF:
    case SND_SEQ_EVENT_KEYPRESS: {
        unsigned char status = event.type == SND_SEQ_EVENT_NOTEON    ? NoteOnStatus
                               : event.type == SND_SEQ_EVENT_NOTEOFF ? NoteOffStatus
                                                                     : KeyPressureStatus;
        bytes[0] = statusOf(status, note.channel);
        bytes[1] = dataOf(note.note);
        bytes[2] = dataOf(note.velocity);
        return 3;
    }
    case SND_SEQ_EVENT_CONTROLLER:
        bytes[0] = statusOf(ControlChangeStatus, control.channel);
        bytes[1] = dataOf(control.param);
        bytes[2] = dataOf(static_cast<unsigned int>(control.value));
        return 3;
    case SND_SEQ_EVENT_PGMCHANGE:
    case SND_SEQ_EVENT_CHANPRESS:
        bytes[0] = statusOf(event.type == SND_SEQ_EVENT_PGMCHANGE ? ProgramChangeStatus : ChannelPressureStatus,
                            control.channel);
        bytes[1] = dataOf(static_cast<unsigned int>(control.value));
        return 2;
    case SND_SEQ_EVENT_PITCHBEND: {
        unsigned int bend =
            static_cast<unsigned int>(std::clamp(control.value, PitchBendLowest, PitchBendHighest) + PitchBendCentre);
        bytes[0] = statusOf(PitchBendStatus, control.channel);
        bytes[1] = dataOf(bend);
        bytes[2] = dataOf(bend >> MidiDataBits);
        return 3;
    }
    default:
        return 0;
    }
}

// Whether the event announces that the subscribed source, or its whole client, is gone.
bool IsSourceGone(const PortSession& session, const snd_seq_event_t& event)
{
    if (!session.WatchesSource) return false;
    const snd_seq_addr_t& gone = event.data.addr;
    if (event.type == SND_SEQ_EVENT_CLIENT_EXIT) return gone.client == session.Source.client;
    if (event.type == SND_SEQ_EVENT_PORT_EXIT)
        return gone.client == session.Source.client && gone.port == session.Source.port;
    return false;
}

void EndSession(PortSession& session, const std::string& failure)
{
    if (!session.StopRequested) session.End(failure);
}

enum class ReadOutcome { WaitForMore, Leave };

// Takes every event that has arrived and hands their bytes on together, timed by the first:
// events that came together (a chord from a sequencer) stay together.
ReadOutcome TakeEvents(PortSession& session)
{
    unsigned char batch[BatchBytes];
    std::size_t held = 0;
    long long firstArrivedAt = 0;
    const auto handOn = [&] {
        if (held > 0 && !session.StopRequested) session.Bytes(batch, held, firstArrivedAt);
        held = 0;
    };
    for (;;) {
        snd_seq_event_t* event = nullptr;
        int result = snd_seq_event_input(session.Sequencer, &event);
        if (result == -EAGAIN) {
            handOn();
            return ReadOutcome::WaitForMore;
        }
        // -ENOSPC: the kernel's queue overran and events were lost; those after it still count.
        if (result == -ENOSPC || result == -EINTR) continue;
        if (result < 0) {
            handOn();
            EndSession(session, std::string("reading MIDI input failed (") + SequencerDevicePath + ": " +
                                    snd_strerror(result) + ")");
            return ReadOutcome::Leave;
        }
        long long arrivedAt = ReadCounter();
        if (session.StopRequested) return ReadOutcome::Leave;
        if (IsSourceGone(session, *event)) {
            handOn();
            EndSession(session, "the MIDI port went away");
            return ReadOutcome::Leave;
        }
        if (held + MaxMessageBytes > BatchBytes) handOn();
        if (held == 0) firstArrivedAt = arrivedAt;
        held += ConvertToMidiBytes(*event, batch + held);
    }
}

void ReadEvents(std::shared_ptr<PortSession> session)
{
    int sequencerCount = snd_seq_poll_descriptors_count(session->Sequencer, POLLIN);
    std::vector<pollfd> waits(static_cast<std::size_t>(std::max(sequencerCount, 0)) + 1);
    std::size_t wakeIndex = waits.size() - 1;
    snd_seq_poll_descriptors(session->Sequencer, waits.data(), static_cast<unsigned int>(wakeIndex), POLLIN);
    waits[wakeIndex] = {session->WakeRead, POLLIN, 0};

    for (;;) {
        if (poll(waits.data(), static_cast<nfds_t>(waits.size()), WaitForever) < 0) {
            if (errno == EINTR) continue;
            EndSession(*session, std::string("waiting for MIDI input failed: ") + std::strerror(errno));
            return;
        }
        if (session->StopRequested || waits[wakeIndex].revents != 0) return;
        if (TakeEvents(*session) == ReadOutcome::Leave) return;
        for (std::size_t i = 0; i < wakeIndex; ++i) {
            if ((waits[i].revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) {
                EndSession(*session, std::string("the MIDI sequencer stopped answering (") + SequencerDevicePath + ")");
                return;
            }
        }
    }
}

// Opens the sequencer as client "Tavrel" with one input port of that name.
bool OpenOwnPort(PortSession& session, int* ownPort, std::string* failure)
{
    if (!OpenSequencer(&session.Sequencer, failure)) return false;
    snd_seq_set_client_name(session.Sequencer, OwnName);
    *ownPort = snd_seq_create_simple_port(session.Sequencer, OwnName, OwnPortCapabilities, OwnPortType);
    if (*ownPort < 0) {
        *failure = std::string("cannot create the MIDI input port \"") + OwnName + "\" (" + SequencerDevicePath +
                   ": " + snd_strerror(*ownPort) + ")";
        return false;
    }
    return true;
}

bool OpenWakePipe(PortSession& session, std::string* failure)
{
    int ends[2];
    if (pipe(ends) != 0) {
        *failure = std::string("cannot create the pipe that stops MIDI input: ") + std::strerror(errno);
        return false;
    }
    session.WakeRead = ends[0];
    session.WakeWrite = ends[1];
    return true;
}

void WakeReader(const PortSession& session)
{
    while (write(session.WakeWrite, &WakeByte, 1) < 0 && errno == EINTR) {
    }
}

}  // namespace

bool ListMidiInputPorts(std::vector<MidiPortName>* ports, std::string* failure)
{
    ports->clear();
    snd_seq_t* sequencer = nullptr;
    if (!OpenSequencer(&sequencer, failure)) return false;
    for (SourcePort& source : ListSourcePorts(sequencer)) ports->push_back(std::move(source.Port));
    snd_seq_close(sequencer);
    return true;
}

bool StartMidiPortInput(const std::string& port, const MidiBytesHandler& bytes, const MidiEndHandler& end,
                        std::string* reading, std::string* failure)
{
    StopMidiPortInput();
    auto session = std::make_shared<PortSession>();
    session->Bytes = bytes;
    session->End = end;

    int ownPort = 0;
    if (!OpenOwnPort(*session, &ownPort, failure)) return false;

    if (port.empty()) {
        *reading = std::string(OwnName) + " (" + FormatAddress(snd_seq_client_id(session->Sequencer), ownPort) +
                   "), for keyboards and programs to connect to (aconnect)";
    } else {
        SourcePort source;
        if (!FindSourcePort(session->Sequencer, port, &source, failure)) return false;
        int result = snd_seq_connect_from(session->Sequencer, ownPort, source.Address.client, source.Address.port);
        if (result < 0) {
            *failure = "cannot connect to MIDI input port " + source.Port.Id + " \"" + source.Port.Name +
                       "\": " + snd_strerror(result);
            return false;
        }
        // The system's announcements tell when the source goes away; without them it just
        // falls silent, so a refusal is not an error.
        session->WatchesSource = snd_seq_connect_from(session->Sequencer, ownPort, SND_SEQ_CLIENT_SYSTEM,
                                                      SND_SEQ_PORT_SYSTEM_ANNOUNCE) >= 0;
        session->Source = source.Address;
        *reading = source.Port.Name + " (" + source.Port.Id + ")";
    }

    if (!OpenWakePipe(*session, failure)) return false;
    try {
        Reader = std::thread(ReadEvents, session);
    } catch (const std::system_error& error) {
        *failure = std::string("cannot start the thread that reads MIDI input: ") + error.what();
        return false;
    }
    Running = std::move(session);
    return true;
}

void StopMidiPortInput()
{
    if (!Running) return;
    Running->StopRequested = true;
    WakeReader(*Running);
    if (Reader.joinable()) {
        // Called from a handler: the thread leaves once the handler returns, and closes the
        // session itself when it lets go of it.
        if (Reader.get_id() == std::this_thread::get_id())
            Reader.detach();
        else
            Reader.join();
    }
    Running.reset();
}
