#include "drive/ReadSmart.h"

#include <algorithm>

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

} // namespace

bool ReadSMART(ProgramData& data, DriveBus& bus, SmartDisplay* display, int slot, bool show) {
    if (!data.IsDriveSlot(slot))
        return false;
    HDD& drive = data.Drives[slot];
    if (!drive.SMARTEnabled)
        return false;
    const unsigned n = drive.DriveNumber;

    auto handle = bus.OpenDrive(n);
    if (!handle)
        return false;
    AtaCommand status = AtaCommand::SmartReturnStatus(n);
    const bool sent = handle->SendAtaCommand(status);
    handle.reset();
    // The drive answers 0x4F/0xC2 when no threshold is exceeded; a command
    // that failed counts as not OK.
    drive.SMARTStatusOK = AtaSucceeded(sent, status) && status.TaskFile.LbaMid == SmartKeyMid &&
                          status.TaskFile.LbaHigh == SmartKeyHigh;
    if (show && display)
        display->ShowSmartStatus(drive.SMARTStatusOK ? SmartStatusOkText : SmartStatusErrorText);

    if (!ReadPage(bus, n, AtaCommand::SmartReadData(n), data.SMARTDataPage))
        return false;
    if (!ReadPage(bus, n, AtaCommand::SmartReadThresholds(n), data.SMARTThresholdPage))
        return false;

    return drive.SMARTStatusOK;
}

} // namespace quorvane
