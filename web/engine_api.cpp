// The engine as the page calls it: plain C functions over one process-wide record, since a page
// plays one piece at a time. Bytes and text cross through the module's memory; every call that
// can fail returns 0 and leaves its message for EngineError. The page sends the reports; this
// side only says which report goes out next and with what bytes.
#include "common/time_units.h"
#include "controller/controller_kinds.h"
#include "controller/link.h"
#include "play/engine.h"
#include "play/live/capture_cursor.h"
#include "play/live/capture_stream.h"
#include "play/live/live_output.h"
#include "play/live/live_voices.h"
#include "play/perform/report_cursor.h"
#include "play/report/music_listing.h"
#include "play/readers/wav_reader.h"
#include "play/sound/wav_source.h"
#include "rumble/tone_tables.h"

#include <emscripten/emscripten.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int ReportBytes = 2 * RumbleBlockSize;

struct EngineState {
    PlayChoices Choices;
    Music Loaded;
    bool HasMusic = false;
    std::string Name;
    std::vector<const ControllerKind*> Kinds;
    Performance Plan;
    std::vector<ReportCursor> Cursors;
    std::string Error;
    std::string Text;        // the last text handed out
    std::string Bytes;       // the last bytes handed out
    std::vector<double> Decoded;  // the last schedule handed out decoded
    unsigned char Report[ReportBytes] = {};
    long long LastPass = 0;
    long long LastDueUs = 0;
};

EngineState Engine;

// Sound caught live (a microphone, a tab's or the screen's sound): the stream, and per controller
// what its actuators play and which samples its next report carries.
struct CaptureState {
    CaptureStream Stream;
    std::vector<std::pair<CaptureSide, CaptureSide>> Sides;
    std::vector<CaptureCursor> Cursors;
    std::vector<long long> Carried;
};

CaptureState Capture;

// Live MIDI: the voices the messages play, and what each controller was last sent.
struct LiveState {
    LiveVoices Voices;
    MidiStreamReader Reader;
    std::vector<LiveOutput> Outputs;
    RumbleBytes Left;   // of the report taken last
    RumbleBytes Right;
};

LiveState Live;

long long UsOfMs(double ms) { return static_cast<long long>(ms * MicrosecondsPerMillisecond); }

std::vector<std::string> SplitList(const char* list)
{
    std::vector<std::string> items;
    std::stringstream in(list != nullptr ? list : "");
    std::string item;
    while (std::getline(in, item, ','))
        if (!item.empty()) items.push_back(item);
    return items;
}

bool Fail(const MusicError& error)
{
    Engine.Error = error.Text;
    Engine.HasMusic = false;
    return false;
}

// A stream of frames read whole from memory: the page's decoded sound.
struct MemorySound {
    std::vector<float> Samples;
    long long Frames = 0;
    long long At = 0;
    int Channels = 1;
};

bool ArrangeFrom(SoundSource& source, const char* name)
{
    Engine.Name = name;
    MusicError error;
    Music music;
    if (!ArrangeSound(source, Engine.Name, Engine.Choices, [](double) {}, &music, &error) ||
        !PrepareMusic(Engine.Choices, &music, &error))
        return Fail(error);
    Engine.Loaded = std::move(music);
    Engine.HasMusic = true;
    return true;
}

// The controllers of these product IDs (comma-separated), in order; none: one right Joy-Con.
void ChooseKinds(const char* productIds)
{
    Engine.Kinds.clear();
    for (const std::string& id : SplitList(productIds))
        for (const ControllerKind& kind : ControllerKinds)
            if (kind.ProductId == std::atoi(id.c_str())) Engine.Kinds.push_back(&kind);
    if (Engine.Kinds.empty()) Engine.Kinds.push_back(&ControllerKinds[0]);
}

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void EngineStart() { BuildToneTables(); }

EMSCRIPTEN_KEEPALIVE const char* EngineError() { return Engine.Error.c_str(); }

