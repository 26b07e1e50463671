// Sleep, wake and the end of the session, over timers that record what is
// done to them and a real lock held by a transfer thread.
#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "monitor/PowerEvents.h"

namespace quorvane {
namespace {

using std::chrono::milliseconds;

struct Log {
    std::mutex Mutex;
    std::vector<std::string> Events;
    void Add(std::string event) {
        std::lock_guard lock(Mutex);
        Events.push_back(std::move(event));
    }
};

// Like the program's timers: every start begins a full interval, also on a
// timer that runs.
class RecordingTimer : public ProgramTimer {
public:
    RecordingTimer(std::string name, Log& log, bool running)
        : name_(std::move(name)), log_(log), running_(running) {}
    bool Running() const override { return running_; }
    void Start() override {
        ++fullIntervals_;
        log_.Add(name_ + " start");
        running_ = true;
    }
    void Stop() override {
        running_ = false;
        log_.Add(name_ + " stop");
    }
    int FullIntervals() const { return fullIntervals_; }

private:
    std::string name_;
    Log& log_;
    bool running_;
    int fullIntervals_ = 0;
};

// SendLock as a worker holds it for its transfer.
class TransferLock : public SendLockWaiter {
public:
    explicit TransferLock(Log& log) : log_(log) {}
    bool WaitForSendLock(milliseconds bound) override {
        std::unique_lock lock(mutex_, std::defer_lock);
        const bool free = lock.try_lock_for(bound);
        log_.Add(free ? "lock free" : "lock wait abandoned");
        return free;
    }
    // A transfer on another thread that holds the lock for duration.
    std::thread Transfer(milliseconds duration, std::promise<void>& started,
                         std::atomic<bool>& ended) {
        return std::thread([this, duration, &started, &ended] {
            std::lock_guard lock(mutex_);
            started.set_value();
            std::this_thread::sleep_for(duration);
            ended = true;
            log_.Add("transfer ended");
        });
    }

private:
    std::timed_mutex mutex_;
    Log& log_;
};

struct Program {
    Log log;
    RecordingTimer smartt{"SMARTT", log, true};
    RecordingTimer reports{"SMTPReportsTimer", log, true};
    TransferLock lock{log};
    PowerTimers Timers() { return {smartt, reports}; }
};

TEST(PowerEvents, SleepThenWakeRestartsMonitoringEvenWhenSwitchedOff) {
    Program p;
    // Monitoring switched off: its timer is stopped before the sleep.
    p.smartt.Stop();
    p.log.Events.clear();
    EXPECT_TRUE(SuspendActions(p.Timers(), p.lock));
    EXPECT_EQ(p.log.Events,
              (std::vector<std::string>{"SMTPReportsTimer stop", "lock free", "SMARTT stop"}));
    ResumeActions(p.Timers(), /*smtpReportsChecked=*/false);
    EXPECT_TRUE(p.smartt.Running());
    EXPECT_EQ(p.smartt.FullIntervals(), 1);
    EXPECT_FALSE(p.reports.Running()); // reports off: stays stopped
}

TEST(PowerEvents, ReportsOnRunAgainWithAFullInterval) {
    Program p;
    SuspendActions(p.Timers(), p.lock);
    EXPECT_FALSE(p.reports.Running());
    EXPECT_FALSE(p.smartt.Running());
    ResumeActions(p.Timers(), /*smtpReportsChecked=*/true);
    EXPECT_TRUE(p.reports.Running());
    EXPECT_EQ(p.reports.FullIntervals(), 1);
    EXPECT_EQ(p.log.Events.back(), "SMARTT start");
    // A second wake notification restarts neither timer: the next report
    // stays where the first wake put it.
    ResumeActions(p.Timers(), true);
    EXPECT_EQ(p.reports.FullIntervals(), 1);
    EXPECT_EQ(p.smartt.FullIntervals(), 1);
}

TEST(PowerEvents, SuspendWaitsForATransferInProgress) {
    Program p;
    std::promise<void> started;
    std::atomic<bool> ended{false};
    std::thread transfer = p.lock.Transfer(milliseconds(300), started, ended);
    started.get_future().wait();
    EXPECT_TRUE(SuspendActions(p.Timers(), p.lock));
    EXPECT_TRUE(ended);
    transfer.join();
    // The report timer stopped first, monitoring only after the transfer.
    EXPECT_EQ(p.log.Events, (std::vector<std::string>{"SMTPReportsTimer stop", "transfer ended",
                                                      "lock free", "SMARTT stop"}));
}

TEST(PowerEvents, TransferOutlastingTheBoundIsLeftToFinish) {
    Program p;
    std::promise<void> started;
    std::atomic<bool> ended{false};
    std::thread transfer = p.lock.Transfer(milliseconds(5500), started, ended);
    started.get_future().wait();
    // The default bound stays below logind's 5 s delay.
    EXPECT_FALSE(SuspendActions(p.Timers(), p.lock));
    EXPECT_FALSE(ended);
    EXPECT_FALSE(p.smartt.Running());
    EXPECT_FALSE(p.reports.Running());
    transfer.join();
    EXPECT_EQ(p.log.Events,
              (std::vector<std::string>{"SMTPReportsTimer stop", "lock wait abandoned",
                                        "SMARTT stop", "transfer ended"}));
}

TEST(PowerEvents, EveryEndOfSessionRequestsExitAndACancelClearsIt) {
    using enum ProgramEnd;
    using enum SessionEvent;
    struct Case {
        SessionEvent Event;
        ProgramEnd Before, After;
        bool EndsNow;
    };
    const Case cases[] = {
        // The query only asks: nothing ends, nothing is saved.
        {EndQuery, Running, EndQueried, false},
        {EndQuery, EndQueried, EndQueried, false},
        {EndQuery, SessionEnds, SessionEnds, false},
        // The session's real end: at once, or (logind) at the next close.
        {SessionQuit, Running, SessionEnds, true},
        {SessionQuit, EndQueried, SessionEnds, true},
        {TerminateSignal, Running, SessionEnds, true},
        {TerminateSignal, EndQueried, SessionEnds, true},
        {TerminateSignal, ExitChosen, SessionEnds, true},
        {ShutdownStarted, Running, SessionEnds, false},
        {ShutdownStarted, EndQueried, SessionEnds, false},
        // A cancelled shutdown undoes the session's end, not the user's Exit.
        {ShutdownCancelled, SessionEnds, Running, false},
        {ShutdownCancelled, EndQueried, Running, false},
        {ShutdownCancelled, ExitChosen, ExitChosen, false},
        // Once ended, nothing more happens: the program's own quit included.
        {SessionQuit, Ended, Ended, false},
        {TerminateSignal, Ended, Ended, false},
        {EndQuery, Ended, Ended, false},
    };
    for (const Case& c : cases) {
        const SessionOutcome outcome = AfterSessionEvent(c.Event, c.Before);
        EXPECT_EQ(outcome.End, c.After) << int(c.Event) << " in " << int(c.Before);
        EXPECT_EQ(outcome.EndsNow, c.EndsNow) << int(c.Event) << " in " << int(c.Before);
    }
    EXPECT_FALSE(ExitRequestedIn(Running));
    for (const ProgramEnd end : {EndQueried, ExitChosen, SessionEnds, Ended})
        EXPECT_TRUE(ExitRequestedIn(end)) << int(end);
}

// After a query that nothing followed, the session goes on: the close button
// hides the window and Exit saves, as if no query had come.
TEST(PowerEvents, AClosingWindowHidesSavesOrEndsWithoutSavingByHowFarTheEndIs) {
    using enum ProgramEnd;
    using enum CloseAction;
    struct Case {
        ProgramEnd Before;
        bool Tray;
        ProgramEnd After;
        CloseAction Action;
    };
    const Case cases[] = {
        {Running, true, Running, HideIntoTray},
        {EndQueried, true, Running, HideIntoTray},
        {Running, false, ExitChosen, CloseHandler},
        {EndQueried, false, ExitChosen, CloseHandler},
        {ExitChosen, true, ExitChosen, CloseHandler},
        {SessionEnds, true, SessionEnds, EndWithoutSaving},
        {SessionEnds, false, SessionEnds, EndWithoutSaving},
        {Ended, true, Ended, None},
    };
    for (const Case& c : cases) {
        const CloseOutcome outcome = WhenClosing(c.Before, c.Tray);
        EXPECT_EQ(outcome.End, c.After) << int(c.Before) << " tray " << c.Tray;
        EXPECT_EQ(outcome.Action, c.Action) << int(c.Before) << " tray " << c.Tray;
    }
    // Exit after a query is the user's Exit; during a shutdown it saves nothing.
    EXPECT_EQ(AfterExitCommand(Running), ExitChosen);
    EXPECT_EQ(AfterExitCommand(EndQueried), ExitChosen);
    EXPECT_EQ(AfterExitCommand(SessionEnds), SessionEnds);
    EXPECT_EQ(AfterExitCommand(Ended), Ended);
    // A refused save keeps the program running, unless the session ended
    // while the message was shown.
    EXPECT_EQ(AfterCloseHandler(ExitChosen, true), Ended);
    EXPECT_EQ(AfterCloseHandler(ExitChosen, false), Running);
    EXPECT_EQ(AfterCloseHandler(SessionEnds, false), SessionEnds);
    EXPECT_EQ(AfterCloseHandler(Ended, false), Ended);
}

} // namespace
} // namespace quorvane
