// The report mail: subject and body composed from the drive table. The same
// report goes out on the report timer, from the test button and as the
// warning when a drive fails.
#pragma once

#include <string>
#include <string_view>

#include "app/DriveTable.h"

namespace quorvane {

inline constexpr const char* ReportTitle = "Quorvane Report - ";

struct ReportText {
    std::string Subject;
    std::string Body; // lines end in CR LF, the last one included
};

// The S.M.A.R.T. status a drive's own last read left: "O.K." or "ERROR", and
// "..." while the drive has not been read.
std::string DriveStatusCaption(const HDD& drive);

// moment is the local date and time as the report shows it (short date, a
// blank, long time; the time left out at midnight). One block of six lines
// per drive slot 1..DriveCount, in slot order.
ReportText ComposeReport(const ProgramData& data, std::string_view moment);

// The warning of a sector counter that rose: the subject says what rose
// ("Rising sector count - HDD1: 05h Reallocated Sector Count rose from 0 to
// 8 (...)"), the body says it and then gives the report.
inline constexpr const char* RiseWarningTitle = "Rising sector count - ";
ReportText ComposeRiseWarning(const ProgramData& data, std::string_view moment,
                              std::string_view rise);

} // namespace quorvane
