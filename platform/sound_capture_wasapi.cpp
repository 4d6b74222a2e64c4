// Sound capture on Windows: WASAPI, in shared mode, on a thread of our own that takes what has
// come every few milliseconds. An output (the default one, or one named) is captured through its
// loopback, what it plays; an input (a microphone) as it records.
#include "platform/sound_capture.h"

#include "platform/clock.h"

#include <initguid.h>  // defines the GUIDs below in this file, with MSVC and mingw-w64 alike
#include <windows.h>
#include <audioclient.h>
#include <functiondiscoverykeys_devpkey.h>
#include <mmdeviceapi.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr REFERENCE_TIME BufferDuration = 200000;  // 20 ms, in 100 ns units
constexpr auto PollPeriod = std::chrono::milliseconds(3);
constexpr int MostChannels = 2;
constexpr int PcmBits = 16;
constexpr int FloatBits = 32;
constexpr float PcmScale = 1.0f / 32768.0f;

template <typename T>
struct Released {
    T* Pointer = nullptr;
    ~Released()
    {
        if (Pointer != nullptr) Pointer->Release();
    }
    T** operator&() { return &Pointer; }
    T* operator->() const { return Pointer; }
};

// COM for the thread that calls, for as long as it lives.
struct ComScope {
    bool Started = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    ~ComScope()
    {
        if (Started) CoUninitialize();
    }
};

std::string Utf8(const wchar_t* text)
{
    if (text == nullptr) return "";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? static_cast<std::size_t>(size) : 1, '\0');
    if (size > 0) WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], size, nullptr, nullptr);
    out.resize(std::strlen(out.c_str()));
    return out;
}

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Failed(const char* what, HRESULT result)
{
    char code[16];
    std::snprintf(code, sizeof code, "0x%08lX", static_cast<unsigned long>(result));
    return std::string(what) + " (" + code + ")";
}

// The format tag an extensible format's sub-format stands for: KSDATAFORMAT_SUBTYPE_PCM and
// _IEEE_FLOAT are the tag in the GUID {tag-0000-0010-8000-00AA00389B71}; 0 for any other.
WORD TagOfSubFormat(const GUID& sub)
{
    static const unsigned char Tail[8] = {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
    const bool wave = sub.Data2 == 0x0000 && sub.Data3 == 0x0010 && std::memcmp(sub.Data4, Tail, sizeof Tail) == 0 && sub.Data1 <= 0xFFFF;
    return wave ? static_cast<WORD>(sub.Data1) : 0;
}

struct Endpoint {
    CaptureSource Source;
    bool Output = false;  // captured through its loopback
};

// The active endpoints, outputs first.
bool FindEndpoints(IMMDeviceEnumerator* enumerator, std::vector<Endpoint>* endpoints, std::string* failure)
{
    for (const EDataFlow flow : {eRender, eCapture}) {
        Released<IMMDeviceCollection> collection;
        const HRESULT result = enumerator->EnumAudioEndpoints(flow, DEVICE_STATE_ACTIVE, &collection);
        if (FAILED(result)) {
            *failure = Failed("the sound devices could not be listed", result);
            return false;
        }
        UINT count = 0;
        collection->GetCount(&count);
        for (UINT i = 0; i < count; ++i) {
            Released<IMMDevice> device;
            if (FAILED(collection->Item(i, &device))) continue;
            Endpoint endpoint;
            endpoint.Output = flow == eRender;
            LPWSTR id = nullptr;
            if (SUCCEEDED(device->GetId(&id))) {
                endpoint.Source.Id = Utf8(id);
                CoTaskMemFree(id);
            }
            Released<IPropertyStore> properties;
            PROPVARIANT name;
            PropVariantInit(&name);
            if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, &properties)) &&
                SUCCEEDED(properties->GetValue(PKEY_Device_FriendlyName, &name)) && name.vt == VT_LPWSTR)
                endpoint.Source.Name = Utf8(name.pwszVal);
            PropVariantClear(&name);
            if (endpoint.Source.Name.empty()) endpoint.Source.Name = endpoint.Source.Id;
            if (endpoint.Output) endpoint.Source.Name += " (what it plays)";
            endpoints->push_back(endpoint);
        }
    }
    return true;
}

struct Session {
    std::thread Thread;
    std::atomic<bool> Stopping{false};
};

std::unique_ptr<Session> Running;

struct Opened {
    Released<IMMDevice> Device;
    Released<IAudioClient> Client;
    Released<IAudioCaptureClient> Capture;
    WAVEFORMATEX* Format = nullptr;
    bool Float = false;
    int Channels = 0;
    ~Opened()
    {
        if (Format != nullptr) CoTaskMemFree(Format);
    }
};