// The listener's choices, as tavrel-play's options take them (tracks and channels comma-separated;
// times in milliseconds). Take effect at the next read.
EMSCRIPTEN_KEEPALIVE void EngineSetChoices(int volumePercent, int tempoPercent, int transpose, int loops, double startMs,
                                           int attackMs, int releaseMs, int minIntervalMs, const char* tracks,
                                           const char* channels, int soundChannel)
{
    PlayChoices choices;
    choices.VolumePercent = volumePercent;
    choices.Choice.TempoPercent = tempoPercent;
    choices.Choice.Transpose = transpose;
    choices.Loops = loops;
    choices.StartUs = static_cast<long long>(startMs * MicrosecondsPerMillisecond);
    choices.Shape = NoteShape{attackMs * MicrosecondsPerMillisecond, releaseMs * MicrosecondsPerMillisecond};
    choices.MinIntervalUs = minIntervalMs * MicrosecondsPerMillisecond;
    choices.Tracks = SplitList(tracks);
    for (const std::string& channel : SplitList(channels)) choices.Choice.Channels.push_back(std::atoi(channel.c_str()));
    choices.Channel = soundChannel == 1 ? SoundChannel::Left : soundChannel == 2 ? SoundChannel::Right : SoundChannel::Mix;
    Engine.Choices = choices;
}

// A file's bytes: a tune, MIDI, RIFF MIDI, .bnvib or .jcvib. 1 when read; else 0 and the reason.
EMSCRIPTEN_KEEPALIVE int EngineReadFile(const char* bytes, int length, const char* name)
{
    Engine.Name = name;
    MusicError error;
    Music music;
    if (!ReadMusic(std::string(bytes, static_cast<std::size_t>(length)), Engine.Name, Engine.Choices, &music, &error))
        return Fail(error);
    Engine.Loaded = std::move(music);
    Engine.HasMusic = true;
    return 1;
}

// Whether the first bytes are a sound's (WAV the engine reads itself; others the page decodes).
EMSCRIPTEN_KEEPALIVE int EngineLooksLikeSound(const char* bytes, int length)
{
    return LooksLikeSound(std::string(bytes, static_cast<std::size_t>(length))) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE int EngineLooksLikeWav(const char* bytes, int length)
{
    return LooksLikeWav(std::string(bytes, static_cast<std::size_t>(length))) ? 1 : 0;
}

// A WAV file's bytes, read by the same reader as on the command line.
EMSCRIPTEN_KEEPALIVE int EngineReadWav(const char* bytes, int length, const char* name)
{
    // The reader takes a stream: the bytes are opened as one (and freed with it).
    std::FILE* in = fmemopen(const_cast<char*>(bytes), static_cast<std::size_t>(length), "rb");
    if (in == nullptr) return Fail(MusicError{std::string(name) + ": cannot read"});
    const std::size_t first = std::min<std::size_t>(SoundSignatureBytes, static_cast<std::size_t>(length));
    std::fseek(in, static_cast<long>(first), SEEK_SET);
    SoundSource source;
    std::string failure;
    if (!OpenWavSource(in, true, std::string(bytes, first), length, &source, &failure))
        return Fail(MusicError{std::string(name) + ": " + failure});
    return ArrangeFrom(source, name) ? 1 : 0;
}

// Sound the page decoded: frames interleaved, -1 to 1.
EMSCRIPTEN_KEEPALIVE int EngineReadSound(const float* samples, int frames, int channels, int rate, const char* name,
                                         const char* format)
{
    auto sound = std::make_shared<MemorySound>();
    sound->Samples.assign(samples, samples + static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels));
    sound->Frames = frames;
    sound->Channels = channels;
    SoundSource source;
    source.Info = SoundInfo{format, rate, channels, frames};
    source.Handle = sound;
    source.Read = [sound](float* out, long long wanted, std::string*) {
        const long long n = std::min(wanted, sound->Frames - sound->At);
        std::copy_n(sound->Samples.begin() + sound->At * sound->Channels, n * sound->Channels, out);
        sound->At += n;
        return n;
    };
    return ArrangeFrom(source, name) ? 1 : 0;
}

