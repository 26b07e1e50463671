#include "app/ReadSmart.h"

#include <algorithm>
#include <utility>

#include "nvme/NvmeCommand.h"
#include "smart/NvmeHealthGrid.h"
#include "smart/SmartAttributes.h"

namespace quorvane {
namespace {

// Reads one page into the request and copies it out only when the drive
// ended the command without error.
bool ReadPage(DriveBus& bus, unsigned driveNumber, AtaCommand cmd, SmartPage& page) {
    const bool sent = SendOnce(bus, driveNumber, cmd);
    if (!AtaSucceeded(sent, cmd))
        return false;
    std::copy(cmd.Data.begin(), cmd.Data.end(), page.begin());
    return true;
}

// An NVMe controller's read: one health log a tick. The critical warning
// byte is the verdict; the log replaces both S.M.A.R.T. pages.
bool ReadNvmeHealth(ProgramData& data, DriveBus& bus, HDD& drive, bool show,
                    RawValueFormat format) {
    drive.Reading.LastFailure.clear();
    drive.Reading.LastFailurePage.clear();
    NvmeAdminCommand cmd = NvmeAdminCommand::HealthLog();
    auto handle = OpenSlotDevice(bus, drive);
    const bool opened = handle != nullptr;
    const bool sent = opened && handle->SendNvmeAdmin(cmd);
    handle.reset();
    const auto log = NvmeSucceeded(sent, cmd) ? DecodeNvmeHealth(cmd.Answer()) : std::nullopt;
    SmartScreen& screen = data.Screen.Smart;
    if (!log) {
        // Not read counts as not OK, as a lost RETURN STATUS does.
        ++drive.Reading.ReadFailures;
        drive.Reading.LastFailure =
            !opened ? "the drive could not be opened"
            : !sent ? "the health log did not come back (no answer in time)"
                    : "the health log could not be read: " + NvmeStatusText(cmd.Status);
        if (opened)
            drive.Reading.LastFailurePage = "health-log";
        drive.SMARTStatusOK = false;
        drive.SMARTStatusRead = true;
        if (show)
            screen.SMARTStatusL = SmartStatusText(false);
        return false;
    }
    drive.Reading.NvmeHealth = log;
    drive.Reading.PagesRead = true;
    drive.SMARTStatusOK = NvmeHealthOk(*log);
    drive.SMARTStatusRead = true;
    drive.Temperature = NvmeCelsius(log->CompositeTemperatureK).value_or(0);
    if (show) {
        screen.SMARTStatusL = SmartStatusText(drive.SMARTStatusOK);
        screen.Temperatures = NvmeTemperatureCaptions(*log);
        screen.SMARTSG = NvmeHealthGrid(*log, drive.Nvme ? &drive.Nvme->Controller : nullptr, format);
        screen.SMARTSGPages.clear(); // filled from no S.M.A.R.T. pages
        screen.RAWValuesRG = format;
    }
    return drive.SMARTStatusOK;
}

// Whether the grid shows these pages in this form already: a monitoring
// tick reads the selected drive every time, mostly to find it unchanged.
bool GridFilledFrom(const SmartScreen& screen, const ProgramData& data, RawValueFormat format) {
    const std::vector<uint8_t>& pages = screen.SMARTSGPages;
    const size_t half = data.SMARTDataPage.size();
    return screen.RAWValuesRG == format && pages.size() == 2 * half &&
           std::equal(data.SMARTDataPage.begin(), data.SMARTDataPage.end(), pages.begin()) &&
           std::equal(data.SMARTThresholdPage.begin(), data.SMARTThresholdPage.end(),
                      pages.begin() + static_cast<std::ptrdiff_t>(half));
}

} // namespace

bool ReadSMART(ProgramData& data, DriveBus& bus, int slot, bool show, RawValueFormat format) {
    if (!data.IsDriveSlot(slot))
        return false;
    HDD& drive = data.Drives[slot];
    if (!drive.SMARTEnabled)
        return false;
    if (drive.IsNvme())
        return ReadNvmeHealth(data, bus, drive, show, format);
    const unsigned n = drive.DriveNumber;
    drive.Reading.LastFailure.clear();
    drive.Reading.LastFailurePage.clear();
    auto failed = [&drive](const char* what, const char* page = "") {
        ++drive.Reading.ReadFailures;
        drive.Reading.LastFailure = what;
        drive.Reading.LastFailurePage = page;
        return false;
    };

    auto handle = bus.OpenDrive(n);
    if (!handle)
        return failed("the drive could not be opened");
    AtaCommand status = AtaCommand::SmartReturnStatus(n);
    const bool sent = handle->SendAtaCommand(status);
    handle.reset();
    // A failed command counts as not OK, like a reported exceeded threshold.
    drive.SMARTStatusOK = EvaluateReturnStatus(
        sent, {status.TaskFile.Status(), status.TaskFile.LbaMid, status.TaskFile.LbaHigh});
    drive.SMARTStatusRead = true;
    SmartScreen& screen = data.Screen.Smart;
    if (show)
        screen.SMARTStatusL = SmartStatusText(drive.SMARTStatusOK);

    if (!ReadPage(bus, n, AtaCommand::SmartReadData(n), data.SMARTDataPage))
        return failed("the S.M.A.R.T. data could not be read", "smart-data");
    if (!ReadPage(bus, n, AtaCommand::SmartReadThresholds(n), data.SMARTThresholdPage))
        return failed("the S.M.A.R.T. thresholds could not be read", "smart-thresholds");
    drive.Reading.PagesRead = true;
    drive.Reading.DataPage = data.SMARTDataPage;
    drive.Reading.ThresholdPage = data.SMARTThresholdPage;
    if (!AtaSucceeded(sent, status))
        ++drive.Reading.ReadFailures; // the pages came, the verdict did not

    const DriveTemperatures temperatures = ReadDriveTemperatures(data.SMARTDataPage, drive.Vendor);
    drive.Temperature = temperatures.DriveTemperature;
    if (show) {
        screen.Temperatures = FormatTemperatureCaptions(temperatures);
        if (!GridFilledFrom(screen, data, format)) {
            // The grid is rebuilt from the new pages as a whole, so rows of a
            // previous, longer fill disappear.
            SmartGridModel grid;
            FillSmartGrid(grid, {data.SMARTDataPage, data.SMARTThresholdPage}, format);
            screen.SMARTSG = std::move(grid);
            screen.RAWValuesRG = format;
            screen.SMARTSGPages.assign(data.SMARTDataPage.begin(), data.SMARTDataPage.end());
            screen.SMARTSGPages.insert(screen.SMARTSGPages.end(), data.SMARTThresholdPage.begin(),
                                       data.SMARTThresholdPage.end());
        }
    }
    return drive.SMARTStatusOK;
}

} // namespace quorvane
