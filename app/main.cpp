// Process entry of tavrel. Arguments are ignored: the program has no options.
#include "app/run_sequence.h"
#include "platform/interrupt.h"

int main()
{
    InstallInterruptHandlers();
    return RunTavrel();
}
