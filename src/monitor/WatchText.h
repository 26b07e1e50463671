// What the headless monitor prints after each tick: one line per drive.
#pragma once

#include <string>
#include <vector>

#include "app/DriveTable.h"

namespace quorvane {

inline constexpr const char* WatchStatusOk = "O.K.";
inline constexpr const char* WatchStatusError = "ERROR";
inline constexpr const char* SleepingHintText = "sleeping";

// The attributes of a drive's last complete read whose value is below their
// non-zero threshold, by the names the program shows, in the order of its name
// table; each id once. Nothing before the first complete read.
std::vector<std::string> FailingAttributeNames(const DriveReading& reading);

// A tray tooltip's text for a drive left unread while it sleeps: the hint with
// SleepingHintText added.
std::string SleepingHint(const std::string& hint);
// The hint with one line per thing the drive's health log warns of.
std::string ConcernsHint(const std::string& hint, const std::vector<std::string>& concerns);

// A tray icon's tooltip: the hint (SleepingHint while left unread), then the
// note of what rose, on lines of its own.
std::string TrayTooltip(const std::string& hint, bool sleeping, const std::string& note);

// One drive's line: slot, model, temperature, then "O.K." or "ERROR" and the
// failing attributes by name, e.g.
//   "2  WDC WD20EARS-00MVWB0  44 C  ERROR  Reallocated Sectors Count"
// A drive left unread shows "zz" and "sleeping" in place of its temperature
// and status; a drive without S.M.A.R.T. "---". The model is printed as every
// drive text is, so no control character reaches the terminal.
std::string WatchLine(int slot, const HDD& drive, bool failing, bool sleeping);

} // namespace quorvane
