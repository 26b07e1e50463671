// The report mail's text, byte for byte.
#include <gtest/gtest.h>

#include "ata/Identify.h"
#include "mail/MailMessage.h"
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

// IDENTIFY data whose model words 27-46 hold model (high byte first).
std::vector<uint8_t> IdentifyWithModel(std::string model) {
    std::vector<uint8_t> data(512, 0);
    model.resize(40, ' ');
    for (size_t i = 0; i < 40; i += 2) {
        data[54 + i] = static_cast<uint8_t>(model[i + 1]);
        data[54 + i + 1] = static_cast<uint8_t>(model[i]);
    }
    return data;
}

// A drive whose model holds a NUL, an escape and a line break: the mail body
// used to end at the NUL, losing that drive's block and all after it.
TEST(MailReport, ControlCharactersInAModelDoNotCutTheMail) {
    ProgramData data = TwoDrives();
    using namespace std::string_literals;
    data.Drives[1].ModelNumber =
        DecodeIdentify(IdentifyWithModel("WDC WD10\0EZEX\x1b[2J\r\n-08"s)).ModelNumber;
    ASSERT_EQ(data.Drives[1].ModelNumber, "WDC WD10\0EZEX\x1b[2J\r\n-08"s);
    data.Drives[1].SMARTStatusRead = true;
    data.Drives[1].SMARTStatusOK = false;

    MailMessage message;
    message.SetBody(ComposeReport(data, "x").Body);
    EXPECT_EQ(message.Body,
              (std::vector<std::string>{"Quorvane Report - x", "", "WDC WD10?EZEX?[2J?\?-08:", "",
                                        "S.M.A.R.T.: ERROR",
                                        "Temperature: 35 \xC2\xB0"
                                        "C",
                                        "", "", "WDC WD10EZEX-08WN4A0:", "", "S.M.A.R.T.: ...",
                                        "Temperature: 41 \xC2\xB0"
                                        "C",
                                        "", ""}));
}

} // namespace
} // namespace quorvane
