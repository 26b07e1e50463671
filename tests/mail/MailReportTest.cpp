// The report mail's text, byte for byte.
#include <gtest/gtest.h>

#include "mail/MailReport.h"

namespace quorvane {
namespace {

ProgramData TwoDrives() {
    ProgramData data;
    data.DriveCount = 2;
    data.Drives[1].ModelNumber = "ST3500418AS";
    data.Drives[1].Temperature = 35;
    data.Drives[2].ModelNumber = "WDC WD10EZEX-08WN4A0";
    data.Drives[2].Temperature = 41;
    return data;
}

TEST(MailReport, TwoDrivesNotReadYet) {
    const ReportText report = ComposeReport(TwoDrives(), "12/7/2026 4:35:10 AM");
    EXPECT_EQ(report.Subject, "Quorvane Report - 12/7/2026 4:35:10 AM");
    EXPECT_EQ(report.Body, "Quorvane Report - 12/7/2026 4:35:10 AM\r\n\r\n"
                           "ST3500418AS:\r\n\r\n"
                           "S.M.A.R.T.: ...\r\n"
                           "Temperature: 35 \xC2\xB0"
                           "C\r\n\r\n\r\n"
                           "WDC WD10EZEX-08WN4A0:\r\n\r\n"
                           "S.M.A.R.T.: ...\r\n"
                           "Temperature: 41 \xC2\xB0"
                           "C\r\n\r\n\r\n");
}

TEST(MailReport, EachBlockCarriesItsOwnDrivesStatus) {
    ProgramData data = TwoDrives();
    data.Drives[1].SMARTStatusRead = true;
    data.Drives[1].SMARTStatusOK = true;
    data.Drives[2].SMARTStatusRead = true;
    data.Drives[2].SMARTStatusOK = false;
    const std::string body = ComposeReport(data, "x").Body;
    EXPECT_NE(body.find("ST3500418AS:\r\n\r\nS.M.A.R.T.: O.K.\r\n"), std::string::npos) << body;
    EXPECT_NE(body.find("WDC WD10EZEX-08WN4A0:\r\n\r\nS.M.A.R.T.: ERROR\r\n"), std::string::npos)
        << body;
}

TEST(MailReport, NoDrivesAndMidnight) {
    ProgramData data;
    // Slots beyond the drive count are not reported, whatever they hold.
    data.Drives[1].ModelNumber = "left over";
    const ReportText report = ComposeReport(data, "12/8/2026");
    EXPECT_EQ(report.Subject, "Quorvane Report - 12/8/2026");
    EXPECT_EQ(report.Body, "Quorvane Report - 12/8/2026\r\n\r\n");
}

} // namespace
} // namespace quorvane
