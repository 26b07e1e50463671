// The S.M.A.R.T. window's self-test row and log table as the core computes
// them: the row over real data pages in each state, and a simulated test
// followed through the screen state from its start to its log entry.
#include <gtest/gtest.h>

#include "app/ReadSmart.h"
#include "app/Scan.h"
#include "app/SelfTests.h"
#include "ata/SimulatedBus.h"
#include "common/TestDrives.h"

namespace quorvane {
namespace {

using Kinds = std::vector<SelfTestKind>;
const Kinds ShortExtended{SelfTestKind::Short, SelfTestKind::Extended};
const Kinds AllThree{SelfTestKind::Short, SelfTestKind::Extended, SelfTestKind::Conveyance};

// The row for a real drive's data page with byte 363 (and 367) as given.
TEST(SelfTestRow, FollowsTheDataPageAndTheKindTheProgramStarted) {
    struct Case {
        const char* Drive;
        uint8_t Execution;
        std::optional<uint8_t> Capability; // byte 367 when changed
        std::optional<SelfTestKind> Started;
        Kinds Offered;
        bool CanStart, CanAbort;
        int Done;
        std::string Progress;
    };
    const Case cases[] = {
        // Idle, the last test aborted: the two kinds the page offers.
        {"ST9160821AS--3.CLH", 0x11, {}, {}, ShortExtended, true, false, 0, ""},
        // A short test (1 min) with 90 % to go: never "0 min" while it runs.
        {"ST9160821AS--3.CLH", 0xF9, {}, SelfTestKind::Short, ShortExtended, false, true, 10,
         "10 %, about 1 min left"},
        // Started elsewhere: the page does not say the kind, so no time.
        {"ST9160821AS--3.CLH", 0xF9, {}, {}, ShortExtended, false, true, 10, "10 %"},
        // 80 min extended, 60 % to go.
        {"ST9160821AS--3.CLH", 0xF6, {}, SelfTestKind::Extended, ShortExtended, false, true, 40,
         "40 %, about 48 min left"},
        // The extended time in bytes 375-376 (397 min), 40 % to go: 158.8 min.
        {"WDC_WD20EARS-00MVWB0", 0xF4, {}, SelfTestKind::Extended, AllThree, false, true, 60,
         "60 %, about 2 h 39 min left"},
        {"WDC_WD20EARS-00MVWB0", 0xF1, {}, SelfTestKind::Conveyance, AllThree, false, true, 90,
         "90 %, about 1 min left"},
        // A failed test (read failure, 60 % left) is not running.
        {"Hitachi_HDS721010CLA632", 0x76, {}, SelfTestKind::Short, ShortExtended, true, false, 0,
         ""},
        // No self-test offered (byte 367 bit 4 clear): the row is disabled.
        {"ST9160821AS--3.CLH", 0x00, 0x03, {}, {}, false, false, 0, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.Drive) + " " + std::to_string(c.Execution));
        HDD drive;
        drive.Reading.PagesRead = true;
        const auto page = test::PageOf(c.Drive, "smart-data");
        ASSERT_EQ(page.size(), drive.Reading.DataPage.size());
        std::copy(page.begin(), page.end(), drive.Reading.DataPage.begin());
        drive.Reading.DataPage[363] = c.Execution;
        if (c.Capability)
            drive.Reading.DataPage[367] = *c.Capability;
        drive.Reading.SelfTestStarted = c.Started;
        const SelfTestRowState row = SelfTestRow(drive);
        EXPECT_EQ(row.Kinds, c.Offered);
        EXPECT_EQ(row.CanStart, c.CanStart);
        EXPECT_EQ(row.CanAbort, c.CanAbort);
        EXPECT_EQ(row.PercentDone, c.Done);
        EXPECT_EQ(row.Progress, c.Progress);
        // An NVMe drive without Device Self-test (no Identify here), or one not
        // read yet, offers nothing whatever its page.
        drive.Kind = DriveKind::Nvme;
        EXPECT_EQ(SelfTestRow(drive), SelfTestRowState{});
        drive.Kind = DriveKind::Ata;
        drive.Reading.PagesRead = false;
        EXPECT_EQ(SelfTestRow(drive), SelfTestRowState{});
    }
    EXPECT_EQ(TimeLeftText(0), "");
    EXPECT_EQ(TimeLeftText(60), "about 1 h 0 min left");
}

struct QuietView : ScanView {
    void ClearDriveList() override {}
    void AddDriveListItem(const std::string&) override {}
    void SelectDriveListItem(int) override {}
    void EnableTrayCheckBox(int, bool) override {}
    void SetTrayIcon(int, const std::string&, bool) override {}
    void ShowInfoBalloon(int, const std::string&, const std::string&, int) override {}
    void SetTrayColors(int, uint32_t, uint32_t) override {}
    void InfoPanelChanged(const InfoPanel&) override {}
};

// What a tick does for the selected drive (ReadSMART, then the screen
// without asking for the log), and how many self-test log reads it cost.
int LogReads(const SimulatedBus& bus) {
    int reads = 0;
    for (const auto& c : bus.SentCommands())
        reads += c.TaskFile.Features == SmartReadLog && c.TaskFile.LbaLow == LogSelfTest;
    return reads;
}

// A failing simulated test from Start to its log row: the log is read when
// the window reads the drive and when the test ends, not at every step.
TEST(SelfTestScreen, FollowsASimulatedTestToItsLogRow) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH",
                     "selftest = fail\nselftest-steps = 3\nselftest-lba = 123456");
    dir.AddRealDrive(1, "WDC_WD20EARS-00MVWB0");
    SimulatedBus bus(dir.Path());
    ProgramData data;
    QuietView view;
    Settings settings;
    ASSERT_TRUE(ScanDrives(data, bus, view, settings));
    SelfTestScreen& screen = data.Screen.Smart.SelfTests;
    const auto windowRead = [&](int slot) {
        ReadSMART(data, bus, slot, true);
        ShowSelfTests(data, bus, slot, true);
    };
    const auto tick = [&] {
        ReadSMART(data, bus, 1, true);
        ShowSelfTests(data, bus, 1, false);
    };
    windowRead(1);
    EXPECT_EQ(screen.Slot, 1);
    EXPECT_EQ(screen.Row.Kinds, ShortExtended);
    EXPECT_TRUE(screen.Log.empty());
    EXPECT_EQ(screen.LogNote, "");

    // Conveyance is not offered: the refusal is the note, and nothing starts.
    EXPECT_EQ(StartSelfTestOnScreen(data, bus, 1, SelfTestKind::Conveyance),
              SelfTestStart::NotOffered);
    EXPECT_EQ(screen.Note, "the drive offers no conveyance self-test");
    EXPECT_EQ(StartSelfTestOnScreen(data, bus, 1, SelfTestKind::Extended),
              SelfTestStart::Started);
    EXPECT_EQ(screen.Note, "");
    windowRead(1);
    EXPECT_EQ(screen.Row.Progress, "40 %, about 48 min left"); // 80 min, 6 tenths to go
    EXPECT_TRUE(screen.Row.CanAbort);
    const int readsWhileRunning = LogReads(bus);
    tick();
    EXPECT_EQ(screen.Row.Progress, "70 %, about 24 min left");
    EXPECT_EQ(LogReads(bus), readsWhileRunning);
    tick(); // the last step: the test ends, and the log is read
    EXPECT_FALSE(screen.Row.CanAbort);
    EXPECT_TRUE(screen.Row.CanStart);
    EXPECT_EQ(LogReads(bus), readsWhileRunning + 1);
    ASSERT_EQ(screen.Log.size(), 1u);
    EXPECT_EQ(screen.Log[0], (SelfTestLogRow{"1", "Extended offline", "Completed: read failure",
                                             "60 %", "556", "123456"}));
    tick();
    EXPECT_EQ(LogReads(bus), readsWhileRunning + 1);

    // Another drive: its own row and log, nothing of the first one's.
    ReadSMART(data, bus, 2, true);
    ShowSelfTests(data, bus, 2, false);
    EXPECT_EQ(screen.Slot, 2);
    EXPECT_EQ(screen.Row.Kinds, AllThree);
    EXPECT_TRUE(screen.Log.empty());
    // An unreadable log says so in the table's place.
    std::vector<uint8_t> log(512, 0);
    log[0] = 1;
    log[508] = 1; // an entry named, and the checksum not made to match
    dir.WriteBytes(1, "selftest-log.bin", log);
    SimulatedBus other(dir.Path());
    ProgramData fresh;
    ASSERT_TRUE(ScanDrives(fresh, other, view, settings));
    ReadSMART(fresh, other, 2, true);
    ShowSelfTests(fresh, other, 2, true);
    EXPECT_EQ(fresh.Screen.Smart.SelfTests.LogNote, "log unreadable");
    EXPECT_TRUE(fresh.Screen.Smart.SelfTests.Log.empty());
}

} // namespace
} // namespace quorvane
