#include "app/NvmeLogs.h"

#include "app/SelfTests.h"
#include "nvme/NvmeCommand.h"

namespace quorvane {

std::optional<std::vector<NvmeErrorEntry>> ReadNvmeErrorLog(DriveBus& bus, const HDD& drive,
                                                            std::string& why) {
    if (!drive.IsNvme() || !drive.Nvme) {
        why = "not an NVMe drive";
        return std::nullopt;
    }
    NvmeAdminCommand cmd = NvmeAdminCommand::ErrorLog(NvmeErrorLogEntries(drive.Nvme->Controller));
    const bool sent = SendNvmeOnce(bus, drive.DriveNumber, cmd);
    if (!NvmeSucceeded(sent, cmd)) {
        why = sent ? "the error log could not be read: " + NvmeStatusText(cmd.Status)
                   : "the drive could not be opened";
        return std::nullopt;
    }
    return DecodeNvmeErrorLog(cmd.Answer());
}

std::vector<std::string> DriveConcerns(const HDD& drive) {
    if (drive.IsNvme())
        return drive.Reading.NvmeHealth ? NvmeHealthConcerns(*drive.Reading.NvmeHealth)
                                        : std::vector<std::string>{};
    std::vector<std::string> concerns;
    const DriveLogs& logs = drive.Reading.Logs;
    if (logs.SelfTestFailing && logs.Newest)
        concerns.push_back("self-test failed: " + SelfTestEntryText(*logs.Newest));
    if (logs.ErrorCountBefore && logs.ErrorCount)
        concerns.push_back("error log: " + std::to_string(*logs.ErrorCount) + " errors (was " +
                           std::to_string(*logs.ErrorCountBefore) + ")");
    if (const std::string hint = SelfTestHint(drive); !hint.empty())
        concerns.push_back(hint);
    return concerns;
}

std::string DriveTemperatureText(const HDD& drive) {
    if (drive.IsNvme() &&
        !(drive.Reading.NvmeHealth && NvmeCelsius(drive.Reading.NvmeHealth->CompositeTemperatureK)))
        return NotMeasuredText;
    return std::to_string(drive.Temperature);
}

SmartReportIdentity ReportIdentityOf(const ProgramData& data, DriveBus& bus, int slot) {
    const InfoPanel& panel = data.Screen.Info;
    SmartReportIdentity identity{panel.HDDModelL, panel.HDDFirmwareL, panel.HDDSNL, {}, {}};
    if (!data.IsDriveSlot(slot) || !data.Drives[slot].IsNvme())
        return identity;
    const HDD& drive = data.Drives[slot];
    identity.Warnings = DriveConcerns(drive);
    std::string why;
    if (const auto entries = ReadNvmeErrorLog(bus, drive, why)) {
        for (const NvmeErrorEntry& entry : *entries)
            identity.ErrorLog.push_back(NvmeErrorEntryText(entry));
    } else {
        identity.ErrorLog.push_back(why);
    }
    return identity;
}

} // namespace quorvane
