// quorvane-cli log SLOT error [--json]: the drive's own error log.
#include <iostream>

#include "app/NvmeLogs.h"
#include "cli/CliScan.h"
#include "platform/TerminalText.h"

namespace quorvane::cli {
namespace {

void PrintJson(int slot, const std::vector<NvmeErrorEntry>& entries) {
    std::cout << "{\"slot\": " << slot << ", \"log\": \"error\", \"entries\": [";
    for (size_t i = 0; i < entries.size(); ++i) {
        const NvmeErrorEntry& e = entries[i];
        std::cout << (i ? ", " : "") << "{\"error_count\": " << e.ErrorCount
                  << ", \"submission_queue_id\": " << e.SubmissionQueue
                  << ", \"command_id\": " << e.CommandId << ", \"status_field\": " << e.Status
                  << ", \"status\": " << JsonString(NvmeStatusText(e.Status))
                  << ", \"parameter_error_location\": " << e.ParameterErrorLocation
                  << ", \"lba\": " << e.Lba << ", \"nsid\": " << e.Namespace << "}";
    }
    std::cout << "]}\n";
}

} // namespace

int RunLog(CliContext& ctx) {
    const bool json = TakeFlag(ctx.Args, "--json");
    std::string problem = OperandProblem("log", ctx.Args, {"SLOT", "error"});
    if (problem.empty())
        problem = SlotProblem(ctx.Args[0]);
    if (problem.empty() && ctx.Args[1] != "error")
        problem = "unknown log '" + ctx.Args[1] + "' (error)";
    if (!problem.empty())
        return UsageError("log", problem, CommandUsage("log"));
    int slot = 0;
    ParseSlot(ctx.Args[0], slot);
    ProgramData& data = ctx.App().Data();
    if (!ScanForSlot(ctx, data, slot, !json))
        return ExitUsage;
    const HDD& drive = data.Drives[slot];
    if (!drive.IsNvme()) {
        std::cerr << "quorvane-cli: slot " << slot
                  << ": the error log is read from NVMe drives only\n";
        return ExitFailed;
    }
    std::string why;
    const auto entries = ReadNvmeErrorLog(ctx.Bus(), drive, why);
    if (!entries) {
        std::cerr << "quorvane-cli: slot " << slot << ": " << why << "\n";
        return ExitFailed;
    }
    if (json) {
        PrintJson(slot, *entries);
        return ExitOk;
    }
    std::cout << "Slot " << slot << ": " << DriveTerminalText(drive.ModelNumber) << "\n"
              << "Error Information Log: "
              << (entries->empty() ? std::string("no entries")
                                   : std::to_string(entries->size()) + " entries")
              << "\n";
    for (const NvmeErrorEntry& entry : *entries)
        std::cout << "  " << NvmeErrorEntryText(entry) << "\n";
    return ExitOk;
}

} // namespace quorvane::cli
