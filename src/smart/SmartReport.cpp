#include "smart/SmartReport.h"

#include "platform/SafeWrite.h"
#include "smart/NvmeHealthGrid.h"
#include "platform/TerminalText.h"

namespace quorvane {
namespace {

constexpr const char* LineEnd = "\r\n";

// The cells are the core's own 8-bit texts, so one byte is one column.
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
    if (IsNvmeGridRow(row)) {
        AppendPadded(line, row[SmartColRaw], SmartReportValueWidth);
        line += row[SmartColStatus];
        line.erase(line.find_last_not_of(' ') + 1);
        return line;
    }
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
    if (!identity.Warnings.empty()) {
        text += "Warnings:";
        for (size_t i = 0; i < identity.Warnings.size(); ++i)
            text += (i ? ", " : " ") + identity.Warnings[i];
        text += LineEnd;
    }
    text += LineEnd;
    const bool nvme = !grid.Rows.empty() && IsNvmeGridRow(grid.Rows[0]);
    if (nvme) {
        std::string header(SmartReportNameWidth, ' ');
        AppendPadded(header, "Value", SmartReportValueWidth);
        text += header + "Status" + LineEnd;
    } else {
        text += SmartReportHeaderLine() + LineEnd;
    }
    // Row 0 is the grid's header; the data rows follow it.
    for (size_t row = 1; row < grid.Rows.size(); ++row)
        text += SmartReportAttributeLine(grid.Rows[row]) + LineEnd;
    if (nvme) {
        text += LineEnd;
        text += "Error Information Log: " +
                (identity.ErrorLog.empty() ? std::string("no entries")
                                           : std::to_string(identity.ErrorLog.size()) + " entries") +
                LineEnd;
        for (const std::string& entry : identity.ErrorLog)
            text += "  " + entry + LineEnd;
    }
    return text;
}

bool WriteSmartReport(const std::string& path, const LocalClock& clock,
                      const SmartReportIdentity& identity, const SmartGridModel& grid,
                      std::string* error) {
    const std::string text = ComposeSmartReport(FormatDateTime(clock, clock.Now()), identity, grid);
    return SafeWriteFile(path, text, NewFileModeDefault, error);
}

} // namespace quorvane
