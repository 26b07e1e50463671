#include "smart/SmartReport.h"

#include "platform/SafeWrite.h"
#include "platform/TerminalText.h"

namespace quorvane {
namespace {

constexpr const char* LineEnd = "\r\n";

// The cells are the core's own ASCII texts, so one byte is one column.
void AppendPadded(std::string& line, const std::string& cell, size_t width) {
    line += cell;
    if (cell.size() < width)
        line.append(width - cell.size(), ' ');
}

} // namespace

std::string SmartReportHeaderLine() {
    std::string line(SmartReportNameWidth, ' ');
    for (const char* letter : {"A", "W", "R", "T", "S"})
        AppendPadded(line, letter, SmartReportCellWidth);
    return line;
}

std::string SmartReportAttributeLine(const SmartGridRow& row) {
    std::string line;
    AppendPadded(line, row[SmartColName], SmartReportNameWidth);
    for (int column = SmartColAttr; column <= SmartColFlags; ++column)
        AppendPadded(line, row[static_cast<size_t>(column)], SmartReportCellWidth);
    return line;
}

std::string ComposeSmartReport(const std::string& dateTime, const SmartReportIdentity& identity,
                               const SmartGridModel& grid) {
    std::string text;
    text += "S.M.A.R.T. Report - " + dateTime + LineEnd;
    text += LineEnd;
    // The drive's own texts: a CR or LF in them must not start a line of
    // their own, nor an ESC reach whoever shows the file.
    text += "Model Number: " + ReplaceControlCharacters(identity.HDDModelL) + LineEnd;
    text += "Firmware Revision: " + ReplaceControlCharacters(identity.HDDFirmwareL) + LineEnd;
    text += "Serial Number: " + ReplaceControlCharacters(identity.HDDSNL) + LineEnd;
    text += LineEnd;
    text += SmartReportHeaderLine() + LineEnd;
    // Row 0 is the grid's header; the data rows follow it.
    for (size_t row = 1; row < grid.Rows.size(); ++row)
        text += SmartReportAttributeLine(grid.Rows[row]) + LineEnd;
    return text;
}

bool WriteSmartReport(const std::string& path, const LocalClock& clock,
                      const SmartReportIdentity& identity, const SmartGridModel& grid,
                      std::string* error) {
    const std::string text = ComposeSmartReport(FormatDateTime(clock, clock.Now()), identity, grid);
    return SafeWriteFile(path, text, NewFileModeDefault, error);
}

} // namespace quorvane
