#include <cstdio>
#include <iostream>

#include "cli/CliJson.h"
#include "cli/CliScan.h"
#include "platform/TerminalText.h"

namespace quorvane::cli {

std::string SimulatedHeader(const DriveBus& bus) {
    return "Running on " + bus.Describe() + " (not real hardware)";
}

bool ScanForSlot(CliContext& ctx, ProgramData& data, int slot, bool printHeader) {
    ScanForCommand(ctx, data, printHeader);
    if (data.IsDriveSlot(slot))
        return true;
    std::cerr << "quorvane-cli: slot " << slot << " holds no drive (drives found: "
              << data.DriveCount << ")\n";
    return false;
}

std::string UnreadReason(const HDD& drive) {
    if (!drive.Reading.LastFailure.empty())
        return drive.Reading.LastFailure;
    return drive.SMARTEnabled ? std::string() : "S.M.A.R.T. is not enabled on the drive";
}

bool ScanForCommand(CliContext& ctx, ProgramData& data, bool printHeader, ScanUse use) {
    DriveBus& bus = ctx.Bus();
    if (printHeader && bus.IsSimulated())
        std::cout << SimulatedHeader(bus) << "\n";
    HeadlessScanView noView;
    const bool found = ScanDrives(data, bus, noView, Settings{}, use);
    for (const std::string& problem : bus.Problems())
        std::cerr << "quorvane-cli: " << problem << "\n";
    if (bus.PermissionDenied())
        std::cerr
            << "quorvane-cli: some drives could not be opened for lack of permission; "
               "install quorvane-helper on the system bus or give the program CAP_SYS_RAWIO "
               "(and CAP_SYS_ADMIN for NVMe drives)\n";
    if (!found)
        std::cerr << NoDrivesText << "\n";
    return found;
}

namespace {

const char* YesNo(bool value) {
    return value ? "yes" : "no";
}

// A flag of ATA drives: "---" for an NVMe drive, which has none.
const char* AtaFlag(const HDD& d, bool value) {
    return d.IsNvme() ? NotApplicableText : YesNo(value);
}
void PrintJson(CliContext& ctx, const ProgramData& data) {
    JsonWriter json = BeginJsonDocument(ctx);
    json.BeginArray("drives");
    for (int slot = 1; slot <= data.DriveCount; ++slot) {
        json.BeginObject().Field("slot", slot);
        WriteDriveIdentity(json, data.Drives[slot]);
        json.End();
    }
    json.End();
    PrintJsonDocument(json);
}

void PrintTable(const ProgramData& data) {
    std::printf("%-4s %-5s %-40s %-20s %-8s %7s %-5s %-10s %-3s %-8s %s\n", "Slot", "Drive",
                "Model", "Serial", "Firmware", "Size GB", "LBA48", "S.M.A.R.T.", "HPA", "Security",
                "HPA MB");
    for (int slot = 1; slot <= data.DriveCount; ++slot) {
        const HDD& d = data.Drives[slot];
        const std::string hpa = d.IsNvme()           ? NotApplicableText
                                : d.HPASizeMB == -1 ? NotMeasuredText
                                                    : std::to_string(d.HPASizeMB);
        // ATA drives by number, NVMe controllers by name.
        const std::string number = d.IsNvme() ? DeviceName(d) : std::to_string(d.DriveNumber);
        std::printf("%-4d %-5s %-40s %-20s %-8s %7s %-5s %-10s %-3s %-8s %s\n", slot,
                    number.c_str(), DriveTerminalText(d.ModelNumber).c_str(),
                    DriveTerminalText(d.SerialNumber).c_str(),
                    DriveTerminalText(d.FirmwareRevision).c_str(), DriveSizeText(d).c_str(),
                    AtaFlag(d, d.LBA48), YesNo(d.SMARTEnabled), AtaFlag(d, d.HPA),
                    AtaFlag(d, d.Security), hpa.c_str());
    }
}

} // namespace

int RunScan(CliContext& ctx) {
    const bool json = TakeFlag(ctx.Args, "--json");
    if (const std::string problem = OperandProblem("scan", ctx.Args, {}); !problem.empty())
        return UsageError("scan", problem, CommandUsage("scan"));
    // Where the drives came from, when not straight from the devices.
    if (const std::string route = ctx.Bus().Route(); !route.empty())
        std::cerr << "quorvane-cli: using " << route << "\n";
    ProgramData& data = ctx.App().Data();
    if (!ScanForCommand(ctx, data, !json)) {
        if (json)
            PrintJson(ctx, data);
        return ExitFailed;
    }
    if (json)
        PrintJson(ctx, data);
    else
        PrintTable(data);
    return ExitOk;
}

} // namespace quorvane::cli
