// quorvane-cli report SLOT FILE [--dec]: the S.M.A.R.T. report file of one slot.
#include <iostream>

#include "cli/CliScan.h"
#include "app/NvmeLogs.h"
#include "app/ReadSmart.h"
#include "smart/SmartReport.h"

namespace quorvane::cli {

int RunReport(CliContext& ctx) {
    const bool dec = TakeFlag(ctx.Args, "--dec");
    std::string problem = OperandProblem("report", ctx.Args, {"SLOT", "FILE"});
    if (problem.empty())
        problem = SlotProblem(ctx.Args[0]);
    if (problem.empty() && ctx.Args[1].empty())
        problem = "FILE is empty";
    if (!problem.empty())
        return UsageError("report", problem, CommandUsage("report"));
    int slot = 0;
    ParseSlot(ctx.Args[0], slot);
    const std::string path = ctx.Args[1];
    ProgramData& data = ctx.App().Data();
    if (!ScanForSlot(ctx, data, slot, true))
        return ExitUsage;
    // The report repeats what the windows show: the slot's identity in the
    // Information group and the grid of a read with show.
    HeadlessScanView noView;
    ShowDriveInfo(data, ctx.Bus(), slot, noView, ScanUse::ReadOnly);
    const bool healthy =
        ReadSMART(data, ctx.Bus(), slot, true, dec ? RawValueFormat::Dec : RawValueFormat::Hex);
    // Without its pages the report would hold no attributes at all: nothing
    // is written then, and any report already in FILE stays as it was. A
    // failing drive's report is written: it is the one most wanted.
    const std::string lost = UnreadReason(data.Drives[slot]);
    if (!lost.empty()) {
        std::cerr << "quorvane-cli: slot " << slot << ": " << lost << "; no report written\n";
        return ExitFailed;
    }
    if (!healthy)
        std::cerr << "quorvane-cli: slot " << slot << ": S.M.A.R.T. status "
                  << data.Screen.Smart.SMARTStatusL << "\n";
    const SystemLocalClock clock;
    std::string error;
    if (!WriteSmartReport(path, clock, ReportIdentityOf(data, ctx.Bus(), slot),
                          data.Screen.Smart.SMARTSG, &error)) {
        std::cerr << "quorvane-cli: " << error << "\n";
        return ExitFailed;
    }
    std::cout << "Report written to " << path << "\n";
    return ExitOk;
}

} // namespace quorvane::cli
