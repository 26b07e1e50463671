#include "monitor/PowerEvents.h"

namespace quorvane {

bool SuspendActions(PowerTimers timers, SendLockWaiter& lock, std::chrono::milliseconds bound) {
    timers.SMTPReportsTimer.Stop();
    const bool free = lock.WaitForSendLock(bound);
    timers.SMARTT.Stop();
    return free;
}

namespace {

void StartStopped(ProgramTimer& timer) {
    if (!timer.Running())
        timer.Start();
}

} // namespace

void ResumeActions(PowerTimers timers, bool smtpReportsChecked) {
    if (smtpReportsChecked)
        StartStopped(timers.SMTPReportsTimer);
    StartStopped(timers.SMARTT);
}

bool ExitRequestedIn(ProgramEnd end) {
    return end != ProgramEnd::Running;
}

ProgramEnd AfterExitCommand(ProgramEnd end) {
    switch (end) {
    case ProgramEnd::Running:
    case ProgramEnd::EndQueried:
        return ProgramEnd::ExitChosen;
    case ProgramEnd::ExitChosen:
    case ProgramEnd::SessionEnds:
    case ProgramEnd::Ended:
        break;
    }
    return end;
}

SessionOutcome AfterSessionEvent(SessionEvent event, ProgramEnd end) {
    if (end == ProgramEnd::Ended)
        return {end, false};
    switch (event) {
    case SessionEvent::EndQuery:
        return {end == ProgramEnd::Running ? ProgramEnd::EndQueried : end, false};
    case SessionEvent::ShutdownStarted:
        // systemd's SIGTERM follows; until then a close ends without saving.
        return {ProgramEnd::SessionEnds, false};
    case SessionEvent::SessionQuit:
    case SessionEvent::TerminateSignal:
        return {ProgramEnd::SessionEnds, true};
    case SessionEvent::ShutdownCancelled:
        // The session's end is off; an Exit the user chose is not.
        return {end == ProgramEnd::ExitChosen ? end : ProgramEnd::Running, false};
    }
    return {end, false};
}

CloseOutcome WhenClosing(ProgramEnd end, bool trayAvailable) {
    switch (end) {
    case ProgramEnd::Running:
    case ProgramEnd::EndQueried:
        if (trayAvailable)
            return {ProgramEnd::Running, CloseAction::HideIntoTray};
        return {ProgramEnd::ExitChosen, CloseAction::CloseHandler};
    case ProgramEnd::ExitChosen:
        return {end, CloseAction::CloseHandler};
    case ProgramEnd::SessionEnds:
        return {end, CloseAction::EndWithoutSaving};
    case ProgramEnd::Ended:
        break;
    }
    return {end, CloseAction::None};
}

ProgramEnd AfterCloseHandler(ProgramEnd end, bool saved) {
    if (saved || end == ProgramEnd::Ended)
        return ProgramEnd::Ended;
    return end == ProgramEnd::SessionEnds ? end : ProgramEnd::Running;
}

} // namespace quorvane