// Plans the music for the controllers given by product ID (comma-separated; none: one right
// Joy-Con) and starts each one's cursor. Returns how many controllers.
EMSCRIPTEN_KEEPALIVE int EnginePlan(const char* productIds)
{
    ChooseKinds(productIds);
    if (!Engine.HasMusic) return 0;
    Engine.Plan = PlanPerformance(Engine.Choices, Engine.Loaded, Engine.Kinds);
    long long lengthUs = 0;
    long long repeatFromUs = Engine.Plan.Schedules.front().RepeatFromUs;
    for (const Schedule& s : Engine.Plan.Schedules) {
        lengthUs = std::max(lengthUs, s.LengthUs);
        repeatFromUs = std::min(repeatFromUs, s.RepeatFromUs);
    }
    const int passes = lengthUs - repeatFromUs <= 0 ? 1 : Engine.Loaded.Passes;
    Engine.Cursors.assign(Engine.Plan.Schedules.size(), ReportCursor{});
    for (std::size_t c = 0; c < Engine.Cursors.size(); ++c)
        StartReportCursor(Engine.Cursors[c], Engine.Plan.Schedules[c], lengthUs, repeatFromUs, passes);
    return static_cast<int>(Engine.Cursors.size());
}

// What --list says of the planned music.
EMSCRIPTEN_KEEPALIVE const char* EngineListing()
{
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = open_memstream(&text, &size);
    PrintMusicListing(out, Engine.Name, Engine.Loaded, Engine.Plan);
    std::fclose(out);
    Engine.Text.assign(text, size);
    std::free(text);
    return Engine.Text.c_str();
}

// The length every controller plays together, one pass, in milliseconds; passes (0: until stopped).
EMSCRIPTEN_KEEPALIVE double EngineLengthMs(int c)
{
    return static_cast<double>(Engine.Cursors[c].LengthUs) / MicrosecondsPerMillisecond;
}
EMSCRIPTEN_KEEPALIVE double EnginePassMs(int c) { return static_cast<double>(Engine.Cursors[c].PassUs) / MicrosecondsPerMillisecond; }
EMSCRIPTEN_KEEPALIVE int EnginePasses(int c) { return Engine.Cursors[c].Passes; }
EMSCRIPTEN_KEEPALIVE double EngineWriteAllowanceMs(int c)
{
    return static_cast<double>(Engine.Plan.Schedules[c].WriteAllowanceUs) / MicrosecondsPerMillisecond;
}

// Controller c's next report's due time from the start in milliseconds; -1 when none is left.
EMSCRIPTEN_KEEPALIVE double EngineNextDueMs(int c)
{
    const ReportCursor& cursor = Engine.Cursors[c];
    if (!HasNextReport(cursor)) return -1;
    return static_cast<double>(cursor.Pass * cursor.PassUs + NextReportDueUs(cursor)) / MicrosecondsPerMillisecond;
}

// Takes controller c's next report when it can go out earliestMs after the start at the soonest:
// the ones overdue by then are passed over. Its 8 rumble bytes are at EngineReportBytes(); returns
// how many were passed over.
EMSCRIPTEN_KEEPALIVE int EngineTakeReport(int c, double earliestMs)
{
    ReportCursor& cursor = Engine.Cursors[c];
    const double earliestUs = earliestMs * MicrosecondsPerMillisecond;
    int passedOver = 0;
    const ScheduledReport report = TakeNextReport(
        cursor,
        [&](long long pass, long long dueUs) { return static_cast<double>(pass * cursor.PassUs + dueUs) <= earliestUs; },
        &Engine.LastPass, &Engine.LastDueUs, &passedOver);
    std::copy_n(report.Left.Bytes, RumbleBlockSize, Engine.Report);
    std::copy_n(report.Right.Bytes, RumbleBlockSize, Engine.Report + RumbleBlockSize);
    return passedOver;
}
EMSCRIPTEN_KEEPALIVE const unsigned char* EngineReportBytes() { return Engine.Report; }
// The pass the report taken last belongs to (from 0).
EMSCRIPTEN_KEEPALIVE int EngineTakenPass() { return static_cast<int>(Engine.LastPass); }
// The report taken last: its due time from the start, in milliseconds.
EMSCRIPTEN_KEEPALIVE double EngineTakenDueMs(int c)
{
    return static_cast<double>(Engine.LastPass * Engine.Cursors[c].PassUs + Engine.LastDueUs) / MicrosecondsPerMillisecond;
}

