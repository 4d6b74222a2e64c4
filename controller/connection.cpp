#include "controller/connection.h"

#include "platform/clock.h"

namespace {
constexpr long long MicrosecondsPerSecond = 1000000;
}  // namespace

void StartConnection(ControllerConnection& connection, int handle, long long minIntervalUs)
{
    connection = ControllerConnection{};
    connection.Link.Handle = handle;
    connection.Bus = HidBus::Unknown;
    const long long frequency = ReadCounterFrequency();
    connection.MinIntervalCounts = minIntervalUs / MicrosecondsPerSecond * frequency +
                                   minIntervalUs % MicrosecondsPerSecond * frequency / MicrosecondsPerSecond;
}
