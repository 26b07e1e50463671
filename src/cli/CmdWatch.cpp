// quorvane-cli watch: the desktop program's monitoring without a display. It
// scans once and ticks the same MonitorSession every interval until SIGTERM or
// SIGINT (or --count ticks), printing one line per drive, writing the metrics
// file and mailing warnings as the settings say.
#include <cerrno>
#include <chrono>
#include <csignal>
#include <ctime>
#include <iostream>
#include <mutex>

#include "cli/CliScan.h"
#include "mail/ReportService.h"
#include "monitor/Metrics.h"
#include "monitor/MonitorSession.h"
#include "monitor/WatchText.h"
#include "platform/LocalClock.h"
#include "platform/SafeWrite.h"
#include "app/Settings.h"

namespace quorvane::cli {

namespace {

const std::string WatchUsage = CommandUsage("watch");

// Nothing to show: the lines printed after each tick say it all.
class QuietView final : public MonitorView {
public:
    void SetTrayIconText(int, const std::string&) override {}
    void SetTrayIconBorderColor(int, uint32_t) override {}
    void PlaySiren() override {}
    void ShowErrorBalloon(int, const std::string&, const std::string&, int) override {}
};

// The session asks for a warning; the loop decides with the repeat rule
// whether it goes out.
class PendingMail final : public WarningMail {
public:
    bool Pending = false;
    void SendReport() override { Pending = true; }
};

// The SMTP values come from the settings file; the result goes to stderr.
class SettingsReportWindow final : public ReportWindow {
public:
    explicit SettingsReportWindow(const Settings& settings) {
        values_.Host = settings.SMTPHost;
        values_.Port = settings.SMTPPort;
        values_.Login = settings.SMTPLogin;
        values_.Password = settings.SMTPPassword;
        values_.From = settings.SMTPFrom;
        values_.Mail = settings.SMTPMail;
        values_.Authentication = settings.SMTPAuthentication;
        values_.Security = settings.SMTPSecurity;
    }
    SMTPSnapshot CopySMTPSettings() override { return values_; }
    void ShowSendResult(const std::string& text) override {
        std::cerr << "quorvane-cli: " << text << "\n";
    }

private:
    SMTPSnapshot values_;
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

bool ParseCount(const std::string& text, long max, long& value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stol(text);
    return value >= 1 && value <= max;
}

} // namespace

int RunWatch(CliContext& ctx) {
    std::vector<std::string> args = ctx.Args;
    const bool noMail = TakeFlag(args, "--no-mail");
    long intervalSeconds = 0, count = 0;
    std::string metricsFile;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--interval" && hasValue) {
            if (!ParseCount(args[++i], MaxRefreshInterval, intervalSeconds)) {
                return UsageError("watch",
                                  "--interval must be 1.." + std::to_string(MaxRefreshInterval) +
                                      " seconds, not '" + args[i] + "'",
                                  WatchUsage);
            }
        } else if (arg == "--count" && hasValue) {
            if (!ParseCount(args[++i], 999999999, count)) {
                return UsageError("watch", "--count must be a number from 1, not '" + args[i] + "'",
                                  WatchUsage);
            }
        } else if (arg == "--metrics" && hasValue && !args[i + 1].empty()) {
            metricsFile = args[++i];
        } else if (arg == "--interval" || arg == "--count" || arg == "--metrics") {
            return UsageError("watch", arg + " needs a value", WatchUsage);
        } else {
            return UsageError("watch", UnexpectedArgument("watch", arg), WatchUsage);
        }
    }

    // SIGTERM and SIGINT are taken by sigtimedwait between ticks; blocked from
    // here on (also in the mail workers started later), they never interrupt
    // a tick or a file write, and nothing runs in a handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    SettingsEnvironment env = SettingsEnvironment::FromProcess();
    if (!ctx.SettingsFile.empty())
        env.QuorvaneSettings = ctx.SettingsFile;
    Settings settings = LoadSettings(FindSettingsPaths(RunningExecutable(), env).SettingsFile);
    if (noMail)
        settings.SMTPWarnings = false;

    ProgramData data;
    if (!ScanForCommand(ctx, data, true))
        return ExitNoDrives;

    QuietView view;
    PendingMail mail;
    MonitorSession session(data, ctx.Bus(), settings, view, mail);
    const auto interval = intervalSeconds > 0 ? std::chrono::milliseconds(intervalSeconds * 1000)
                                              : std::chrono::milliseconds(session.IntervalMs());
    SettingsReportWindow window(settings);
    ReportService reports(window, std::make_unique<SerialHandOver>(),
                          [] { return std::make_unique<SmtpClient>(); });
    const SystemLocalClock clock;
    uint8_t failing = 0;
    bool signalled = false;
    int status = ExitOk;

    for (long tick = 1;; ++tick) {
        mail.Pending = false;
        const TickResult result = session.Tick(0);
        // A drive left asleep keeps the failure it had when it was last read.
        failing = static_cast<uint8_t>(result.FailingSlots | (failing & result.SleepingSlots));
        for (int slot = 1; slot <= data.DriveCount && slot <= MaxDrives; ++slot) {
            const uint8_t bit = static_cast<uint8_t>(1u << (slot - 1));
            std::cout << WatchLine(slot, data.Drives[slot], (failing & bit) != 0,
                                   (result.SleepingSlots & bit) != 0)
                      << "\n";
        }
        std::cout.flush();
        if (!metricsFile.empty()) {
            std::string error;
            if (!SafeWriteFile(metricsFile, FormatMetrics(data, std::time(nullptr)),
                               NewFileModeDefault, &error)) {
                std::cerr << "quorvane-cli: " << error << "\n";
                status = ExitFailed;
            }
        }
        // The session asks for the mail only when the repeat rule says it is due.
        if (mail.Pending)
            reports.SendReport(data, FormatDateTime(clock, clock.Now()));
        if (count > 0 && tick >= count)
            break;

        timespec wait{};
        wait.tv_sec = static_cast<time_t>(interval.count() / 1000);
        wait.tv_nsec = static_cast<long>(interval.count() % 1000) * 1000000L;
        int got;
        do {
            got = sigtimedwait(&stopSignals, nullptr, &wait);
        } while (got < 0 && errno == EINTR);
        if (got > 0) {
            signalled = true;
            break;
        }
    }
    // A warning on its way gets a moment to arrive; a stop by signal is not
    // held up for long.
    reports.WaitForWorkers(signalled ? std::chrono::milliseconds(1000)
                                     : std::chrono::milliseconds(30000));
    // Stopped by a signal is a service's normal end; a metrics file that could
    // not be written was said on standard error at its tick.
    return signalled ? ExitOk : status;
}

} // namespace quorvane::cli
