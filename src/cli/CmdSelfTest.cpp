// quorvane-cli selftest SLOT short|extended|conveyance|abort [--wait]: starts
// (or aborts) a drive's own self-test and, with --wait, follows it to its end.
#include <chrono>
#include <csignal>
#include <iostream>
#include <unistd.h>

#include "app/ReadSmart.h"
#include "app/SelfTests.h"
#include "cli/CliScan.h"

namespace quorvane::cli {
namespace {

// "[#####-----]  50 %" on a terminal.
std::string Bar(int done) {
    const int filled = done / 10;
    return "[" + std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(10 - filled), '-') + "] " + std::to_string(done) + " %";
}

// Polls the data page until the test ends or SIGINT/SIGTERM comes (which
// leaves the test running). ExitOk for a test that passed, ExitFailed else.
int Follow(CliContext& ctx, ProgramData& data, int slot) {
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    // A simulated drive moves on at each read; a real one in minutes.
    const auto every = ctx.Bus().IsSimulated() ? std::chrono::milliseconds(100)
                                               : std::chrono::milliseconds(5000);
    const bool terminal = ::isatty(STDOUT_FILENO);
    int shown = -1;
    HDD& drive = data.Drives[slot];
    for (;;) {
        ReadSMART(data, ctx.Bus(), slot, false);
        // An NVMe controller tells of its test in its self-test log only.
        if (std::string why; drive.IsNvme())
            ReadSelfTestLog(ctx.Bus(), drive, why);
        const auto running = RunningSelfTest(drive);
        if (!running)
            break;
        const int done = 100 - running->PercentRemaining;
        if (terminal) {
            std::cout << "\r" << Bar(done) << std::flush;
        } else if (done / 10 != shown / 10) {
            std::cout << "self-test " << done << " %\n" << std::flush;
        }
        shown = done;
        const timespec wait{static_cast<time_t>(every.count() / 1000),
                            static_cast<long>(every.count() % 1000) * 1000000};
        if (sigtimedwait(&stop, nullptr, &wait) > 0) {
            std::cout << (terminal ? "\n" : "")
                      << "Stopped waiting; the self-test goes on in the drive "
                         "(quorvane-cli selftest " << slot << " abort stops it)\n";
            return ExitOk;
        }
    }
    if (terminal && shown >= 0)
        std::cout << "\r" << Bar(100) << "\n";
    std::string why;
    const auto log = ReadSelfTestLog(ctx.Bus(), drive, why);
    if (!log || log->empty()) {
        std::cerr << "quorvane-cli: slot " << slot << ": the self-test ended; " << why << "\n";
        return ExitFailed;
    }
    std::cout << "Result: " << SelfTestEntryText(log->front()) << "\n";
    return SelfTestFailed(log->front().Status) ? ExitFailed : ExitOk;
}

} // namespace

int RunSelfTest(CliContext& ctx) {
    const bool wait = TakeFlag(ctx.Args, "--wait");
    std::string problem = OperandProblem("selftest", ctx.Args, {"SLOT", "KIND"});
    if (problem.empty())
        problem = SlotProblem(ctx.Args[0]);
    const auto kind = problem.empty() ? ParseSelfTestKind(ctx.Args[1]) : std::nullopt;
    if (problem.empty() && !kind)
        problem = "KIND must be short, extended, conveyance or abort, not '" + ctx.Args[1] + "'";
    if (!problem.empty())
        return UsageError("selftest", problem, CommandUsage("selftest"));
    int slot = 0;
    ParseSlot(ctx.Args[0], slot);
    ProgramData& data = ctx.App().Data();
    if (!ScanForSlot(ctx, data, slot, true))
        return ExitUsage;
    HDD& drive = data.Drives[slot];
    // The data page says which tests the drive offers.
    ReadSMART(data, ctx.Bus(), slot, false);
    const SelfTestStart started = StartSelfTest(ctx.Bus(), drive, *kind);
    std::cout << "Slot " << slot << ": " << SelfTestStartText(started, *kind);
    if (started == SelfTestStart::Started && *kind != SelfTestKind::Abort) {
        if (const int minutes = ExpectedSelfTestMinutes(drive, *kind))
            std::cout << " (the drive expects " << minutes << " min)";
    }
    std::cout << "\n";
    if (started != SelfTestStart::Started)
        return ExitFailed;
    if (!wait || *kind == SelfTestKind::Abort)
        return ExitOk;
    return Follow(ctx, data, slot);
}

} // namespace quorvane::cli