// Controller c's i-th scheduled report as planned: its 8 rumble bytes at EngineReportBytes(); returns
// its due time in milliseconds within a pass.
EMSCRIPTEN_KEEPALIVE double EngineScheduledReport(int c, int i)
{
    const ScheduledReport& report = Engine.Plan.Schedules[c].Reports[i];
    std::copy_n(report.Left.Bytes, RumbleBlockSize, Engine.Report);
    std::copy_n(report.Right.Bytes, RumbleBlockSize, Engine.Report + RumbleBlockSize);
    return static_cast<double>(report.DueUs) / MicrosecondsPerMillisecond;
}

// For drawing: how many reports controller c's schedule holds, and every report decoded as the
// controller plays them, in order (each block's state follows from the one before): per report
// its due time (ms), then for the left block and the right one, the high and the low band's Hz
// and share of full. Valid until the next call.
EMSCRIPTEN_KEEPALIVE int EngineScheduleSize(int c) { return static_cast<int>(Engine.Plan.Schedules[c].Reports.size()); }
EMSCRIPTEN_KEEPALIVE const double* EngineDecodedSchedule(int c)
{
    const std::vector<ScheduledReport>& reports = Engine.Plan.Schedules[c].Reports;
    Engine.Decoded.clear();
    RumbleSample state[2] = {RestingRumbleSample, RestingRumbleSample};
    RumbleSample samples[MaxSamplesPerBlock];
    for (const ScheduledReport& report : reports) {
        Engine.Decoded.push_back(static_cast<double>(report.DueUs) / MicrosecondsPerMillisecond);
        const unsigned char* blocks[2] = {report.Left.Bytes, report.Right.Bytes};
        for (int b = 0; b < 2; ++b) {
            DecodeRumbleBlock(blocks[b], &state[b], samples);
            Engine.Decoded.push_back(FrequencyHz(state[b].High.Frequency, true));
            Engine.Decoded.push_back(AmplitudeShare(state[b].High.Amplitude));
            Engine.Decoded.push_back(FrequencyHz(state[b].Low.Frequency, false));
            Engine.Decoded.push_back(AmplitudeShare(state[b].Low.Amplitude));
        }
    }
    return Engine.Decoded.data();
}

// What the first controller's first actuator plays, as a .bnvib file's bytes; its size at
// EngineBytesSize().
EMSCRIPTEN_KEEPALIVE const char* EngineBnvib()
{
    Engine.Bytes = FormBnvib(PlanFirstActuatorStream(Engine.Choices, Engine.Loaded, Engine.Kinds));
    return Engine.Bytes.data();
}
EMSCRIPTEN_KEEPALIVE int EngineBytesSize() { return static_cast<int>(Engine.Bytes.size()); }

// Live input for the controllers of these product IDs (none: one right Joy-Con), with the
// channels (comma-separated; none: all but percussion), transpose, volume and pitch bend range
// --live takes. Times count from the page's chosen start, in milliseconds. Returns how many.
EMSCRIPTEN_KEEPALIVE int EngineStartLive(const char* productIds, const char* channels, int transpose, int volumePercent,
                                         int bendRangeSemitones)
{
    ChooseKinds(productIds);
    std::vector<int> actuators;
    for (const ControllerKind* kind : Engine.Kinds) actuators.push_back(kind->Actuators);
    std::vector<int> chosen;
    for (const std::string& channel : SplitList(channels)) chosen.push_back(std::atoi(channel.c_str()));
    Live = LiveState{};
    StartLiveVoices(Live.Voices, actuators, chosen, transpose, volumePercent, bendRangeSemitones, false);
    Live.Outputs.assign(actuators.size(), LiveOutput{});
    return static_cast<int>(actuators.size());
}

// Bytes that arrived together at atMs. 1 when what some band sounds may have changed.
EMSCRIPTEN_KEEPALIVE int EngineLiveBytes(const unsigned char* bytes, int count, double atMs)
{
    std::vector<MidiMessage> messages;
    for (int i = 0; i < count; ++i) {
        MidiMessage message{};
        if (ReadMidiByte(Live.Reader, bytes[i], &message)) messages.push_back(message);
    }
    return TakeLiveMessages(Live.Voices, messages, UsOfMs(atMs)) ? 1 : 0;
}

