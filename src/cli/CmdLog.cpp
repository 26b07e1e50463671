// quorvane-cli log SLOT selftest|error [--json]: the drive's own self-test
// and error logs.
#include <iostream>

#include "app/NvmeLogs.h"
#include "app/SelfTests.h"
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

void PrintSelfTestJson(int slot, const std::vector<SelfTestEntry>& entries) {
    std::cout << "{\"slot\": " << slot << ", \"log\": \"selftest\", \"entries\": [";
    for (size_t i = 0; i < entries.size(); ++i) {
        const SelfTestEntry& e = entries[i];
        std::cout << (i ? ", " : "") << "{\"type\": " << JsonString(EntryKindText(e))
                  << ", \"status\": " << JsonString(EntryStatusText(e))
                  << ", \"status_value\": " << int{e.Status}
                  << ", \"passed\": " << (EntryFailed(e) ? "false" : "true")
                  << ", \"remaining_percent\": " << e.PercentRemaining
                  << ", \"lifetime_hours\": " << e.PowerOnHours << ", \"lba\": "
                  << (e.FirstFailingLba ? std::to_string(*e.FirstFailingLba) : "null") << "}";
    }
    std::cout << "]}\n";
}

void PrintAtaErrorJson(int slot, const ErrorLog& log) {
    std::cout << "{\"slot\": " << slot << ", \"log\": \"error\", \"count\": " << log.ErrorCount
              << ", \"entries\": [";
    for (size_t i = 0; i < log.Entries.size(); ++i) {
        const ErrorLogEntry& e = log.Entries[i];
        std::cout << (i ? ", " : "") << "{\"lifetime_hours\": " << e.PowerOnHours
                  << ", \"command\": " << int{e.Command} << ", \"features\": " << int{e.Features}
                  << ", \"count\": " << int{e.SectorCount} << ", \"lba\": " << e.Lba
                  << ", \"device\": " << int{e.Device} << ", \"error\": " << int{e.Error}
                  << ", \"status\": " << int{e.Status}
                  << ", \"state\": " << JsonString(ErrorStateText(e.State)) << "}";
    }
    std::cout << "]}\n";
}

// A drive's self-test log, or an ATA drive's error log; ExitFailed with the
// reason said when one cannot be read.
int RunDriveLog(CliContext& ctx, HDD& drive, int slot, bool selftest, bool json) {
    std::string why;
    if (selftest) {
        const auto entries = ReadSelfTestLog(ctx.Bus(), drive, why);
        if (!entries) {
            std::cerr << "quorvane-cli: slot " << slot << ": " << why << "\n";
            return ExitFailed;
        }
        if (json) {
            PrintSelfTestJson(slot, *entries);
            return ExitOk;
        }
        std::cout << "Slot " << slot << ": " << DriveTerminalText(drive.ModelNumber) << "\n"
                  << "Self-test log: "
                  << (entries->empty() ? std::string("no self-tests logged")
                                       : std::to_string(entries->size()) + " entries, newest first")
                  << "\n";
        for (size_t i = 0; i < entries->size(); ++i)
            std::cout << "  #" << i + 1 << "  " << SelfTestEntryText((*entries)[i]) << "\n";
        return ExitOk;
    }
    const auto log = ReadAtaErrorLog(ctx.Bus(), drive, why);
    if (!log) {
        std::cerr << "quorvane-cli: slot " << slot << ": " << why << "\n";
        return ExitFailed;
    }
    if (json) {
        PrintAtaErrorJson(slot, *log);
        return ExitOk;
    }
    std::cout << "Slot " << slot << ": " << DriveTerminalText(drive.ModelNumber) << "\n"
              << "Error log: " << log->ErrorCount << " errors over the drive's life"
              << (log->Entries.empty() ? "" : ", the newest first:") << "\n";
    for (const ErrorLogEntry& entry : log->Entries)
        std::cout << "  " << ErrorLogEntryText(entry) << "\n";
    return ExitOk;
}

} // namespace

int RunLog(CliContext& ctx) {
    const bool json = TakeFlag(ctx.Args, "--json");
    std::string problem = OperandProblem("log", ctx.Args, {"SLOT", "LOG"});
    if (problem.empty())
        problem = SlotProblem(ctx.Args[0]);
    if (problem.empty() && ctx.Args[1] != "error" && ctx.Args[1] != "selftest")
        problem = "LOG must be selftest or error, not '" + ctx.Args[1] + "'";
    if (!problem.empty())
        return UsageError("log", problem, CommandUsage("log"));
    int slot = 0;
    ParseSlot(ctx.Args[0], slot);
    ProgramData& data = ctx.App().Data();
    if (!ScanForSlot(ctx, data, slot, !json))
        return ExitUsage;
    HDD& drive = data.Drives[slot];
    const bool selftest = ctx.Args[1] == "selftest";
    if (!drive.IsNvme() || selftest)
        return RunDriveLog(ctx, drive, slot, selftest, json);
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
