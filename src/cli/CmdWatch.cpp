// quorvane-cli watch: its options, the stop signals, the settings and the
// scan; the loop itself is the watch service.
#include <chrono>
#include <csignal>
#include <iostream>

#include "cli/CliScan.h"
#include "watch/WatchService.h"

namespace quorvane::cli {

namespace {

const std::string WatchUsage = CommandUsage("watch");

bool ParseCount(const std::string& text, long max, long& value) {
    if (text.empty() || text.size() > 9 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::stol(text);
    return value >= 1 && value <= max;
}

// Takes watch's options; ExitOk, or the usage error's status once it is said.
int ParseWatchArguments(std::vector<std::string> args, WatchOptions& options, bool& noMail,
                        std::string& historyFile) {
    noMail = TakeFlag(args, "--no-mail");
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--interval" && hasValue) {
            long seconds = 0;
            if (!ParseCount(args[++i], MaxRefreshInterval, seconds)) {
                return UsageError("watch",
                                  "--interval must be 1.." + std::to_string(MaxRefreshInterval) +
                                      " seconds, not '" + args[i] + "'",
                                  WatchUsage);
            }
            options.Interval = std::chrono::milliseconds(seconds * 1000);
        } else if (arg == "--count" && hasValue) {
            if (!ParseCount(args[++i], 999999999, options.Count)) {
                return UsageError("watch", "--count must be a number from 1, not '" + args[i] + "'",
                                  WatchUsage);
            }
        } else if (arg == "--metrics" && hasValue && !args[i + 1].empty()) {
            options.MetricsFile = args[++i];
        } else if (arg == "--history" && hasValue && !args[i + 1].empty()) {
            historyFile = args[++i];
        } else if (arg == "--interval" || arg == "--count" || arg == "--metrics" ||
                   arg == "--history") {
            return UsageError("watch", arg + " needs a value", WatchUsage);
        } else {
            return UsageError("watch", UnexpectedArgument("watch", arg), WatchUsage);
        }
    }
    return ExitOk;
}

} // namespace

int RunWatch(CliContext& ctx) {
    WatchOptions options;
    bool noMail = false;
    std::string historyFile;
    if (const int status = ParseWatchArguments(ctx.Args, options, noMail, historyFile);
        status != ExitOk)
        return status;

    // SIGTERM and SIGINT are taken by sigtimedwait between ticks; blocked from
    // here on (also in the mail workers started later), they never interrupt
    // a tick or a file write, and nothing runs in a handler.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    Program& program = ctx.App();
    program.LoadSettings();
    if (noMail)
        program.Options().SMTPWarnings = false;
    program.SetHistoryFile(historyFile);
    if (!ScanForCommand(ctx, program.Data(), true, ScanUse::Monitor))
        return ExitNoDrives;

    const WatchEnd end = RunWatchService(program, options, stopSignals, std::cout, std::cerr);
    // Stopped by a signal is a service's normal end; a metrics file that could
    // not be written was said on standard error at its tick.
    return end.Signalled || !end.MetricsWriteFailed ? ExitOk : ExitFailed;
}

} // namespace quorvane::cli
