#include "app/ReadSmart.h"

#include <algorithm>
#include <utility>

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
    const unsigned n = drive.DriveNumber;
    drive.Reading.LastFailure.clear();
    auto failed = [&drive](const char* what) {
        ++drive.Reading.ReadFailures;
        drive.Reading.LastFailure = what;
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
        return failed("the S.M.A.R.T. data could not be read");
    if (!ReadPage(bus, n, AtaCommand::SmartReadThresholds(n), data.SMARTThresholdPage))
        return failed("the S.M.A.R.T. thresholds could not be read");
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
