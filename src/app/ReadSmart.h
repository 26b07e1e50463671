// The S.M.A.R.T. read of one drive slot.
#pragma once

#include "ata/DriveBus.h"
#include "app/DriveTable.h"
#include "smart/SmartGrid.h"
#include "smart/SmartHealth.h"

namespace quorvane {

// Reads the health status, the data page and the threshold page of a slot's
// drive, opening the drive once per command, then takes the temperatures
// from the new pages. With show, the read is the one the windows show: the
// status caption, the temperature captions and the grid (raw column in
// format) go to data.Screen.Smart; the status caption only when the status
// command was sent, the rest only when both pages came. True only when all
// three commands went through and no threshold is exceeded.
bool ReadSMART(ProgramData& data, DriveBus& bus, int slot, bool show,
               RawValueFormat format = RawValueFormat::Hex);

} // namespace quorvane
