#include "controller/connection.h"

#include "common/time_units.h"
#include "controller/pacing.h"
#include "platform/clock.h"

void StartConnection(ControllerConnection& connection, int handle, long long minIntervalUs)
{
    connection = ControllerConnection{};
    connection.Link.Handle = handle;
    connection.MinIntervalCounts = RescaleCount(minIntervalUs, MicrosecondsPerSecond, ReadCounterFrequency());
}
