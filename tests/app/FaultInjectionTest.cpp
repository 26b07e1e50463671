// The scan and the S.M.A.R.T. read with one fault at every position: each
// open refused, each command failing and each command aborted by the drive.
// The fault costs exactly what it hits, and every handle is closed again.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>

#include "common/FaultBus.h"
#include "common/TestDrives.h"
#include "app/ReadSmart.h"
#include "app/Scan.h"

namespace quorvane {
namespace {

using test::Fault;
using test::FaultBus;
using test::FaultName;

struct ScanRun {
    bool Found = false;
    ProgramData Data;
    InfoPanel Panel;
};

ScanRun Scan(DriveBus& bus) {
    ScanRun run;
    HeadlessScanView view;
    run.Found = ScanDrives(run.Data, bus, view, Settings{});
    run.Panel = run.Data.Screen.Info;
    return run;
}

class ScanFaults : public ::testing::Test {
protected:
    void SetUp() override {
        // Drive 0 hides 100 MB behind its HPA, drive 3 nothing.
        dir.AddRealDrive(0, "SAMSUNG_HD501LJ--CR100-12", "native-max = 976977967");
        dir.AddRealDrive(3, "ST9160821AS--3.CLH");
    }
    test::DriveDir dir;
};

TEST_F(ScanFaults, EachFaultCostsOnlyTheDriveOrTheMeasurementItHits) {
    SimulatedBus cleanSim(dir.Path());
    FaultBus clean(cleanSim);
    const ScanRun baseline = Scan(clean);
    ASSERT_TRUE(baseline.Found);
    ASSERT_EQ(baseline.Data.DriveCount, 2);
    ASSERT_EQ(baseline.Data.Drives[1].HPASizeMB, 100);
    ASSERT_EQ(baseline.Data.Drives[2].HPASizeMB, 0);
    // Per drive: SMART ENABLE, IDENTIFY, READ NATIVE MAX, READ DATA and
    // whichever of off-line and autosave it offers.
    ASSERT_GE(clean.Commands().size(), 8u);

    // After the drives are found, the first drive's AAM and APM levels are
    // read: a fault there loses no drive.
    int found = 0;
    while (found < int(clean.Commands().size()) &&
           !(clean.Commands()[size_t(found)].DriveNumber == 0 && found > 0 &&
             clean.Commands()[size_t(found) - 1].DriveNumber == 3))
        ++found;

    for (const auto& c : test::EveryFault(clean.OpensTried(), int(clean.Commands().size()))) {
        SCOPED_TRACE(std::string(FaultName(c.Kind)) + " at " + std::to_string(c.Position));
        SimulatedBus sim(dir.Path());
        FaultBus bus(sim, c.Kind, c.Position);
        ScanRun run = Scan(bus);
        EXPECT_EQ(bus.OpenHandles(), 0);
        EXPECT_EQ(sim.OpenHandles(), 0);

        // Opens 0..15 look for the drives; a later one reads the first
        // drive's AAM and APM levels and loses no drive.
        int lost = c.Position <= 15 ? bus.RefusedDrive() : -1;
        int unmeasured = -1;
        if (const auto* hit = bus.Faulted(); hit && c.Position < found) {
            if (hit->Name == "smart-enable" || hit->Name == "identify")
                lost = static_cast<int>(hit->DriveNumber);
            else if (hit->Name == "read-native-max")
                unmeasured = static_cast<int>(hit->DriveNumber);
            else
                EXPECT_TRUE(hit->Name == "smart-read-data" || hit->Name == "auto-offline" ||
                            hit->Name == "autosave")
                    << hit->Name;
        }
        std::vector<const HDD*> expected;
        for (int slot = 1; slot <= 2; ++slot)
            if (baseline.Data.Drives[slot].DriveNumber != lost)
                expected.push_back(&baseline.Data.Drives[slot]);

        EXPECT_EQ(run.Found, !expected.empty());
        ASSERT_EQ(run.Data.DriveCount, static_cast<int>(expected.size()));
        for (int slot = 1; slot <= run.Data.DriveCount; ++slot) {
            const HDD& got = run.Data.Drives[slot];
            const HDD& want = *expected[static_cast<size_t>(slot - 1)];
            EXPECT_EQ(got.DriveNumber, want.DriveNumber);
            EXPECT_EQ(got.ModelNumber, want.ModelNumber);
            EXPECT_EQ(got.SerialNumber, want.SerialNumber);
            EXPECT_EQ(got.SizeGB, want.SizeGB);
            EXPECT_EQ(got.HPASizeMB, got.DriveNumber == unmeasured ? -1 : want.HPASizeMB);
            HeadlessScanView view;
            ShowDriveInfo(run.Data, sim, slot, view);
            const InfoPanel& panel = run.Data.Screen.Info;
            EXPECT_EQ(panel.HDDModelL, want.ModelNumber);
            EXPECT_EQ(panel.HDDHPAUL, got.DriveNumber == unmeasured
                                          ? std::string(NotMeasuredText)
                                          : std::to_string(want.HPASizeMB));
        }
        if (expected.empty())
            EXPECT_EQ(run.Panel.HDDModelL, NotMeasuredText);
        else
            EXPECT_EQ(run.Panel.HDDModelL, expected.front()->ModelNumber);
    }
}

// What ReadSMART left behind.
struct SmartRun {
    bool Ok = false;
    ProgramData Data;
    SmartScreen Screen;
};

class ReadSmartFaults : public ::testing::Test {
protected:
    void SetUp() override { dir.AddRealDrive(2, "ST9160821AS--3.CLH"); }