// When controller c's next report is due (ms): at once after a change, else a refresh; never
// before turnMs, the least interval after its last report.
EMSCRIPTEN_KEEPALIVE double EngineLiveNextDueMs(int c, double nowMs, double turnMs)
{
    RumbleBytes left;
    RumbleBytes right;
    FormLiveBlocks(Live.Voices, c, &left, &right);
    return static_cast<double>(NextLiveReportUs(Live.Outputs[c], left, right, UsOfMs(nowMs), UsOfMs(turnMs))) /
           MicrosecondsPerMillisecond;
}

// What controller c sounds now, its 8 bytes at EngineReportBytes(); then EngineLiveSent once sent.
EMSCRIPTEN_KEEPALIVE void EngineLiveTake(int c)
{
    FormLiveBlocks(Live.Voices, c, &Live.Left, &Live.Right);
    std::copy_n(Live.Left.Bytes, RumbleBlockSize, Engine.Report);
    std::copy_n(Live.Right.Bytes, RumbleBlockSize, Engine.Report + RumbleBlockSize);
}
EMSCRIPTEN_KEEPALIVE void EngineLiveSent(int c, double sentMs) { NoteLiveReportSent(Live.Outputs[c], Live.Left, Live.Right, UsOfMs(sentMs)); }

// Every note ended at atMs, pedal or not.
EMSCRIPTEN_KEEPALIVE void EngineLiveSilence(double atMs) { SilenceLiveVoices(Live.Voices, UsOfMs(atMs)); }

// The keys the bands sound now, each as "key@controller" (for the page to show), space-separated.
EMSCRIPTEN_KEEPALIVE const char* EngineLiveKeys()
{
    Engine.Text.clear();
    for (const LiveBand& band : Live.Voices.Bands) {
        if (band.Key < 0 || band.Doubles >= 0) continue;
        if (!Engine.Text.empty()) Engine.Text += ' ';
        Engine.Text += std::to_string(band.Key) + "@" + std::to_string(band.Controller);
    }
    return Engine.Text.c_str();
}

// Sound caught live for the controllers of these product IDs (none: one right Joy-Con), at rate
// with channels (interleaved). A Pro Controller plays the two sides of stereo sound. Returns how
// many controllers.
EMSCRIPTEN_KEEPALIVE int EngineStartCapture(const char* productIds, int rate, int channels)
{
    ChooseKinds(productIds);
    Capture = CaptureState{};
    bool sides = false;
    for (const ControllerKind* kind : Engine.Kinds) {
        Capture.Sides.push_back(CaptureSidesOf(kind->Actuators, channels));
        sides = sides || Capture.Sides.back().first != CaptureSide::Mix;
    }
    StartCaptureStream(&Capture.Stream, rate, channels, sides, false);
    Capture.Cursors.assign(Engine.Kinds.size(), CaptureCursor{});
    return static_cast<int>(Engine.Kinds.size());
}

// Frames of interleaved samples as they came. Returns how many rumble samples they made.
EMSCRIPTEN_KEEPALIVE int EngineCaptureFeed(const float* samples, int frames)
{
    return static_cast<int>(FeedCaptureStream(&Capture.Stream, samples, static_cast<std::size_t>(frames)));
}

// Controller c's next report, its 8 bytes at EngineReportBytes(). Returns how many samples it
// carries (the rest hold the last one).
EMSCRIPTEN_KEEPALIVE int EngineCaptureTake(int c)
{
    const std::pair<CaptureSide, CaptureSide>& sides = Capture.Sides[static_cast<std::size_t>(c)];
    TakeCaptureReport(Capture.Cursors[static_cast<std::size_t>(c)], Capture.Stream, sides.first, sides.second, Engine.Report,
                      Engine.Report + RumbleBlockSize, &Capture.Carried);
    return static_cast<int>(Capture.Carried.size());
}

}  // extern "C"
