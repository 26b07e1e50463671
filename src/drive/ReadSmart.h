// The S.M.A.R.T. read of one drive slot.
#pragma once

#include <string>

#include "drive/DriveBus.h"
#include "drive/DriveTable.h"

namespace quorvane {

// What a S.M.A.R.T. read shows, when it is asked to show.
class SmartDisplay {
public:
    virtual ~SmartDisplay() = default;
    // The caption of SMARTStatusL on the main window and on the S.M.A.R.T. window.
    virtual void ShowSmartStatus(const std::string& caption) = 0;
};

inline constexpr const char* SmartStatusOkText = "O.K.";
inline constexpr const char* SmartStatusErrorText = "ERROR";

// Reads the health status, the data page and the threshold page of a slot's
// drive, opening the drive once per command. True only when all three
// commands went through and no threshold is exceeded. display may be null
// when nothing is shown.
bool ReadSMART(ProgramData& data, DriveBus& bus, SmartDisplay* display, int slot, bool show);

} // namespace quorvane
