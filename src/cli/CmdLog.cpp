// quorvane-cli log SLOT selftest|error [--json]: the drive's own self-test
// and error logs.
#include <iostream>

#include "app/NvmeLogs.h"
#include "app/SelfTests.h"
#include "cli/CliJson.h"
#include "cli/CliScan.h"
#include "platform/TerminalText.h"

namespace quorvane::cli {
namespace {

// The log under smartctl's names: the status field split as the
// controller packs it (code in bits 0-7, type in bits 8-10, more in bit
// 13, do not retry in bit 14).
void PrintJson(CliContext& ctx, int slot, const HDD& drive,
               const std::vector<NvmeErrorEntry>& entries) {
    JsonWriter json = BeginJsonDocument(ctx);
    json.Field("slot", slot);
    json.BeginObject("device").Field("name", DeviceName(drive)).Field("type", "nvme").End();
    json.BeginObject("nvme_error_information_log")
        .Field("size", drive.Nvme ? NvmeErrorLogEntries(drive.Nvme->Controller) : 0u)
        .Field("read", entries.size());
    json.BeginArray("table");
    for (const NvmeErrorEntry& e : entries) {
        json.BeginObject()
            .Field("error_count", e.ErrorCount)
            .Field("submission_queue_id", e.SubmissionQueue)
            .Field("command_id", e.CommandId);
        json.BeginObject("status_field")
            .Field("value", e.Status)
            .Field("do_not_retry", (e.Status & 0x4000) != 0)
            .Field("more", (e.Status & 0x2000) != 0)
            .Field("status_code_type", (e.Status >> 8) & 0x7)
            .Field("status_code", e.Status & 0xFF)
            .Field("string", NvmeStatusText(e.Status))
            .End();
        json.Field("parm_error_location", e.ParameterErrorLocation);
        json.BeginObject("lba").Field("value", e.Lba).End();
        json.Field("nsid", e.Namespace)
            .Field("vendor_specific", e.VendorInfo)
            .Field("transport_type", e.TransportType)
            .Field("command_specific", e.CommandSpecific)
            .End();
    }
    json.End().End();
    PrintJsonDocument(json);
}

// The self-test log under smartctl's names (ata_smart_self_test_log).
void PrintSelfTestJson(CliContext& ctx, int slot, const HDD& drive,
                       const std::vector<SelfTestEntry>& entries) {
    JsonWriter json = BeginJsonDocument(ctx);
    json.Field("slot", slot);
    json.BeginObject("device").Field("name", DeviceName(drive)).Field("type", drive.IsNvme() ? "nvme" : "ata").End();
    json.BeginObject("ata_smart_self_test_log").BeginObject("standard").Field("count", entries.size());
    json.BeginArray("table");
    for (const SelfTestEntry& e : entries) {
        json.BeginObject();
        json.BeginObject("type")
            .Field("value", int{e.Subcommand})
            .Field("string", EntryKindText(e))
            .End();
        json.BeginObject("status")
            .Field("value", int{e.Status})
            .Field("string", EntryStatusText(e))
            .Field("passed", !EntryFailed(e))
            .Field("remaining_percent", e.PercentRemaining)
            .End();
        json.Field("lifetime_hours", e.PowerOnHours).Field("lba", e.FirstFailingLba).End();
    }
    json.End().End().End();
    PrintJsonDocument(json);
}

// The ATA error log's summary under smartctl's names (ata_smart_error_log).
void PrintAtaErrorJson(CliContext& ctx, int slot, const HDD& drive, const ErrorLog& log) {
    JsonWriter json = BeginJsonDocument(ctx);
    json.Field("slot", slot);
    json.BeginObject("device").Field("name", DeviceName(drive)).Field("type", "ata").End();
    json.BeginObject("ata_smart_error_log").BeginObject("summary").Field("count", log.ErrorCount);
    json.BeginArray("table");
    for (const ErrorLogEntry& e : log.Entries) {
        json.BeginObject().Field("lifetime_hours", e.PowerOnHours);
        // The drive's answer, and the command it answered with its registers.
        json.BeginObject("completion_registers")
            .Field("error", int{e.Error})
            .Field("status", int{e.Status})
            .End();
        json.BeginObject("command")
            .Field("value", int{e.Command})
            .Field("features", int{e.Features})
            .Field("count", int{e.SectorCount})
            .Field("lba", e.Lba)
            .Field("device", int{e.Device})
            .End();
        json.BeginObject("state")
            .Field("value", int{e.State})
            .Field("string", ErrorStateText(e.State))
            .End();
        json.End();
    }
    json.End().End().End();
    PrintJsonDocument(json);
}

// A drive's self-test log, or an ATA drive's error log; ExitFailed with the
// reason said when one cannot be read.
int RunDriveLog(CliContext& ctx, HDD& drive, int slot, bool selftest, bool json) {
    std::string why;
    if (selftest) {
        const auto entries = ReadSelfTestLog(ctx.Bus(), drive, why);
        if (!entries) {
            if (json)
                PrintJsonError(ctx, slot, {"read_failed", why, "self-test-log", ""});
            std::cerr << "quorvane-cli: slot " << slot << ": " << why << "\n";
            return ExitFailed;
        }
        if (json) {
            PrintSelfTestJson(ctx, slot, drive, *entries);
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
        if (json)
            PrintJsonError(ctx, slot, {"read_failed", why, "error-log", ""});
        std::cerr << "quorvane-cli: slot " << slot << ": " << why << "\n";
        return ExitFailed;
    }
    if (json) {
        PrintAtaErrorJson(ctx, slot, drive, *log);
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
        return NoDriveInSlot(ctx, data, slot, json);
    HDD& drive = data.Drives[slot];
    const bool selftest = ctx.Args[1] == "selftest";
    if (!drive.IsNvme() || selftest)
        return RunDriveLog(ctx, drive, slot, selftest, json);
    std::string why;
    const auto entries = ReadNvmeErrorLog(ctx.Bus(), drive, why);
    if (!entries) {
        if (json)
            PrintJsonError(ctx, slot, {"read_failed", why, "error-log", ""});
        std::cerr << "quorvane-cli: slot " << slot << ": " << why << "\n";
        return ExitFailed;
    }
    if (json) {
        PrintJson(ctx, slot, drive, *entries);
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
