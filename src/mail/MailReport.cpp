#include "mail/MailReport.h"

#include "app/NvmeLogs.h"
#include "platform/TerminalText.h"
#include "smart/SmartHealth.h"

namespace quorvane {

std::string DriveStatusCaption(const HDD& drive) {
    if (!drive.SMARTStatusRead)
        return NotMeasuredText;
    return SmartStatusText(drive.SMARTStatusOK);
}

ReportText ComposeReport(const ProgramData& data, std::string_view moment) {
    constexpr std::string_view crlf = "\r\n";
    ReportText report;
    report.Subject = std::string(ReportTitle).append(moment);
    report.Body = report.Subject;
    report.Body.append(crlf).append(crlf);
    for (int slot = 1; slot <= data.DriveCount && DriveTable::IsSlot(slot); ++slot) {
        const HDD& drive = data.Drives[slot];
        // Each block carries its own drive's status: a warning sent because
        // one drive fails must not call that drive "O.K." because another
        // one is selected on the screen.
        // The model comes from the drive: a NUL in it would end the mail's
        // body there, a CR or LF would start lines of its own. Replaced as
        // the report file replaces them.
        report.Body.append(ReplaceControlCharacters(drive.ModelNumber))
            .append(":")
            .append(crlf)
            .append(crlf);
        report.Body.append("S.M.A.R.T.: ").append(DriveStatusCaption(drive)).append(crlf);
        // What an NVMe drive's health log warns of, named.
        if (const auto concerns = DriveConcerns(drive); !concerns.empty()) {
            report.Body.append("Warnings:");
            for (size_t i = 0; i < concerns.size(); ++i)
                report.Body.append(i ? ", " : " ").append(concerns[i]);
            report.Body.append(crlf);
        }
        report.Body.append("Temperature: ")
            .append(DriveTemperatureText(drive))
            .append(" \u00B0C")
            .append(crlf)
            .append(crlf)
            .append(crlf);
    }
    return report;
}

ReportText ComposeRiseWarning(const ProgramData& data, std::string_view moment,
                              std::string_view rise) {
    ReportText report = ComposeReport(data, moment);
    // The rise's text names the drive's counter, never its model: one line.
    const std::string line = ReplaceControlCharacters(std::string(rise));
    report.Subject = std::string(RiseWarningTitle).append(line);
    report.Body = line + "\r\n\r\n" + report.Body;
    return report;
}

} // namespace quorvane
