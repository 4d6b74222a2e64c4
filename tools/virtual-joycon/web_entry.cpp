// The virtual controller as a browser page's tests meet it: the same simulated devices as the
// hidapi and Windows stand-ins, driven from JavaScript, which stands them in for navigator.hid.
// A page has one thread, so nothing here locks or waits: the script asks for the report due now
// and when the next one will be. The log is kept in the module's own files (TAVREL_VJ_LOG), in the
// same format as the native stand-ins', so that the same checks read it.
#include "event_log.h"
#include "virtual_device.h"

#include <emscripten/emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct WebDevice {
    vj::DeviceState State;
    vj::Controller Kind;
    bool Open;
};

WebDevice Devices[vj::MaxVirtualDevices];
int DeviceCount = 0;
vj::Report Delivered;
double NextDueMs = -1;

constexpr double NanosecondsPerMillisecondAsDouble = 1e6;

}  // namespace

extern "C" {

// Sets one of the variables that choose the controllers' behaviour, before VjStart.
EMSCRIPTEN_KEEPALIVE void VjSetVariable(const char* name, const char* value) { setenv(name, value, 1); }

// Starts the log and lists the controllers the variables ask for (none in absent mode). Returns
// how many.
EMSCRIPTEN_KEEPALIVE int VjStart()
{
    vj::StartEventLog();
    vj::Controller kinds[vj::MaxVirtualDevices];
    DeviceCount = vj::ModeFromEnvironment() == vj::Mode::Absent ? 0 : vj::ControllersFromEnvironment(kinds);
    for (int k = 0; k < DeviceCount; ++k) Devices[k] = WebDevice{vj::DeviceState{}, kinds[k], false};
    return DeviceCount;
}

EMSCRIPTEN_KEEPALIVE int VjProductId(int k) { return vj::ProductIdOf(Devices[k].Kind); }
EMSCRIPTEN_KEEPALIVE int VjUsb() { return vj::UsbFromEnvironment() ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int VjIsOpen(int k) { return Devices[k].Open ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE int VjVanished(int k) { return Devices[k].Open && Devices[k].State.Vanished ? 1 : 0; }

EMSCRIPTEN_KEEPALIVE void VjOpen(int k)
{
    char line[64];
    std::snprintf(line, sizeof line, "open %04x %04x ok", NintendoVendorId, vj::ProductIdOf(Devices[k].Kind));
    vj::LogEventOn(k, line);
    vj::StartDevice(Devices[k].State, vj::MonotonicNs(), k);
    Devices[k].Open = true;
}

EMSCRIPTEN_KEEPALIVE void VjClose(int k)
{
    if (!Devices[k].Open) return;
    Devices[k].Open = false;
    vj::LogEventOn(k, "close");
}

// Takes a whole output report (its ID first). Returns its length, or -1 once the device is lost.
EMSCRIPTEN_KEEPALIVE int VjWrite(int k, const unsigned char* data, int length)
{
    WebDevice& device = Devices[k];
    if (!device.Open) return -1;
    if (device.State.Vanished) {
        vj::LogEventOn(k, "fail write");
        return -1;
    }
    vj::LogReportOn(k, "write", data, static_cast<std::size_t>(length));
    vj::TakeWrite(device.State, data, static_cast<std::size_t>(length), vj::MonotonicNs());
    return length;
}

// The input report due now, its ID first: its length (the bytes at VjReportBytes), 0 when none is
// due; VjNextDueMs then says when one will be (-1: none unasked).
EMSCRIPTEN_KEEPALIVE int VjRead(int k)
{
    WebDevice& device = Devices[k];
    NextDueMs = -1;
    if (!device.Open || device.State.Vanished) return 0;
    vj::NextReport next;
    long long nextDueNs = -1;
    if (!vj::FindNextReport(device.State, vj::MonotonicNs(), &next, &nextDueNs)) {
        if (nextDueNs >= 0) NextDueMs = static_cast<double>(nextDueNs) / NanosecondsPerMillisecondAsDouble;
        return 0;
    }
    vj::MarkDelivered(device.State, next);
    vj::LogReportOn(k, "deliver", next.Bytes.data(), next.Bytes.size());
    Delivered = next.Bytes;
    return static_cast<int>(Delivered.size());
}

EMSCRIPTEN_KEEPALIVE const unsigned char* VjReportBytes() { return Delivered.data(); }
EMSCRIPTEN_KEEPALIVE double VjNextDueMs() { return NextDueMs; }
// The log clock's reading now, in milliseconds: performance.now() in a page.
EMSCRIPTEN_KEEPALIVE double VjNowMs() { return static_cast<double>(vj::MonotonicNs()) / NanosecondsPerMillisecondAsDouble; }

}  // extern "C"
