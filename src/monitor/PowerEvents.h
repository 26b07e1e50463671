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
    virtual bool Running() const = 0;
    // Begins a full interval from now, also when the timer was running.
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
// interval. A timer that already runs is left as it is, so a second wake
// notification moves no report later.
void ResumeActions(PowerTimers timers, bool smtpReportsChecked);

// The end of the session as the program sees it: a session manager's query
// (it may be cancelled later without a word, or be a mere checkpoint), the
// session manager's quit, logind's PrepareForShutdown (true: started, false:
// cancelled), or SIGTERM / SIGHUP / SIGINT.
enum class SessionEvent {
    EndQuery,
    SessionQuit,
    ShutdownStarted,
    ShutdownCancelled,
    TerminateSignal
};

// How far the program is on its way out. ExitRequested is set in every state
// but Running.
enum class ProgramEnd {
    Running,
    // The session manager asked whether the session may end, and nothing
    // has ended it yet.
    EndQueried,
    // Exit was chosen: the close handler saves, then the program ends.
    ExitChosen,
    // The session really ends: the program ends without saving.
    SessionEnds,
    // The program has ended; nothing more happens.
    Ended,
};

bool ExitRequestedIn(ProgramEnd end);

// The tray menu's Exit; the main window is then closed.
ProgramEnd AfterExitCommand(ProgramEnd end);

struct SessionOutcome {
    ProgramEnd End;
    // The program ends at once, without saving and without a window.
    bool EndsNow = false;
};

// A query answers yes and changes nothing else: only the session's real end
// (the session manager's quit, a shutdown under way, a terminate signal)
// ends the program without saving. A cancelled shutdown puts it back to
// running.
SessionOutcome AfterSessionEvent(SessionEvent event, ProgramEnd end);

enum class CloseAction {
    HideIntoTray,     // the window only goes back into the tray
    CloseHandler,     // the orderly end: stop, save, release
    EndWithoutSaving, // the session goes: nothing is saved
    None,             // already ended
};

struct CloseOutcome {
    ProgramEnd End;
    CloseAction Action;
};

// The main window is asked to close (its close button, or Exit). After a
// query that no real end followed, the session evidently goes on: the close
// is the user's, as if no query had come. Without a tray, closing the window
// is the way out and ends the program as Exit does.
CloseOutcome WhenClosing(ProgramEnd end, bool trayAvailable);

// After the close handler: ended when the settings were saved; running on
// as before when they could not be, unless the session ended meanwhile
// (while the message said so).
ProgramEnd AfterCloseHandler(ProgramEnd end, bool saved);

} // namespace quorvane
