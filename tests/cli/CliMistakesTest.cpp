// quorvane-cli explains what was wrong with its input: the arguments, and
// the simulated drives it was pointed at.
#include <gtest/gtest.h>

#include "common/RunCli.h"
#include "common/TestDrives.h"

namespace quorvane {
namespace {

using test::CliRun;
using test::RunCli;

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

TEST(CliMistakes, EachArgumentMistakeIsNamedOnOneLine) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    const std::string slot = "is no slot; SLOT is a drive slot, 1..6";
    const std::string only = "come only --drives DIR, --settings FILE, --version and --help";
    struct Case {
        const char* Args;
        std::string Says;
    };
    const Case cases[] = {
        {"smart abc", "quorvane-cli smart: 'abc' " + slot},
        {"smart 7", "quorvane-cli smart: '7' " + slot},
        {"smart", "quorvane-cli smart: SLOT is missing"},
        {"smart 1 2", "quorvane-cli smart: unexpected argument '2'"},
        {"smart 1 --hex", "quorvane-cli smart: unknown option '--hex'"},
        {"smart 1 --drives x", "quorvane-cli smart: --drives DIR goes before the command: "
                               "quorvane-cli --drives DIR smart ..."},
        {"scan --version", "quorvane-cli scan: --version goes before the command: "
                           "quorvane-cli --version"},
        {"report 1", "quorvane-cli report: FILE is missing"},
        {"mbr x", "quorvane-cli mbr: 'x' " + slot},
        {"aam x", "quorvane-cli aam: 'x' " + slot},
        {"aam 1 --set x", "quorvane-cli aam: 'x' is no LEVEL; --set takes 0..254"},
        {"apm 1 --set", "quorvane-cli apm: --set needs a LEVEL, 0..254"},
        {"apm 1 --set 1 --off", "quorvane-cli apm: --set and --off exclude each other"},
        {"watch --interval 0", "quorvane-cli watch: --interval must be 1..900 seconds, not '0'"},
        {"watch --frequent", "quorvane-cli watch: unknown option '--frequent'"},
        {"--json scan",
         "quorvane-cli: --json goes after the command: quorvane-cli scan ... --json; before it " +
             only},
        {"--loud scan", "quorvane-cli: unknown option '--loud'; before the command " + only},
        {"scna", "quorvane-cli: unknown command 'scna'"},
    };
    for (const Case& c : cases) {
        const CliRun run = RunCli(dir.Path(), c.Args);
        EXPECT_EQ(run.Status, 2) << c.Args;
        EXPECT_EQ(run.Out, "") << c.Args;
        EXPECT_EQ(FirstLine(run.Err), c.Says) << c.Args;
        // A mistake within a command is followed by that command's usage.
        const std::string rest = run.Err.substr(run.Err.find('\n') + 1);
        if (c.Says.rfind("quorvane-cli: ", 0) != 0) {
            EXPECT_EQ(rest.rfind("usage: quorvane-cli ", 0), 0u) << c.Args << ": " << run.Err;
        }
    }
}

TEST(CliMistakes, APageFileOfTheWrongSizeIsNamedWithItsSize) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    dir.AddRealDrive(1, "ST9160821AS--3.CLH");
    dir.AddRealDrive(2, "ST9160821AS--3.CLH");
    auto identify = test::PageOf("ST9160821AS--3.CLH", "identify");
    identify.resize(300);
    dir.WriteBytes(1, "identify.bin", identify);
    // A page with something behind it is no page either.
    auto data = test::PageOf("ST9160821AS--3.CLH", "smart-data");
    data.resize(600, 0);
    dir.WriteBytes(2, "smart-data.bin", data);
    const std::string drive1 = (dir.Folder(1) / "identify.bin").string();
    const std::string drive2 = (dir.Folder(2) / "smart-data.bin").string();
    const std::string said =
        "quorvane-cli: " + drive1 +
        ": 300 bytes, a page file holds 512; drive 1 aborts IDENTIFY DEVICE, so no scan finds it\n"
        "quorvane-cli: " +
        drive2 + ": 600 bytes, a page file holds 512; drive 2 aborts SMART READ DATA\n";

    CliRun run = RunCli(dir.Path(), "scan --json");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Err, "quorvane-cli: using simulated drives in " + dir.Path() + "\n" + said);
    // Drive 1 is left out; drive 2 is there, without its data page.
    EXPECT_EQ(test::JsonField(run.Out, "[(x['slot'], x['device']['number']) for x in d['drives']]"),
              "[(1, 0), (2, 2)]\n");

    run = RunCli(dir.Path(), "smart 2");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, said + "quorvane-cli: slot 2: the S.M.A.R.T. data could not be read\n");
}

} // namespace
} // namespace quorvane
