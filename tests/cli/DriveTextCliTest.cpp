// A drive whose model, serial and firmware hold control bytes: nothing of
// them reaches the terminal or the report file as a command or a line break.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "common/RunCli.h"
#include "common/TestDrives.h"

namespace quorvane {
namespace {

using test::CliRun;
using test::RunCli;

void PutAtaString(std::vector<uint8_t>& page, int firstWord, int words, std::string text) {
    text.resize(static_cast<size_t>(words) * 2, ' ');
    for (int i = 0; i < words; ++i) {
        const auto at = static_cast<size_t>(2 * (firstWord + i));
        page[at] = static_cast<uint8_t>(text[static_cast<size_t>(2 * i + 1)]);
        page[at + 1] = static_cast<uint8_t>(text[static_cast<size_t>(2 * i)]);
    }
}

size_t CountOf(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

class HostileDriveTexts : public ::testing::Test {
protected:
    void SetUp() override {
        auto identify = test::PageOf("ST9160821AS--3.CLH", "identify");
        PutAtaString(identify, 27, 20, "Hitachi\r\nSerial Number: 00000000"); // model
        PutAtaString(identify, 10, 10, "5MA\x1B]0;owned\x07Q\x9B");           // serial
        PutAtaString(identify, 23, 4, "3.\nCLH\x7F");                         // firmware
        dir.AddRealDrive(0, "ST9160821AS--3.CLH");
        dir.WriteBytes(0, "identify.bin", identify);
    }
    test::DriveDir dir;
};

TEST_F(HostileDriveTexts, SmartPrintsTheModelAsOneHarmlessLine) {
    const CliRun run = RunCli(dir.Path(), "smart 1");
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("\nSlot 1: Hitachi??Serial Number: 00000000\n"), std::string::npos)
        << run.Out;
    EXPECT_EQ(run.Out.find('\r'), std::string::npos);
    EXPECT_EQ(run.Out.find("\nSerial Number"), std::string::npos);
}

TEST_F(HostileDriveTexts, TheReportFileHoldsNoForgedLine) {
    const auto path = std::filesystem::path(dir.Path()) / "report.txt";
    const CliRun run = RunCli(dir.Path(), "report 1 '" + path.string() + "'");
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto bytes = test::ReadBytes(path);
    const std::string text(bytes.begin(), bytes.end());
    EXPECT_NE(text.find("\r\nModel Number: Hitachi??Serial Number: 00000000\r\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(CountOf(text, "\nSerial Number: "), 1u) << text; // only the real one
    EXPECT_NE(text.find("\r\nSerial Number: 5MA?]0;owned?Q\x9B\r\n"), std::string::npos) << text;
    EXPECT_NE(text.find("\r\nFirmware Revision: 3.?CLH?\r\n"), std::string::npos) << text;
    EXPECT_EQ(text.find('\x1B'), std::string::npos);
    EXPECT_EQ(text.find('\x07'), std::string::npos);
    // Every CR is a line end's, every LF follows one.
    EXPECT_EQ(CountOf(text, "\r"), CountOf(text, "\r\n"));
    EXPECT_EQ(CountOf(text, "\n"), CountOf(text, "\r\n"));
}

} // namespace
} // namespace quorvane
