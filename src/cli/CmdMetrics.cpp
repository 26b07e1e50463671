// quorvane-cli metrics: every drive read once, printed as Prometheus metrics
// (for node_exporter's textfile collector, e.g. from a cron job).
#include <ctime>
#include <iostream>

#include "cli/CliScan.h"
#include "monitor/Metrics.h"
#include "monitor/SleepRule.h"
#include "app/Settings.h"

namespace quorvane::cli {

int RunMetrics(CliContext& ctx) {
    if (const std::string problem = OperandProblem("metrics", ctx.Args, {}); !problem.empty())
        return UsageError("metrics", problem, CommandUsage("metrics"));
    ctx.App().LoadSettings();
    const Settings& settings = ctx.App().Options();

    ProgramData& data = ctx.App().Data();
    // The text must stay exposition format: the simulated-drives line becomes
    // a comment.
    if (ctx.Bus().IsSimulated())
        std::cout << "# " << SimulatedHeader(ctx.Bus()) << "\n";
    if (!ScanForCommand(ctx, data, false))
        return ExitFailed;
    ReadDrivesOnce(data, ctx.Bus(), settings.LetDrivesSleep);
    std::cout << FormatMetrics(data, static_cast<int64_t>(std::time(nullptr)));
    return ExitOk;
}

} // namespace quorvane::cli
