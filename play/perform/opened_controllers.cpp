#include "play/perform/opened_controllers.h"

#include "controller/replies.h"
#include "controller/session.h"
#include "platform/interrupt.h"

#include <cstdio>

namespace {

// Each controller's battery is mentioned once.
void SayBatteryLow(std::vector<OpenedController>& opened, std::size_t c)
{
    if (!opened[c].Connection.BatteryLow || opened[c].BatteryLowSaid) return;
    opened[c].BatteryLowSaid = true;
    std::fprintf(stderr, "tavrel-play: %s says its battery is low; it may switch itself off while playing\n",
                 NameOf(opened, c).c_str());
}

}  // namespace

const ControllerKind& KindNamed(const std::string& option)
{
    for (const ControllerKind& kind : ControllerKinds)
        if (option == kind.Option) return kind;
    return ControllerKinds[0];
}

bool OpenControllers(const std::vector<std::string>& named, long long minIntervalUs,
                     std::vector<OpenedController>* opened)
{
    const auto openOne = [&](const ControllerKind& kind) {
        const int handle = OpenNextHidHandle(NintendoVendorId, kind.ProductId);
        if (handle == -1) return false;
        opened->push_back(OpenedController{&kind, {}, false, false});
        StartConnection(opened->back().Connection, handle, minIntervalUs);
        return true;
    };
    for (const std::string& option : named) {
        if (!openOne(KindNamed(option))) {
            CloseControllers(*opened);
            return false;
        }
    }
    if (named.empty())
        for (const ControllerKind& kind : ControllerKinds)
            while (opened->size() < MaxControllers && openOne(kind)) {
            }
    return !opened->empty();
}

void CloseControllers(std::vector<OpenedController>& opened)
{
    for (OpenedController& controller : opened) CloseHidHandle(controller.Connection.Link.Handle);
    opened.clear();
}

std::vector<const ControllerKind*> KindsOf(const std::vector<OpenedController>& opened)
{
    std::vector<const ControllerKind*> kinds;
    for (const OpenedController& controller : opened) kinds.push_back(controller.Kind);
    return kinds;
}

std::string NameOf(const std::vector<OpenedController>& opened, std::size_t c)
{
    std::string name = std::string("the ") + opened[c].Kind->Name;
    if (opened.size() > 1) name += " (controller " + std::to_string(c + 1) + ")";
    return name;
}

SetUpResult SetUpControllers(std::vector<OpenedController>& opened)
{
    bool driverMentioned = false;
    for (std::size_t c = 0; c < opened.size(); ++c) {
        ControllerConnection& connection = opened[c].Connection;
        if (!driverMentioned && IsSystemDriverBound(connection.Link.Handle)) {
            driverMentioned = true;
            std::fprintf(stderr, "tavrel-play: Linux's hid-nintendo driver reads %s too; tavrel-play gives it back "
                                 "in the input mode it found (README: \"Linux's own driver for these controllers\")\n",
                         NameOf(opened, c).c_str());
        }
        opened[c].SetUpBegun = true;
        const SetUpOutcome outcome = SetUpConnectionOn(connection, static_cast<unsigned char>(LampsPlaying << c));
        SayBatteryLow(opened, c);
        const std::string name = NameOf(opened, c);
        switch (outcome) {
        case SetUpOutcome::Ready: continue;
        case SetUpOutcome::Interrupted: return SetUpResult::Interrupted;
        case SetUpOutcome::ControllerLost:
            std::fprintf(stderr, "tavrel-play: %s stopped taking reports\n", name.c_str());
            break;
        case SetUpOutcome::HandshakeFailed:
            std::fprintf(stderr, "tavrel-play: %s on USB did not answer the USB handshake (%d tries a step); "
                                 "unplug its cable, plug it in again and try again\n", name.c_str(), UsbAttempts);
            break;
        case SetUpOutcome::VibrationRefused:
            std::fprintf(stderr, "tavrel-play: %s did not take \"enable vibration\" (%d tries), so nothing was played; "
                                 "reconnect it (a short press on its sync button switches it off, a button press "
                                 "wakes it) and try again (README: Troubleshooting)\n", name.c_str(), SubcommandAttempts);
            break;
        }
        return SetUpResult::Failed;
    }
    return SetUpResult::Ready;
}

void RestoreControllers(std::vector<OpenedController>& opened)
{
    for (std::size_t c = 0; c < opened.size(); ++c) {
        if (!opened[c].SetUpBegun) continue;
        RestoreConnectionOn(opened[c].Connection);
        SayBatteryLow(opened, c);
    }
}
