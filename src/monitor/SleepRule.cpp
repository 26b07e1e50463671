#include "monitor/SleepRule.h"

#include "app/ReadSmart.h"
#include "app/SelfTests.h"

namespace quorvane {

PowerMode AskPowerMode(ProgramData& data, DriveBus& bus, int slot) {
    if (!data.IsDriveSlot(slot))
        return PowerMode::Unknown;
    HDD& drive = data.Drives[slot];
    // An NVMe drive does not spin down: it is read whatever the rule says.
    if (drive.IsNvme())
        return drive.Reading.Power = PowerMode::Active;
    drive.Reading.Power = CheckPowerMode(bus, drive.DriveNumber);
    return drive.Reading.Power;
}

bool LeaveUnread(const ProgramData& data, int slot, bool letDrivesSleep) {
    return letDrivesSleep && data.IsDriveSlot(slot) && IsSpunDown(data.Drives[slot].Reading.Power);
}

void ReadDrivesOnce(ProgramData& data, DriveBus& bus, bool letDrivesSleep) {
    const int count = data.DriveCount < MaxDrives ? data.DriveCount : MaxDrives;
    for (int slot = 1; slot <= count; ++slot) {
        if (!data.Drives[slot].SMARTEnabled)
            continue;
        AskPowerMode(data, bus, slot);
        if (!LeaveUnread(data, slot, letDrivesSleep)) {
            ReadSMART(data, bus, slot, false);
            FollowDriveLogs(bus, data.Drives[slot], true);
        }
    }
}

} // namespace quorvane
