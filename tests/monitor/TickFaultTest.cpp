// The monitoring tick with one fault at every position: each open refused,
// each command failing and each aborted. A fault is a failure to alert on
// once, only the drive it hit changes, the other drives are still read,
// and a drive without S.M.A.R.T. keeps "---" and is never asked.
#include <gtest/gtest.h>

#include <map>

#include "common/FaultBus.h"
#include "common/RecordingPorts.h"
#include "common/TestDrives.h"
#include "app/Scan.h"
#include "monitor/MonitorSession.h"

namespace quorvane {
namespace {

using test::Fault;
using test::FaultBus;
using test::FaultName;

using test::CountingMail;
using TrayView = test::RecordingTray;

struct TickRun {
    TickResult Result;
    ProgramData Data;
    SmartScreen Screen;
    TrayView Tray;
    CountingMail Mail;
};

class TickFaults : public ::testing::Test {
protected:
    void SetUp() override {
        dir.AddRealDrive(0, "ST9160821AS--3.CLH");   // 38 C
        dir.AddRealDrive(1, "WDC_WD20EARS-00MVWB0"); // 44 C
        // A drive with S.M.A.R.T. switched off (IDENTIFY word 85 bit 0 clear).
        auto identify = test::PageOf("Hitachi_HDS721010CLA632", "identify");
        identify[170] &= 0xFE;
        dir.AddRealDrive(2, "Hitachi_HDS721010CLA632");
        dir.WriteBytes(2, "identify.bin", identify);
    }

    // A fresh scan on fault-free drives, stale temperatures, then one tick.
    std::unique_ptr<TickRun> Tick(DriveBus& bus) {
        auto run = std::make_unique<TickRun>();
        SimulatedBus scanBus(dir.Path());
        HeadlessScanView view;
        EXPECT_TRUE(ScanDrives(run->Data, scanBus, view, Settings{}));
        EXPECT_EQ(run->Data.DriveCount, 3);
        for (int slot = 1; slot <= 3; ++slot) {
            run->Data.Drives[slot].Temperature = 77;
        }
        Settings settings; // every tray icon on
        settings.AlertSound = settings.BalloonHints = settings.SMTPWarnings = true;
        MonitorSession session(run->Data, bus, settings, run->Tray, run->Mail);
        run->Result = session.Tick(1);
        run->Screen = run->Data.Screen.Smart;
        return run;
    }
    test::DriveDir dir;
};

TEST_F(TickFaults, AFaultAlertsOnceAndChangesOnlyTheDriveItHit) {
    SimulatedBus cleanSim(dir.Path());
    FaultBus clean(cleanSim);
    const auto baseline = Tick(clean);
    ASSERT_TRUE(baseline->Result.AllGood);
    EXPECT_EQ(baseline->Tray.Sirens, 0);
    EXPECT_EQ(baseline->Mail.Sent, 0);
    EXPECT_EQ(baseline->Tray.Texts, (std::map<int, std::string>{{1, "38"}, {2, "44"}, {3, "---"}}));
    EXPECT_EQ(baseline->Tray.Borders[3], BorderColorNoSmart);
    // Three opens and commands for each of the two drives with S.M.A.R.T.
    ASSERT_EQ(clean.OpensTried(), 6);
    ASSERT_EQ(clean.Commands().size(), 6u);
    for (const auto& sent : clean.Commands())
        EXPECT_NE(sent.DriveNumber, 2u);

    for (const auto& c : test::EveryFault(6, 6)) {
        SCOPED_TRACE(std::string(FaultName(c.Kind)) + " at " + std::to_string(c.Position));
        SimulatedBus sim(dir.Path());
        FaultBus bus(sim, c.Kind, c.Position);
        const auto run = Tick(bus);
        EXPECT_EQ(bus.OpenHandles(), 0);
        EXPECT_EQ(sim.OpenHandles(), 0);

        const int hitSlot = c.Position / 3 + 1; // slot 1 is drive 0, slot 2 drive 1
        const int step = c.Position % 3;        // RETURN STATUS, READ DATA, READ THRESHOLDS
        EXPECT_FALSE(run->Result.AllGood);
        EXPECT_EQ(run->Tray.Sirens, 1);
        EXPECT_EQ(run->Mail.Sent, 1);
        ASSERT_EQ(run->Tray.Balloons.size(), 1u);
        EXPECT_EQ(run->Tray.Balloons[0].Slot, 3);
        EXPECT_EQ(run->Tray.Balloons[0].Title + ": " + run->Tray.Balloons[0].Text,
                  "Error: S.M.A.R.T. failure detected!");

        for (int slot = 1; slot <= 2; ++slot) {
            const std::string fresh = baseline->Tray.Texts[slot];
            if (slot != hitSlot) {
                EXPECT_EQ(run->Tray.Texts[slot], fresh) << "slot " << slot;
                EXPECT_EQ(run->Tray.Borders[slot], BorderColorHealthy) << "slot " << slot;
                continue;
            }
            // The frame shows the health flag: red when RETURN STATUS did not
            // answer O.K. (never read since the scan counts as not O.K.), green
            // when only a page was lost.
            EXPECT_EQ(run->Tray.Borders[slot], step == 0 ? BorderColorFailing : BorderColorHealthy);
            // Only a failed RETURN STATUS still reads the pages and the temperature.
            const bool pagesRead = step == 0 && c.Kind != Fault::OpenRefused;
            EXPECT_EQ(run->Tray.Texts[slot], pagesRead ? fresh : "77");
        }
        EXPECT_EQ(run->Tray.Texts[3], NoSmartTrayText);
        EXPECT_EQ(run->Tray.Borders[3], BorderColorNoSmart);
        for (const auto& sent : bus.Commands())
            EXPECT_NE(sent.DriveNumber, 2u);

        // The selected drive's labels.
        if (hitSlot == 1 && step == 0)
            EXPECT_EQ(run->Screen.SMARTStatusL,
                      c.Kind == Fault::OpenRefused ? NotMeasuredText : SmartStatusErrorText);
        else
            EXPECT_EQ(run->Screen.SMARTStatusL, SmartStatusOkText);
        if (hitSlot == 1 && !(step == 0 && c.Kind != Fault::OpenRefused))
            EXPECT_EQ(run->Screen.Temperatures.HDDTempL, NotMeasuredText);
        else
            EXPECT_EQ(run->Screen.Temperatures.HDDTempL, "38");
    }
}

} // namespace
} // namespace quorvane
