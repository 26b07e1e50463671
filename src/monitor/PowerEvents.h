// What the program does when the computer goes to sleep and wakes, and when
// the session ends. The desktop program hears of them from logind and from
// signals; the rules are here, over small ports.
#pragma once

#include <chrono>

namespace quorvane {

// logind waits for a delay lock at most InhibitDelayMaxSec (5 s by default),
// so the suspend gives a mail transfer in flight a little less than that.
inline constexpr std::chrono::milliseconds SuspendSendLockWait{4000};

// One of the program's periodic timers (SMARTT, SMTPReportsTimer).
class ProgramTimer {
public:
    virtual ~ProgramTimer() = default;
    // Starting a stopped timer begins a full interval; starting a running
    // one changes nothing.
    virtual void Start() = 0;
    virtual void Stop() = 0;
};

// The report workers' SendLock, as the suspend waits for it.
class SendLockWaiter {
public:
    virtual ~SendLockWaiter() = default;
    // True when no worker held the lock, or it was released within bound.
    virtual bool WaitForSendLock(std::chrono::milliseconds bound) = 0;
};

struct PowerTimers {
    ProgramTimer& SMARTT;
    ProgramTimer& SMTPReportsTimer;
};

// Before sleep: the report timer stops, a transfer in progress gets up to
// bound to finish (one that takes longer goes on and shows its status after
// waking), then monitoring stops. Returns whether the lock was free in time.
bool SuspendActions(PowerTimers timers, SendLockWaiter& lock,
                    std::chrono::milliseconds bound = SuspendSendLockWait);

// After waking: the report timer when reports are switched on, and the
// monitoring timer whatever the monitoring switch says, each with a full
// interval.
void ResumeActions(PowerTimers timers, bool smtpReportsChecked);

// The end of the session as the program sees it: a session manager's query,
// logind's PrepareForShutdown, or SIGTERM / SIGHUP / SIGINT.
enum class SessionEvent { EndQuery, ShutdownStarted, ShutdownCancelled, TerminateSignal };

// Whether ExitRequested is set after the event: every end of the session
// sets it (the program then ends without saving and without a window); a
// cancelled shutdown clears it again, so that closing a window hides it as
// before instead of ending the program.
bool ExitRequestedAfter(SessionEvent event, bool exitRequested);

} // namespace quorvane
