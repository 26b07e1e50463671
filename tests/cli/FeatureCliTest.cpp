// quorvane-cli aam / apm, run as a user runs it, on simulated drives from
// real dumps (their level words are listed in tests/app/FeatureLevelsTest.cpp).
#include <gtest/gtest.h>

#include "common/RunCli.h"
#include "common/TestDrives.h"

namespace quorvane {
namespace {

using test::CliRun;
using test::RunCli;

// What JsonField prints of the document: the slot, the feature's object
// and the set.
std::string Json(int slot, const char* feature, bool supported, bool enabled, int current,
                 int second, const std::string& set = "None") {
    const bool aam = std::string(feature) == "AAM";
    auto level = [&](int value) { return supported ? std::to_string(value) : std::string("None"); };
    return std::to_string(slot) + " {'supported': " + (supported ? "True" : "False") +
           ", 'enabled': " + (enabled ? "True" : "False") + ", 'level': " + level(current) +
           (aam ? ", 'recommended_level': " : ", 'second_level': ") + level(second) + "} " + set +
           "\n";
}

// The set object as Python prints it.
std::string D(bool enable, int level, const char* result = "done") {
    return std::string("{'enable': ") + (enable ? "True" : "False") +
           ", 'level': " + std::to_string(level) + ", 'result': '" + result + "'}";
}

std::string Fields(const std::string& json) {
    return test::JsonField(json, "d['slot'], d.get('ata_aam', d.get('ata_apm')), d['set']");
}

class FeatureCli : public ::testing::Test {
protected:
    void SetUp() override {
        dir.AddRealDrive(0, "SAMSUNG_HS122JC");
        dir.AddRealDrive(1, "SAMSUNG_HD501LJ--CR100-12");
        dir.AddRealDrive(2, "Maxtor_96147H8--BAC51KJ0--2");
        dir.AddRealDrive(4, "Hitachi_HDS721010CLA632");
    }
    CliRun Run(const std::string& args) { return RunCli(dir.Path(), args); }
    test::DriveDir dir;
};

TEST_F(FeatureCli, ReadsTheLevelsOfEachDrive) {
    struct Case {
        const char* Args;
        std::string Out;
    };
    const Case cases[] = {
        {"aam 1 --json", Json(1, "AAM", true, true, 128, 254)},
        {"apm 1 --json", Json(1, "APM", true, true, 128, 0)},
        {"aam 2 --json", Json(2, "AAM", true, false, 0, 254)},
        {"apm 2 --json", Json(2, "APM", false, false, 0, 0)},
        {"aam 3 --json", Json(3, "AAM", true, true, 192, 192)},
        {"apm 3 --json", Json(3, "APM", true, false, 0, 0)},
        {"apm 4 --json", Json(4, "APM", false, false, 0, 0)},
    };
    for (const Case& c : cases) {
        const CliRun run = Run(c.Args);
        EXPECT_EQ(run.Status, 0) << c.Args;
        EXPECT_EQ(Fields(run.Out), c.Out) << c.Args;
        EXPECT_EQ(run.Err, "") << c.Args;
    }

    CliRun run = Run("aam 1");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out, "Running on simulated drives in " + dir.Path() +
                           " (not real hardware)\n"
                           "Slot 1: SAMSUNG HS122JC\n"
                           "AAM supported: yes\n"
                           "AAM enabled: yes\n"
                           "Current level: 128\n"
                           "Recommended level: 254\n");
    run = Run("apm 3");
    EXPECT_EQ(run.Out.substr(run.Out.find('\n') + 1), "Slot 3: Maxtor 96147H8\n"
                                                      "APM supported: yes\n"
                                                      "APM enabled: no\n"
                                                      "Current level: 0\n"
                                                      "Second level: 0\n");
}

TEST_F(FeatureCli, SetAndOffAreReadBack) {
    CliRun run = Run("aam 1 --set 200 --json");
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(Fields(run.Out), Json(1, "AAM", true, true, 200, 254, D(true, 200)));
    // Disabling sends level 0; this drive keeps its last level byte.
    run = Run("aam 1 --off --json");
    EXPECT_EQ(Fields(run.Out), Json(1, "AAM", true, false, 128, 254, D(false, 0)));
    // A disabled feature is enabled by --set, at any level the bar offers.
    run = Run("apm 3 --set 0 --json");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(Fields(run.Out), Json(3, "APM", true, true, 0, 0, D(true, 0)));
    run = Run("apm 1 --set 254 --json");
    EXPECT_EQ(Fields(run.Out), Json(1, "APM", true, true, 254, 0, D(true, 254)));
}

TEST_F(FeatureCli, RefusedOrFailedSetExitsOneAndShowsTheLevelsUnchanged) {
    dir.WriteFile(0, "drive.ini", "[drive]\nabort = set-features\n");
    dir.WriteFile(1, "drive.ini", "[drive]\nfail = set-features\n");
    CliRun run = Run("aam 1 --set 200 --json");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(Fields(run.Out), Json(1, "AAM", true, true, 128, 254, D(true, 200, "refused")));
    EXPECT_EQ(run.Err, "quorvane-cli: the drive refused SET FEATURES (enable AAM, level 200)\n");
    run = Run("aam 2 --off");
    EXPECT_EQ(run.Status, 1);
    EXPECT_NE(run.Out.find("AAM enabled: no\n"), std::string::npos) << run.Out;
    EXPECT_EQ(run.Err,
              "quorvane-cli: SET FEATURES (disable AAM, level 0) did not reach the drive\n");
    // A drive without the feature refuses it as well.
    run = Run("aam 4 --set 128 --json");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(Fields(run.Out), Json(4, "AAM", false, false, 0, 0, D(true, 128, "refused")));
    EXPECT_EQ(run.Err, "quorvane-cli: the drive refused SET FEATURES (enable AAM, level 128)\n");
}

TEST_F(FeatureCli, BadArgumentsAreUsageErrors) {
    for (const char* args :
         {"aam", "aam 0", "aam 7", "aam x", "aam 1 2", "aam 1 --set", "aam 1 --set 255",
          "aam 1 --set -1", "aam 1 --set 0x80", "aam 1 --set 1000", "apm 1 --set 10 --off",
          "apm 1 --set 1 --set 2", "apm 1 --on"}) {
        const CliRun run = Run(args);
        EXPECT_EQ(run.Status, 2) << args;
        EXPECT_EQ(run.Out, "") << args;
        EXPECT_NE(run.Err.find("usage: quorvane-cli [--drives DIR] a"), std::string::npos) << args;
    }
    const CliRun run = Run("apm 5 --set 128");
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Err, "quorvane-cli: slot 5 holds no drive (drives found: 4)\n");
}

} // namespace
} // namespace quorvane
