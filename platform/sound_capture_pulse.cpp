// Sound capture on Linux: PulseAudio's asynchronous API (PipeWire serves it too) on a thread of
// its own (pa_threaded_mainloop), so that nothing of ours blocks on the sound server.
#include "platform/sound_capture.h"

#include "platform/clock.h"

#include <pulse/pulseaudio.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <memory>

namespace {

constexpr const char* ClientName = "Tavrel";
constexpr const char* StreamName = "rumble";
constexpr int MostChannels = 2;
constexpr pa_usec_t FragmentUs = 5000;  // the server hands sound over every 5 ms
constexpr const char* MonitorSuffix = ".monitor";

using SampleFormat = pa_sample_spec;  // the library's record of a stream's sample format

struct Session {
    pa_threaded_mainloop* Loop = nullptr;
    pa_context* Context = nullptr;
    pa_stream* Stream = nullptr;
    CaptureHandler Samples;
    CaptureEndHandler End;
    int Channels = 0;
    bool Stopping = false;  // guarded by the loop's lock
    bool Ended = false;
};

std::unique_ptr<Session> Running;

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

void EndOnce(Session& s, const std::string& failure)
{
    if (s.Stopping || s.Ended) return;
    s.Ended = true;
    if (s.End) s.End(failure);
}

void OnContextState(pa_context* context, void* data)
{
    Session& s = *static_cast<Session*>(data);
    const pa_context_state_t state = pa_context_get_state(context);
    if (s.Stream != nullptr && !PA_CONTEXT_IS_GOOD(state))
        EndOnce(s, std::string("the sound server went away: ") + pa_strerror(pa_context_errno(context)));
    pa_threaded_mainloop_signal(s.Loop, 0);
}

void OnStreamState(pa_stream* stream, void* data)
{
    Session& s = *static_cast<Session*>(data);
    const pa_stream_state_t state = pa_stream_get_state(stream);
    if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED)
        EndOnce(s, std::string("the sound source went away: ") + pa_strerror(pa_context_errno(s.Context)));
    pa_threaded_mainloop_signal(s.Loop, 0);
}

void OnReadable(pa_stream* stream, std::size_t, void* data)
{
    Session& s = *static_cast<Session*>(data);
    const void* bytes = nullptr;
    std::size_t size = 0;
    while (pa_stream_readable_size(stream) > 0 && pa_stream_peek(stream, &bytes, &size) == 0 && size > 0) {
        // A hole (bytes null) is sound the server lost: nothing to hand over.
        if (bytes != nullptr && !s.Stopping)
            s.Samples(static_cast<const float*>(bytes), size / (sizeof(float) * static_cast<std::size_t>(s.Channels)), ReadCounter());
        pa_stream_drop(stream);
    }
}

// Connects session's context, its loop running and locked; false with *failure, the loop then
// locked too or never made.
bool Connect(Session& s, std::string* failure)
{
    s.Loop = pa_threaded_mainloop_new();
    s.Context = s.Loop != nullptr ? pa_context_new(pa_threaded_mainloop_get_api(s.Loop), ClientName) : nullptr;
    if (s.Context != nullptr) pa_context_set_state_callback(s.Context, OnContextState, &s);
    if (s.Context == nullptr || pa_threaded_mainloop_start(s.Loop) < 0) {
        if (s.Context != nullptr) pa_context_unref(s.Context);
        if (s.Loop != nullptr) pa_threaded_mainloop_free(s.Loop);
        s.Context = nullptr;
        s.Loop = nullptr;
        *failure = "the sound system could not be started";
        return false;
    }
    pa_threaded_mainloop_lock(s.Loop);
    if (pa_context_connect(s.Context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) >= 0)
        for (;;) {
            const pa_context_state_t state = pa_context_get_state(s.Context);
            if (state == PA_CONTEXT_READY) return true;
            if (!PA_CONTEXT_IS_GOOD(state)) break;
            pa_threaded_mainloop_wait(s.Loop);
        }
    *failure = std::string("no sound server to capture from (PulseAudio or PipeWire): ") + pa_strerror(pa_context_errno(s.Context));
    return false;
}

// Ends session, its loop locked (or never made) when locked.
void Close(Session& s, bool locked)
{
    if (s.Loop != nullptr && !locked) pa_threaded_mainloop_lock(s.Loop);
    s.Stopping = true;
    if (s.Stream != nullptr) {
        pa_stream_disconnect(s.Stream);
        pa_stream_unref(s.Stream);
        s.Stream = nullptr;
    }
    if (s.Context != nullptr) {
        pa_context_disconnect(s.Context);
        pa_context_unref(s.Context);
        s.Context = nullptr;
    }
    if (s.Loop != nullptr) {
        pa_threaded_mainloop_unlock(s.Loop);
        pa_threaded_mainloop_stop(s.Loop);
        pa_threaded_mainloop_free(s.Loop);
        s.Loop = nullptr;
    }
}

// Waits for operation, the loop locked.
void Await(Session& s, pa_operation* operation)
{
    if (operation == nullptr) return;
    while (pa_operation_get_state(operation) == PA_OPERATION_RUNNING) pa_threaded_mainloop_wait(s.Loop);
    pa_operation_unref(operation);
}

struct Found {
    Session* Owner;
    std::vector<CaptureSource> Sources;
    std::vector<CaptureFormat> Formats;  // each source's own rate and channels
    std::string DefaultSink;
    std::string Monitor;
};

