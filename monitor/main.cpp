// Process entry of tavrel-monitor. Arguments are ignored: the tool has no options.
#include "monitor/monitor_run.h"
#include "platform/interrupt.h"

int main()
{
    InstallInterruptHandlers();
    return RunMonitor();
}