// Opens source for capture, on the calling thread (COM started); false with *failure.
bool OpenEndpoint(const std::string& source, Opened* opened, std::string* reading, std::string* failure)
{
    Released<IMMDeviceEnumerator> enumerator;
    HRESULT result = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                                      reinterpret_cast<void**>(&enumerator));
    if (FAILED(result)) {
        *failure = Failed("no sound system to capture from", result);
        return false;
    }
    bool output = true;
    if (source.empty()) {
        result = enumerator->GetDefaultAudioEndpoint(eRender, eConsole, &opened->Device);
        if (FAILED(result)) {
            *failure = Failed("no sound output to capture", result);
            return false;
        }
        Released<IPropertyStore> properties;
        PROPVARIANT name;
        PropVariantInit(&name);
        *reading = "what the default output plays";
        if (SUCCEEDED(opened->Device->OpenPropertyStore(STGM_READ, &properties)) &&
            SUCCEEDED(properties->GetValue(PKEY_Device_FriendlyName, &name)) && name.vt == VT_LPWSTR)
            *reading = Utf8(name.pwszVal) + " (what it plays)";
        PropVariantClear(&name);
    } else {
        std::vector<Endpoint> endpoints;
        if (!FindEndpoints(enumerator.Pointer, &endpoints, failure)) return false;
        auto found = std::find_if(endpoints.begin(), endpoints.end(), [&](const Endpoint& e) { return e.Source.Id == source; });
        if (found == endpoints.end())
            found = std::find_if(endpoints.begin(), endpoints.end(),
                                 [&](const Endpoint& e) { return Lower(e.Source.Name).find(Lower(source)) != std::string::npos; });
        if (found == endpoints.end()) {
            *failure = "no sound source " + source + " (--capture-sources lists them)";
            return false;
        }
        const int size = MultiByteToWideChar(CP_UTF8, 0, found->Source.Id.c_str(), -1, nullptr, 0);
        std::wstring id(static_cast<std::size_t>(std::max(size, 1)), L'\0');
        MultiByteToWideChar(CP_UTF8, 0, found->Source.Id.c_str(), -1, &id[0], size);
        result = enumerator->GetDevice(id.c_str(), &opened->Device);
        if (FAILED(result)) {
            *failure = Failed(("the sound source " + found->Source.Name + " could not be opened").c_str(), result);
            return false;
        }
        output = found->Output;
        *reading = found->Source.Name;
    }
    result = opened->Device->Activate(IID_IAudioClient, CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&opened->Client));
    if (SUCCEEDED(result)) result = opened->Client->GetMixFormat(&opened->Format);
    if (SUCCEEDED(result))
        result = opened->Client->Initialize(AUDCLNT_SHAREMODE_SHARED, output ? AUDCLNT_STREAMFLAGS_LOOPBACK : 0,
                                            BufferDuration, 0, opened->Format, nullptr);
    if (SUCCEEDED(result))
        result = opened->Client->GetService(IID_IAudioCaptureClient, reinterpret_cast<void**>(&opened->Capture));
    if (result == AUDCLNT_E_WRONG_ENDPOINT_TYPE && output) {
        *failure = "this system cannot capture what an output plays (no loopback): name an input with --capture SOURCE "
                   "(--capture-sources lists them)";
        return false;
    }
    if (FAILED(result)) {
        *failure = Failed(("the sound source " + *reading + " could not be read").c_str(), result);
        return false;
    }
    const WAVEFORMATEX& f = *opened->Format;
    const WORD tag = f.wFormatTag == WAVE_FORMAT_EXTENSIBLE ? TagOfSubFormat(reinterpret_cast<const WAVEFORMATEXTENSIBLE&>(f).SubFormat)
                                                            : f.wFormatTag;
    opened->Float = tag == WAVE_FORMAT_IEEE_FLOAT && f.wBitsPerSample == FloatBits;
    const bool pcm = tag == WAVE_FORMAT_PCM && f.wBitsPerSample == PcmBits;
    if (!opened->Float && !pcm) {
        *failure = "the sound source " + *reading + " gives samples of a form tavrel-play does not read";
        return false;
    }
    opened->Channels = f.nChannels;
    return true;
}

