#include "monitor/PowerEvents.h"

namespace quorvane {

bool SuspendActions(PowerTimers timers, SendLockWaiter& lock, std::chrono::milliseconds bound) {
    timers.SMTPReportsTimer.Stop();
    const bool free = lock.WaitForSendLock(bound);
    timers.SMARTT.Stop();
    return free;
}

void ResumeActions(PowerTimers timers, bool smtpReportsChecked) {
    if (smtpReportsChecked)
        timers.SMTPReportsTimer.Start();
    timers.SMARTT.Start();
}

bool ExitRequestedAfter(SessionEvent event, bool exitRequested) {
    switch (event) {
    case SessionEvent::EndQuery:
    case SessionEvent::ShutdownStarted:
    case SessionEvent::TerminateSignal:
        return true;
    case SessionEvent::ShutdownCancelled:
        return false;
    }
    return exitRequested;
}

} // namespace quorvane
