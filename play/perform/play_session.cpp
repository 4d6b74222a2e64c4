#include "play/perform/play_session.h"

#include "controller/session.h"
#include "play/perform/exit_status.h"
#include "platform/console_message.h"
#include "platform/interrupt.h"
#include "platform/sleep.h"

#include <cstdio>

int RunPlaySession(const std::vector<std::string>& named, long long minIntervalUs, const SessionSteps& steps, bool* setUp)
{
    if (setUp != nullptr) *setUp = false;
    InstallInterruptHandlers();
    std::vector<OpenedController> opened;
    if (!OpenControllers(named, minIntervalUs, &opened)) {
        ShowConsoleMessage(ControllerNotFoundText);
        return ExitNoController;
    }
    if (steps.Prepare && !steps.Prepare(opened)) {
        CloseControllers(opened);
        return ExitBadInput;
    }
    BeginPreciseSleep();
    const SetUpResult ready = SetUpControllers(opened);
    if (setUp != nullptr) *setUp = ready == SetUpResult::Ready;
    SessionResult result;
    if (ready == SetUpResult::Ready && !IsInterruptRequested()) result = steps.Perform(opened);
    if (steps.Stop) steps.Stop();
    RestoreControllers(opened);
    EndPreciseSleep();
    if (steps.Report) steps.Report(result);
    if (result.Outcome == SessionOutcome::ControllerLost)
        std::fprintf(stderr, "tavrel-play: %s stopped taking reports\n", NameOf(opened, result.Lost).c_str());
    CloseControllers(opened);
    if (ready == SetUpResult::Failed || result.Outcome == SessionOutcome::ControllerLost) return ExitControllerLost;
    if (result.Outcome == SessionOutcome::InputFailed) return ExitBadInput;
    if (result.Outcome == SessionOutcome::Interrupted || IsInterruptRequested()) return InterruptedExitStatus;
    return ExitPlayed;
}