void OnSource(pa_context*, const pa_source_info* info, int last, void* data)
{
    Found& f = *static_cast<Found*>(data);
    if (last == 0 && info != nullptr) {
        f.Sources.push_back({info->name, info->description != nullptr ? info->description : info->name});
        f.Formats.push_back({static_cast<int>(info->sample_spec.rate), info->sample_spec.channels});
    }
    pa_threaded_mainloop_signal(f.Owner->Loop, 0);
}

void OnServer(pa_context*, const pa_server_info* info, void* data)
{
    Found& f = *static_cast<Found*>(data);
    if (info != nullptr && info->default_sink_name != nullptr) f.DefaultSink = info->default_sink_name;
    pa_threaded_mainloop_signal(f.Owner->Loop, 0);
}

void OnSink(pa_context*, const pa_sink_info* info, int last, void* data)
{
    Found& f = *static_cast<Found*>(data);
    if (last == 0 && info != nullptr && info->monitor_source_name != nullptr) f.Monitor = info->monitor_source_name;
    pa_threaded_mainloop_signal(f.Owner->Loop, 0);
}

// The sources there are, and the default output's monitor; the loop locked.
void FindSources(Session& s, Found* found)
{
    found->Owner = &s;
    Await(s, pa_context_get_source_info_list(s.Context, OnSource, found));
    Await(s, pa_context_get_server_info(s.Context, OnServer, found));
    if (!found->DefaultSink.empty()) Await(s, pa_context_get_sink_info_by_name(s.Context, found->DefaultSink.c_str(), OnSink, found));
    if (found->Monitor.empty() && !found->DefaultSink.empty()) found->Monitor = found->DefaultSink + MonitorSuffix;
}

}  // namespace

bool ListCaptureSources(std::vector<CaptureSource>* sources, std::string* failure)
{
    Session s;
    if (!Connect(s, failure)) {
        Close(s, true);
        return false;
    }
    Found found;
    FindSources(s, &found);
    Close(s, true);
    *sources = found.Sources;
    return true;
}

bool StartSoundCapture(const std::string& source, const CaptureHandler& samples, const CaptureEndHandler& end,
                       CaptureFormat* format, std::string* reading, std::string* failure)
{
    StopSoundCapture();
    auto s = std::make_unique<Session>();
    s->Samples = samples;
    s->End = end;
    if (!Connect(*s, failure)) {
        Close(*s, true);
        return false;
    }
    Found found;
    FindSources(*s, &found);
    // The default output's monitor, or the source named by its name or a part of its description.
    const std::string wanted = source.empty() ? found.Monitor : source;
    std::size_t at = found.Sources.size();
    for (std::size_t i = 0; i < found.Sources.size() && at == found.Sources.size(); ++i)
        if (found.Sources[i].Id == wanted) at = i;
    for (std::size_t i = 0; i < found.Sources.size() && at == found.Sources.size() && !source.empty(); ++i)
        if (Lower(found.Sources[i].Name).find(Lower(source)) != std::string::npos) at = i;
    if (at == found.Sources.size()) {
        *failure = source.empty() ? "the sound server has no output to capture" : "no sound source " + source + " (--capture-sources lists them)";
        Close(*s, true);
        return false;
    }
    // Float samples at the source's own rate, one or two channels: the server converts the rest.
    SampleFormat sound{};
    sound.format = PA_SAMPLE_FLOAT32NE;
    sound.rate = static_cast<std::uint32_t>(found.Formats[at].Rate);
    sound.channels = static_cast<std::uint8_t>(std::clamp(found.Formats[at].Channels, 1, MostChannels));
    s->Channels = sound.channels;
    s->Stream = pa_stream_new(s->Context, StreamName, &sound, nullptr);
    if (s->Stream == nullptr) {
        *failure = std::string("the sound source could not be read: ") + pa_strerror(pa_context_errno(s->Context));
        Close(*s, true);
        return false;
    }
    pa_stream_set_state_callback(s->Stream, OnStreamState, s.get());
    pa_stream_set_read_callback(s->Stream, OnReadable, s.get());
    pa_buffer_attr buffer;
    buffer.maxlength = static_cast<std::uint32_t>(-1);
    buffer.tlength = buffer.prebuf = buffer.minreq = static_cast<std::uint32_t>(-1);
    buffer.fragsize = static_cast<std::uint32_t>(pa_usec_to_bytes(FragmentUs, &sound));
    bool ready = pa_stream_connect_record(s->Stream, found.Sources[at].Id.c_str(), &buffer, PA_STREAM_ADJUST_LATENCY) >= 0;
    while (ready) {
        const pa_stream_state_t state = pa_stream_get_state(s->Stream);
        if (state == PA_STREAM_READY) break;
        if (state == PA_STREAM_FAILED || state == PA_STREAM_TERMINATED) ready = false;
        else pa_threaded_mainloop_wait(s->Loop);
    }
    if (!ready) {
        *failure = "the sound source " + found.Sources[at].Name + " could not be read: " + pa_strerror(pa_context_errno(s->Context));
        Close(*s, true);
        return false;
    }
    format->Rate = static_cast<int>(sound.rate);
    format->Channels = sound.channels;
    *reading = found.Sources[at].Name;
    pa_threaded_mainloop_unlock(s->Loop);
    Running = std::move(s);
    return true;
}

void StopSoundCapture()
{
    if (!Running) return;
    Close(*Running, false);
    Running.reset();
}