    // A fresh scan, pages and temperature marked, then one read of slot 1.
    SmartRun Read(DriveBus& bus) {
        SmartRun run;
        SimulatedBus scanBus(dir.Path());
        HeadlessScanView view;
        EXPECT_TRUE(ScanDrives(run.Data, scanBus, view, Settings{}));
        run.Data.SMARTDataPage.fill(0xEE);
        run.Data.SMARTThresholdPage.fill(0xDD);
        run.Data.Drives[1].Temperature = 99;
        run.Ok = ReadSMART(run.Data, bus, 1, true);
        run.Screen = run.Data.Screen.Smart;
        return run;
    }
    test::DriveDir dir;
};

TEST_F(ReadSmartFaults, EachFaultStopsTheReadWhereItHits) {
    SimulatedBus cleanSim(dir.Path());
    FaultBus clean(cleanSim);
    const SmartRun baseline = Read(clean);
    ASSERT_TRUE(baseline.Ok);
    ASSERT_EQ(baseline.Screen.SMARTStatusL, "O.K.");
    ASSERT_EQ(clean.OpensTried(), 3);
    ASSERT_EQ(clean.Commands().size(), 3u);
    const auto dataPage = test::PageOf("ST9160821AS--3.CLH", "smart-data");
    const auto thresholdPage = test::PageOf("ST9160821AS--3.CLH", "smart-thresholds");
    ASSERT_TRUE(std::ranges::equal(baseline.Data.SMARTDataPage, dataPage));
    const int temperature = baseline.Data.Drives[1].Temperature;
    ASSERT_NE(temperature, 99);

    SmartPage oldData, oldThresholds;
    oldData.fill(0xEE);
    oldThresholds.fill(0xDD);
    const SmartScreen untouched;

    for (const auto& c : test::EveryFault(3, 3)) {
        SCOPED_TRACE(std::string(FaultName(c.Kind)) + " at " + std::to_string(c.Position));
        SimulatedBus sim(dir.Path());
        FaultBus bus(sim, c.Kind, c.Position);
        const SmartRun run = Read(bus);
        EXPECT_EQ(bus.OpenHandles(), 0);
        EXPECT_EQ(sim.OpenHandles(), 0);
        EXPECT_FALSE(run.Ok);
        const int step = c.Position; // 0 RETURN STATUS, 1 READ DATA, 2 READ THRESHOLDS

        if (c.Kind == Fault::OpenRefused && step == 0) {
            // Nothing could be asked: nothing changes.
            EXPECT_EQ(run.Screen.SMARTStatusL, NotMeasuredText);
            EXPECT_EQ(run.Data.SMARTDataPage, oldData);
            EXPECT_EQ(run.Data.Drives[1].Temperature, 99);
            EXPECT_EQ(run.Screen.Temperatures, untouched.Temperatures);
            EXPECT_EQ(run.Screen.SMARTSG, untouched.SMARTSG);
            EXPECT_EQ(bus.Commands().size(), 0u);
        } else if (step == 0) {
            // A failed RETURN STATUS is a failure to show; the pages are still read.
            EXPECT_EQ(run.Screen.SMARTStatusL, "ERROR");
            EXPECT_FALSE(run.Data.Drives[1].SMARTStatusOK);
            EXPECT_TRUE(std::ranges::equal(run.Data.SMARTDataPage, dataPage));
            EXPECT_TRUE(std::ranges::equal(run.Data.SMARTThresholdPage, thresholdPage));
            EXPECT_EQ(run.Data.Drives[1].Temperature, temperature);
            EXPECT_EQ(run.Screen.Temperatures, baseline.Screen.Temperatures);
            EXPECT_EQ(run.Screen.SMARTSG, baseline.Screen.SMARTSG);
        } else {
            // The status was read; the read stops at the page that failed.
            EXPECT_EQ(run.Screen.SMARTStatusL, "O.K.");
            if (step == 1)
                EXPECT_EQ(run.Data.SMARTDataPage, oldData);
            else
                EXPECT_TRUE(std::ranges::equal(run.Data.SMARTDataPage, dataPage));
            EXPECT_EQ(run.Data.SMARTThresholdPage, oldThresholds);
            EXPECT_EQ(run.Data.Drives[1].Temperature, 99);
            EXPECT_EQ(run.Screen.Temperatures, untouched.Temperatures);
            EXPECT_EQ(run.Screen.SMARTSG, untouched.SMARTSG);
            // Nothing is sent after the failed step.
            EXPECT_EQ(bus.Commands().size(),
                      static_cast<size_t>(step + (c.Kind == Fault::OpenRefused ? 0 : 1)));
        }
    }
}

} // namespace
} // namespace quorvane
