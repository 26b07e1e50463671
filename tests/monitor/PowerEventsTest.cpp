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

class RecordingTimer : public ProgramTimer {
public:
    RecordingTimer(std::string name, Log& log, bool running)
        : name_(std::move(name)), log_(log), running_(running) {}
    void Start() override {
        if (!running_) {
            ++fullIntervals_;
            log_.Add(name_ + " start");
        }
        running_ = true;
    }
    void Stop() override {
        running_ = false;
        log_.Add(name_ + " stop");
    }
    bool Running() const { return running_; }
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
    // A second wake notification starts nothing twice.
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
    for (const SessionEvent event :
         {SessionEvent::EndQuery, SessionEvent::ShutdownStarted, SessionEvent::TerminateSignal}) {
        EXPECT_TRUE(ExitRequestedAfter(event, false));
        EXPECT_TRUE(ExitRequestedAfter(event, true));
    }
    EXPECT_FALSE(ExitRequestedAfter(SessionEvent::ShutdownCancelled, true));
    EXPECT_FALSE(ExitRequestedAfter(SessionEvent::ShutdownCancelled, false));
}

} // namespace
} // namespace quorvane
