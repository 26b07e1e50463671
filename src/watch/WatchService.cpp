#include "watch/WatchService.h"

#include <cerrno>
#include <ctime>
#include <mutex>
#include <ostream>
#include <vector>

#include "monitor/Metrics.h"
#include "monitor/WatchText.h"
#include "platform/LocalClock.h"
#include "platform/SafeWrite.h"

namespace quorvane {

namespace {

// Nothing to show but what the history says once: the lines printed after
// each tick say the rest.
class QuietView final : public MonitorView {
public:
    explicit QuietView(std::ostream& err) : err_(err) {}
    void ShowHistoryNotice(const std::string& text) override {
        err_ << "quorvane-cli: " << text << "\n";
    }
    void SetTrayIconText(int, const std::string&) override {}
    void SetTrayIconBorderColor(int, uint32_t) override {}
    void PlaySiren() override {}
    void ShowErrorBalloon(int, const std::string&, const std::string&, int) override {}

private:
    std::ostream& err_;
};

// The session asks for a warning when its repeat rule says one is due; the
// loop sends it after the tick.
class PendingMail final : public WarningMail {
public:
    bool Pending = false;
    std::vector<std::string> Rises;
    void SendReport() override { Pending = true; }
    void SendRiseWarning(const std::string& rise) override { Rises.push_back(rise); }
};

// The SMTP values come from the settings file; the result goes to err.
class SettingsReportWindow final : public ReportWindow {
public:
    SettingsReportWindow(const Settings& settings, std::ostream& err)
        : settings_(settings), err_(err) {}
    SMTPSnapshot CopySMTPSettings() override { return SnapshotOf(settings_); }
    void ShowSendResult(const std::string& text) override {
        std::lock_guard lock(mutex_);
        err_ << "quorvane-cli: " << text << "\n";
    }

private:
    const Settings& settings_;
    std::ostream& err_;
    std::mutex mutex_;
};

// No event loop: a step runs on the worker that hands it over, one at a time.
class SerialHandOver final : public UiHandOver {
public:
    void Run(std::function<void()> step) override {
        std::lock_guard lock(mutex_);
        if (!closed_)
            step();
    }
    void Close() override {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }

private:
    std::mutex mutex_;
    bool closed_ = false;
};

class WatchLoop {
public:
    WatchLoop(Program& program, const WatchOptions& options, std::ostream& out, std::ostream& err)
        : program_(program), options_(options), out_(out), err_(err),
          view_(err), window_(program.Options(), err) {
        ProgramPorts ports;
        ports.Monitor = &view_;
        ports.Warnings = &mail_;
        ports.Reports = &window_;
        ports.HandOver = std::make_unique<SerialHandOver>();
        program_.Attach(std::move(ports));
    }
    ~WatchLoop() { program_.Detach(); }

    WatchEnd Run(const sigset_t& stopSignals) {
        const auto interval = options_.Interval.count() > 0
                                  ? options_.Interval
                                  : std::chrono::milliseconds(program_.Session().IntervalMs());
        for (long tick = 1;; ++tick) {
            TickOnce();
            if (options_.Count > 0 && tick >= options_.Count)
                break;
            if (WaitForStop(stopSignals, interval)) {
                end_.Signalled = true;
                break;
            }
        }
        // A warning on its way gets a moment to arrive; a stop by signal is
        // not held up for long.
        program_.Reports().WaitForWorkers(end_.Signalled ? std::chrono::milliseconds(1000)
                                                         : std::chrono::milliseconds(30000));
        return end_;
    }

private:
    // One tick: the session's reads, a line per drive, the metrics file and,
    // when the session asked for it, the warning mail.
    void TickOnce() {
        mail_.Pending = false;
        mail_.Rises.clear();
        const TickResult result = program_.Session().Tick(0);
        PrintLines(result);
        if (!options_.MetricsFile.empty())
            WriteMetrics();
        if (mail_.Pending)
            program_.Reports().SendReport(program_.Data(), FormatDateTime(clock_, clock_.Now()));
        for (const std::string& rise : mail_.Rises)
            program_.Reports().SendRiseWarning(program_.Data(), FormatDateTime(clock_, clock_.Now()),
                                               rise);
    }

    void PrintLines(const TickResult& result) {
        const ProgramData& data = program_.Data();
        // A drive left asleep keeps the failure it had when it was last read.
        failing_ = static_cast<uint8_t>(result.FailingSlots | (failing_ & result.SleepingSlots));
        for (int slot = 1; slot <= data.DriveCount && slot <= MaxDrives; ++slot) {
            const uint8_t bit = static_cast<uint8_t>(1u << (slot - 1));
            out_ << WatchLine(slot, data.Drives[slot], (failing_ & bit) != 0,
                              (result.SleepingSlots & bit) != 0)
                 << "\n";
        }
        for (const std::string& rise : result.Rises)
            out_ << rise << "\n";
        out_.flush();
    }

    void WriteMetrics() {
        std::string error;
        if (!SafeWriteFile(options_.MetricsFile, FormatMetrics(program_.Data(), std::time(nullptr)),
                           NewFileModeDefault, &error)) {
            err_ << "quorvane-cli: " << error << "\n";
            end_.MetricsWriteFailed = true;
        }
    }

    // Waits one interval for a stop signal; true when one came.
    static bool WaitForStop(const sigset_t& stopSignals, std::chrono::milliseconds interval) {
        timespec wait{};
        wait.tv_sec = static_cast<time_t>(interval.count() / 1000);
        wait.tv_nsec = static_cast<long>(interval.count() % 1000) * 1000000L;
        int got;
        do {
            got = sigtimedwait(&stopSignals, nullptr, &wait);
        } while (got < 0 && errno == EINTR);
        return got > 0;
    }

    Program& program_;
    const WatchOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    QuietView view_;
    PendingMail mail_;
    SettingsReportWindow window_;
    const SystemLocalClock clock_;
    uint8_t failing_ = 0;
    WatchEnd end_;
};

} // namespace

WatchEnd RunWatchService(Program& program, const WatchOptions& options, const sigset_t& stopSignals,
                         std::ostream& out, std::ostream& err) {
    WatchLoop loop(program, options, out, err);
    return loop.Run(stopSignals);
}

} // namespace quorvane
