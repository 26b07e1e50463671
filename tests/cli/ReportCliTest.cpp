// quorvane-cli report, run as a user runs it: where the report goes and what
// a failed write says.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include "common/RunCli.h"
#include "common/TestDrives.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;
using test::CliRun;
using test::RunCli;

std::string ReadText(const fs::path& path) {
    const auto bytes = test::ReadBytes(path);
    return {bytes.begin(), bytes.end()};
}

class ReportCli : public ::testing::Test {
protected:
    ReportCli() {
        drives.AddRealDrive(0, "ST9160821AS--3.CLH");
        out = fs::path(drives.Path()) / "out";
        fs::create_directories(out);
    }
    test::DriveDir drives;
    fs::path out;
};

TEST_F(ReportCli, ALinkedReportReplacesTheLinksTargetAndPlantedNamesAreLeftAlone) {
    const fs::path victim = out / "victim";
    std::ofstream(victim) << "precious";
    const fs::path real = out / "real.txt";
    std::ofstream(real) << "old";
    fs::create_symlink("real.txt", out / "r.txt");
    // The name an older writer chose for its temporary file, planted in both folders.
    fs::create_symlink(victim, out / "r.txt.tmp.1");
    fs::create_symlink(victim, out / "real.txt.tmp.1");
    const CliRun run = RunCli(drives.Path(), "report 1 '" + (out / "r.txt").string() + "'");
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_NE(run.Out.find("\nReport written to " + (out / "r.txt").string() + "\n"),
              std::string::npos)
        << run.Out;
    EXPECT_TRUE(fs::is_symlink(out / "r.txt"));
    EXPECT_EQ(ReadText(real).rfind("S.M.A.R.T. Report - ", 0), 0u);
    EXPECT_NE(ReadText(real).find("Model Number: ST9160821AS\r\n"), std::string::npos);
    EXPECT_EQ(ReadText(victim), "precious");
}

TEST_F(ReportCli, AFailedWriteSaysWhyAndExitsNonZero) {
    // As root the program could replace the system's own device, so the test
    // offers one of its own then.
    fs::path full = "/dev/full";
    if (::geteuid() == 0) {
        full = out / "full";
        ASSERT_EQ(::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)), 0);
    }
    CliRun run = RunCli(drives.Path(), "report 1 '" + full.string() + "'");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Out.find("Report written"), std::string::npos) << run.Out;
    EXPECT_EQ(run.Err,
              "quorvane-cli: could not write " + full.string() + ": No space left on device\n");
    EXPECT_TRUE(fs::is_character_file(full));

    const fs::path missing = out / "missing" / "r.txt";
    run = RunCli(drives.Path(), "report 1 '" + missing.string() + "'");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "quorvane-cli: could not write " + missing.string() +
                           ": No such file or directory\n");
}

TEST_F(ReportCli, APageThatCannotBeReadWritesNoReportButAFailingDriveDoes) {
    drives.AddRealDrive(1, "ST9160821AS--3.CLH", "fail = smart-read-thresholds");
    drives.AddRealDrive(2, "ST9160821AS--3.CLH", "status = exceeded");
    const fs::path target = out / "r.txt";
    std::ofstream(target) << "last week's report";
    CliRun run = RunCli(drives.Path(), "report 2 '" + target.string() + "'");
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Err.find("quorvane-cli: slot 2: "), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("threshold"), std::string::npos) << run.Err;
    EXPECT_NE(run.Err.find("; no report written\n"), std::string::npos) << run.Err;
    EXPECT_EQ(run.Out.find("Report written"), std::string::npos) << run.Out;
    EXPECT_EQ(ReadText(target), "last week's report");

    run = RunCli(drives.Path(), "report 3 '" + target.string() + "'");
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Err, "quorvane-cli: slot 3: S.M.A.R.T. status ERROR\n");
    EXPECT_NE(ReadText(target).find("(05h) Reallocated Sector Count"), std::string::npos);
}

} // namespace
} // namespace quorvane
