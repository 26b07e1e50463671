// The report file: its exact layout, the title's date and time, and how it is
// written.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "smart/SmartReport.h"
#include "smart/SmartTestData.h"

namespace quorvane {
namespace {

// A clock standing at a fixed moment, with recognisable formats.
class FixedClock : public LocalClock {
public:
    explicit FixedClock(LocalDateTime moment) : moment_(moment) {}
    LocalDateTime Now() const override { return moment_; }
    std::string ShortDate(const LocalDateTime& m) const override {
        return std::to_string(m.Day) + "." + std::to_string(m.Month) + "." + std::to_string(m.Year);
    }
    std::string LongTime(const LocalDateTime& m) const override {
        return std::to_string(m.Hour) + ":" + std::to_string(m.Minute) + ":" +
               std::to_string(m.Second);
    }
    std::string LocaleName() const override { return "C"; }

private:
    LocalDateTime moment_;
};

const SmartGridRow ReallocatedHex{
    "(05h) Reallocated Sector Count", "100", "100", "000000000000h", "36", "SC--OF", "O.K."};

TEST(SmartReportLayout, HeaderAndAttributeLinesByteForByte) {
    const std::string header = SmartReportHeaderLine();
    EXPECT_EQ(header.size(), 75u);
    EXPECT_EQ(header, std::string(40, ' ') + "A      W      R      T      S      ");

    // Name to 40, then 7-wide cells; the 13-character HEX raw pushes the rest.
    EXPECT_EQ(SmartReportAttributeLine(ReallocatedHex),
              "(05h) Reallocated Sector Count          "
              "100    100    000000000000h36     SC--OF ");
    SmartGridRow dec = ReallocatedHex;
    dec[SmartColRaw] = "0";
    EXPECT_EQ(SmartReportAttributeLine(dec), "(05h) Reallocated Sector Count          "
                                             "100    100    0      36     SC--OF ");
    // Cells of exactly their width get no padding; longer ones are whole.
    const SmartGridRow wide{std::string(41, 'N'), "1234567", "12345678", "1", "2", "------", "!!!"};
    EXPECT_EQ(SmartReportAttributeLine(wide),
              std::string(41, 'N') + "1234567" + "12345678" + "1      2      ------ ");
}

TEST(SmartReportLayout, WholeReport) {
    SmartGridModel grid;
    grid.Rows.push_back(ReallocatedHex);
    grid.Rows.push_back({"(C2h) Temperature", "38", "56", "001100000026h", "0", "-CE-O-", "O.K."});
    const std::string text =
        ComposeSmartReport("14.3.2025 9:05:07", {"ST9160821AS", "3.CLH", "5MA4T3K1"}, grid);
    EXPECT_EQ(text, "S.M.A.R.T. Report - 14.3.2025 9:05:07\r\n"
                    "\r\n"
                    "Model Number: ST9160821AS\r\n"
                    "Firmware Revision: 3.CLH\r\n"
                    "Serial Number: 5MA4T3K1\r\n"
                    "\r\n" +
                        std::string(40, ' ') +
                        "A      W      R      T      S      \r\n"
                        "(05h) Reallocated Sector Count          100    100    "
                        "000000000000h36     SC--OF \r\n"
                        "(C2h) Temperature                       38     56     "
                        "001100000026h0      -CE-O- \r\n");
}

TEST(SmartReportLayout, HeaderOnlyGridAndUnsetCaptions) {
    const std::string text = ComposeSmartReport("1.1.2000", {"...", "...", "..."}, {});
    EXPECT_EQ(text, "S.M.A.R.T. Report - 1.1.2000\r\n\r\nModel Number: ...\r\n"
                    "Firmware Revision: ...\r\nSerial Number: ...\r\n\r\n" +
                        SmartReportHeaderLine() + "\r\n");
}

class SmartReportFile : public ::testing::Test {
protected:
    SmartReportFile() {
        dir = std::filesystem::temp_directory_path() /
              ("quorvane-report-" + std::to_string(::getpid()));
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
        grid.Rows.push_back(ReallocatedHex);
    }
    ~SmartReportFile() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
    SmartGridModel grid;
    const FixedClock clock{{2025, 3, 14, 0, 0, 0, 0}};
    const SmartReportIdentity identity{"WDC WD20EARS-00MVWB0", "51.0AB51", "WD-WCAZA1234567"};
};

TEST_F(SmartReportFile, WritesAndReplacesTheFile) {
    const auto path = dir / "smart.log";
    std::ofstream(path) << std::string(5000, 'x'); // a longer old file is replaced whole
    ASSERT_TRUE(WriteSmartReport(path.string(), clock, identity, grid));
    EXPECT_EQ(test::ReadText(path), ComposeSmartReport("14.3.2025", identity, grid));
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1);
}

TEST_F(SmartReportFile, FailureLeavesNoFileOrTheOldOne) {
    EXPECT_FALSE(WriteSmartReport((dir / "missing" / "smart.log").string(), clock, identity, grid));
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));

    // A write that runs out of room half-way (file size limit) must not
    // leave a shortened report in place of the old one.
    const auto path = dir / "smart.log";
    std::ofstream(path) << "the previous report";
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100, 100};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(WriteSmartReport(path.string(), clock, identity, grid) ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(test::ReadText(path), "the previous report");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), {}), 1); // no temp left
}

} // namespace
} // namespace quorvane
