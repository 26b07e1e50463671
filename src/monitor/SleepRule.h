// "Let Drives Sleep": a drive in standby or asleep is not read, so monitoring
// never spins it up.
#pragma once

#include "ata/DriveBus.h"
#include "app/DriveTable.h"

namespace quorvane {

// Asks the slot's drive for its power mode (CHECK POWER MODE never spins a
// drive up) and keeps the answer in its Reading. A drive that does not say
// is Unknown.
PowerMode AskPowerMode(ProgramData& data, DriveBus& bus, int slot);

// Whether a read of the slot is skipped: only with the rule on, and only for a
// drive that answered standby or sleep; a drive that does not know the
// command is read as usual.
bool LeaveUnread(const ProgramData& data, int slot, bool letDrivesSleep);

// Reads every drive with S.M.A.R.T. once, without showing anything or raising
// alerts: each is asked its power mode first and, with letDrivesSleep, left
// unread in standby or asleep. For a one-off look such as the metrics text.
void ReadDrivesOnce(ProgramData& data, DriveBus& bus, bool letDrivesSleep);

} // namespace quorvane