// Takes what has come; false with *failure when the source went away.
bool TakePackets(Opened& opened, const CaptureHandler& handler, std::vector<float>* block, std::string* failure)
{
    const int channels = std::min(opened.Channels, MostChannels);
    for (;;) {
        UINT32 frames = 0;
        BYTE* data = nullptr;
        DWORD flags = 0;
        HRESULT result = opened.Capture->GetNextPacketSize(&frames);
        if (SUCCEEDED(result) && frames == 0) {
            // Nothing new (a loopback gets nothing while its output is silent): the client is
            // asked how it is, so that a device gone is found even then.
            UINT32 padding = 0;
            result = opened.Client->GetCurrentPadding(&padding);
            if (SUCCEEDED(result)) return true;
        }
        if (SUCCEEDED(result)) result = opened.Capture->GetBuffer(&data, &frames, &flags, nullptr, nullptr);
        if (FAILED(result)) {
            *failure = Failed("the sound source went away", result);
            return false;
        }
        const long long arrived = ReadCounter();
        block->assign(static_cast<std::size_t>(frames) * static_cast<std::size_t>(channels), 0.0f);
        if ((flags & AUDCLNT_BUFFERFLAGS_SILENT) == 0)
            for (UINT32 i = 0; i < frames; ++i)
                for (int c = 0; c < channels; ++c) {
                    const std::size_t at = static_cast<std::size_t>(i) * static_cast<std::size_t>(opened.Channels) + static_cast<std::size_t>(c);
                    (*block)[static_cast<std::size_t>(i) * static_cast<std::size_t>(channels) + static_cast<std::size_t>(c)] =
                        opened.Float ? reinterpret_cast<const float*>(data)[at] : reinterpret_cast<const INT16*>(data)[at] * PcmScale;
                }
        opened.Capture->ReleaseBuffer(frames);
        if (frames > 0) handler(block->data(), frames, arrived);
    }
}

}  // namespace

bool ListCaptureSources(std::vector<CaptureSource>* sources, std::string* failure)
{
    ComScope com;
    Released<IMMDeviceEnumerator> enumerator;
    const HRESULT result = CoCreateInstance(CLSID_MMDeviceEnumerator, nullptr, CLSCTX_ALL, IID_IMMDeviceEnumerator,
                                            reinterpret_cast<void**>(&enumerator));
    if (FAILED(result)) {
        *failure = Failed("no sound system to ask", result);
        return false;
    }
    std::vector<Endpoint> endpoints;
    if (!FindEndpoints(enumerator.Pointer, &endpoints, failure)) return false;
    sources->clear();
    for (const Endpoint& e : endpoints) sources->push_back(e.Source);
    return true;
}

bool StartSoundCapture(const std::string& source, const CaptureHandler& samples, const CaptureEndHandler& end,
                       CaptureFormat* format, std::string* reading, std::string* failure)
{
    StopSoundCapture();
    auto session = std::make_unique<Session>();
    // The endpoint is opened on the capture's own thread, which COM then belongs to; the caller
    // waits for the outcome.
    struct Start {
        std::mutex Lock;
        std::condition_variable Done;
        bool Finished = false;
        bool Opened = false;
    } start;
    Session* running = session.get();
    session->Thread = std::thread([&start, running, source, samples, end, format, reading, failure] {
        ComScope com;
        Opened opened;
        bool ok = com.Started && OpenEndpoint(source, &opened, reading, failure);
        if (!com.Started) *failure = "COM could not be started for sound capture";
        if (ok) {
            format->Rate = static_cast<int>(opened.Format->nSamplesPerSec);
            format->Channels = std::min(opened.Channels, MostChannels);
            const HRESULT result = opened.Client->Start();
            if (FAILED(result)) {
                *failure = Failed(("the sound source " + *reading + " could not be started").c_str(), result);
                ok = false;
            }
        }
        {
            std::lock_guard<std::mutex> guard(start.Lock);
            start.Opened = ok;
            start.Finished = true;
            start.Done.notify_all();
        }
        if (!ok) return;
        std::vector<float> block;
        std::string why;
        while (!running->Stopping.load()) {
            if (!TakePackets(opened, samples, &block, &why)) {
                if (!running->Stopping.load()) end(why);
                break;
            }
            std::this_thread::sleep_for(PollPeriod);
        }
        opened.Client->Stop();
    });
    std::unique_lock<std::mutex> lock(start.Lock);
    start.Done.wait(lock, [&start] { return start.Finished; });
    const bool opened = start.Opened;
    lock.unlock();
    if (!opened) {
        session->Thread.join();
        return false;
    }
    Running = std::move(session);
    return true;
}

void StopSoundCapture()
{
    if (!Running) return;
    Running->Stopping = true;
    if (Running->Thread.joinable()) Running->Thread.join();
    Running.reset();
}
