// quorvane-cli smart and report, run as a user runs them.
#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <sys/wait.h>

#include "common/RunCli.h"
#include "smart/SmartTestData.h"

namespace quorvane {
namespace {

using test::CliRun;
using test::JsonField;
using test::RunCli;

TEST(SmartCli, JsonHasTheStatusTemperaturesAndRows) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    dir.AddRealDrive(4, "WDC_WD20EARS-00MVWB0", "status = exceeded");
    CliRun run = RunCli(dir.Path(), "smart 1 --json");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(JsonField(run.Out, "d['slot'], d['smart_status'], d['temperature']"),
              "1 {'passed': True, 'string': 'O.K.'} {'current': 38, 'airflow': 38, "
              "'airflow_lowest': 37, 'airflow_highest': 40, 'op_limit_max': None, "
              "'critical_limit_max': None}\n");

    run = RunCli(dir.Path(), "smart 2 --json");
    EXPECT_EQ(run.Status, 1);
    // No attribute 190: the airflow readings were not measured.
    EXPECT_EQ(JsonField(run.Out, "d['smart_status'], d['temperature']['current'], "
                                 "d['temperature']['airflow_lowest'], "
                                 "[a for a in d['ata_smart_attributes']['table'] if a['id'] == 5][0]"),
              "{'passed': False, 'string': 'ERROR'} 44 None {'id': 5, 'name': "
              "'Reallocated Sector Count', 'value': 118, 'worst': 118, 'thresh': 140, "
              "'when_failed': 'now', 'flags': {'value': 51, 'string': 'SC--OF', 'prefailure': True, "
              "'updated_online': True, 'performance': False, 'error_rate': False, 'event_count': "
              "True, 'auto_keep': True}, 'raw': {'value': 655, 'string': '00000000028Fh'}, "
              "'verdict': '!!!'}\n");
}

TEST(SmartCli, TextShowsTheGridInHexOrDecimal) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "FUJITSU_MHY2120BH--0084000D");
    CliRun run = RunCli(dir.Path(), "smart 1");
    EXPECT_EQ(run.Status, 0);
    EXPECT_NE(run.Out.find("S.M.A.R.T.: O.K.\n"), std::string::npos);
    EXPECT_NE(run.Out.find("Temperature, \u00b0C: 28  Low: ...  High: ...  Airflow: ...\n"),
              std::string::npos);
    EXPECT_TRUE(std::regex_search(run.Out, std::regex("\\(05h\\) Reallocated Sector Count +100 +"
                                                      "100 +07D000000000h +24 +SC--OF +O\\.K\\.")));
    EXPECT_EQ(run.Out.find("(F0h)"), std::string::npos); // behind an empty slot

    run = RunCli(dir.Path(), "smart 1 --dec");
    EXPECT_TRUE(std::regex_search(run.Out, std::regex("\\(05h\\) Reallocated Sector Count +100 +"
                                                      "100 +8589934592000 +24 +SC--OF")));
}

TEST(SmartCli, UsageErrorsAndEmptySlots) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    for (const char* args :
         {"smart", "smart 0", "smart 7", "smart one", "smart 1 2", "smart 1 --hex", "smart 2",
          "smart 6 --json", "report 1", "report 2 out.log", "report x out.log"})
        EXPECT_EQ(RunCli(dir.Path(), args).Status, 2) << args;
}

TEST(SmartCli, ReportFileRepeatsTheScreen) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9100821AS--3.CME");
    const auto path = std::filesystem::path(dir.Path()) / "smart report.log";
    ASSERT_EQ(RunCli(dir.Path(), "report 1 '" + path.string() + "' --dec").Status, 0);
    std::istringstream text(test::ReadText(path));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line, '\n');) {
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r');
        lines.push_back(line.substr(0, line.size() - 1));
    }
    const auto expected = test::ReadExpectedGrid("ST9100821AS--3.CME");
    ASSERT_EQ(lines.size(), 7 + expected.Rows.size());
    EXPECT_TRUE(
        std::regex_match(lines[0], std::regex("S\\.M\\.A\\.R\\.T\\. Report - "
                                              "\\d\\d/\\d\\d/\\d\\d( \\d\\d:\\d\\d:\\d\\d)?")))
        << lines[0];
    EXPECT_EQ(lines[1], "");
    EXPECT_EQ(lines[2], "Model Number: ST9100821AS");
    EXPECT_EQ(lines[3], "Firmware Revision: 3.CME");
    EXPECT_EQ(lines[4].rfind("Serial Number: ", 0), 0u);
    EXPECT_GT(lines[4].size(), std::string("Serial Number: ").size());
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], std::string(40, ' ') + "A      W      R      T      S      ");
    auto pad = [](std::string cell, size_t width) {
        return cell.size() < width ? cell + std::string(width - cell.size(), ' ') : cell;
    };
    for (size_t r = 0; r < expected.Rows.size(); ++r) {
        const auto& row = expected.Rows[r];
        EXPECT_EQ(lines[7 + r], pad(row[0], 40) + pad(row[1], 7) + pad(row[2], 7) +
                                    pad(expected.DecimalRaw[r], 7) + pad(row[4], 7) +
                                    pad(row[5], 7));
    }
    // The 15-digit decimal raw value of attribute 196 is written whole.
    EXPECT_NE(test::ReadText(path).find("98     98     996045865636330      SCEPO- \r\n"),
              std::string::npos);

    EXPECT_EQ(RunCli(dir.Path(), "report 1 '" + dir.Path() + "/no/such/dir/r.log'").Status, 1);
}

} // namespace
} // namespace quorvane
