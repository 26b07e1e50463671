// The S.M.A.R.T. report file: the drive's identity and the grid as shown, in
// fixed columns, each line ended by CR LF.
#pragma once

#include <string>
#include <vector>

#include "platform/LocalClock.h"
#include "smart/SmartGrid.h"

namespace quorvane {

// The identity lines repeat the Information group's captions.
struct SmartReportIdentity {
    std::string HDDModelL;
    std::string HDDFirmwareL;
    std::string HDDSNL;
    // An NVMe drive's report also names what its health log warns of, and
    // lists its Error Information log; both stay empty for an ATA drive.
    std::vector<std::string> Warnings{};
    std::vector<std::string> ErrorLog{};
};

inline constexpr size_t SmartReportValueWidth = 30;

inline constexpr size_t SmartReportNameWidth = 40;
inline constexpr size_t SmartReportCellWidth = 7;

// The column header: 40 spaces, then A W R T S each padded to 7 (75 in all).
std::string SmartReportHeaderLine();

// One attribute line without its line end: the name cell padded to 40, then
// the Attr, Worst, Raw, Threshold and Flags cells each padded to 7. A longer
// cell is written whole and pushes the rest along. Status is not written.
// A row of an NVMe grid is its name padded to 40, its value padded to 30
// and its verdict.
std::string SmartReportAttributeLine(const SmartGridRow& row);

// The whole report text; dateTime is the title line's date and time.
std::string ComposeSmartReport(const std::string& dateTime, const SmartReportIdentity& identity,
                               const SmartGridModel& grid);

// Writes the report for the moment the clock gives now, by SafeWriteFile: a
// failure leaves any previous file as it was and never a shortened one. False
// when it was not written, with the reason in error when given.
bool WriteSmartReport(const std::string& path, const LocalClock& clock,
                      const SmartReportIdentity& identity, const SmartGridModel& grid,
                      std::string* error = nullptr);

} // namespace quorvane
