// The monitoring tick on simulated drives built from real page dumps. The
// temperatures expected are the ones skdump reads from the same pages.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "common/TestDrives.h"
#include "drive/Scan.h"
#include "drive/SimulatedBus.h"
#include "monitor/MonitorTick.h"

namespace quorvane {
namespace {

constexpr const char* Seagate = "ST9160821AS--3.CLH";          // 38 C
constexpr const char* WesternDigital = "WDC_WD20EARS-00MVWB0"; // 44 C
constexpr const char* Hitachi = "Hitachi_HDS721010CLA632";     // 30 C
constexpr const char* Fujitsu = "FUJITSU_MHY2120BH--0084000D"; // 28 C

struct Balloon {
    int Slot;
    std::string Title, Text;
    int Seconds;
};

class RecordingView final : public MonitorView {
public:
    std::map<int, std::string> Texts;
    std::map<int, uint32_t> Borders;
    std::vector<std::string> Activity;
    int Sirens = 0;
    std::vector<Balloon> Balloons;

    void SetTrayIconText(int slot, const std::string& text) override { Texts[slot] = text; }
    void SetTrayIconBorderColor(int slot, uint32_t color) override { Borders[slot] = color; }
    void SetActivityCaption(const std::string& caption) override { Activity.push_back(caption); }
    void PlaySiren() override { ++Sirens; }
    void ShowErrorBalloon(int slot, const std::string& title, const std::string& text,
                          int seconds) override {
        Balloons.push_back({slot, title, text, seconds});
    }
};

class RecordingMail final : public WarningMail {
public:
    int Sent = 0;
    void SendReport() override { ++Sent; }
};

// Counts what a read shows, per call.
class CountingDisplay final : public SmartDisplay {
public:
    int Statuses = 0;
    int Grids = 0;
    void ShowSmartStatus(const std::string&) override { ++Statuses; }
    void ShowTemperatures(const TemperatureCaptions&) override {}
    RawValueFormat RawValuesFormat() const override { return RawValueFormat::Hex; }
    void ShowSmartGrid(const SmartGridModel&) override { ++Grids; }
};

class MonitorTickTest : public ::testing::Test {
protected:
    // Scans the drive directory with every icon switched on.
    void Scan() {
        bus = std::make_unique<SimulatedBus>(dir.Path());
        for (int slot = 1; slot <= MaxDrives; ++slot)
            data.Drives[slot].TrayIcon = true;
        InfoPanel panel;
        ScanView none;
        ASSERT_TRUE(ScanDrives(data, *bus, panel, none, ScanOptions{false, 15}));
    }
    // How often SMART RETURN STATUS went to a drive number.
    int StatusReads(unsigned driveNumber) const {
        int n = 0;
        for (const auto& sent : bus->SentCommands())
            if (sent.DriveNumber == driveNumber && sent.TaskFile.Features == 0xDA)
                ++n;
        return n;
    }
    TickResult Tick(int selected = 1) {
        return MonitoringTick(data, *bus, &display, selected, options, state, view, mail);
    }

    test::DriveDir dir;
    std::unique_ptr<SimulatedBus> bus;
    ProgramData data;
    AlertOptions options{true, true, true};
    MonitorState state;
    RecordingView view;
    RecordingMail mail;
    CountingDisplay display;
};

TEST_F(MonitorTickTest, HealthyDrivesShowTheirTemperaturesInGreenFrames) {
    dir.AddRealDrive(0, Seagate);
    dir.AddRealDrive(3, Hitachi);
    Scan();
    const TickResult result = Tick();
    EXPECT_TRUE(result.AllGood);
    EXPECT_EQ(result.DrivesRead, 2);
    EXPECT_EQ(view.Texts, (std::map<int, std::string>{{1, "38"}, {2, "30"}}));
    EXPECT_EQ(view.Borders, (std::map<int, uint32_t>{{1, 0x0000FF00}, {2, 0x0000FF00}}));
    EXPECT_EQ(view.Sirens, 0);
    EXPECT_TRUE(view.Balloons.empty());
    EXPECT_EQ(mail.Sent, 0);
}

// The mended fault: a failing drive no longer stops the drives after it from
// being read, so their icons never keep stale values and a red frame.
TEST_F(MonitorTickTest, EveryDriveIsReadAfterAFailingOneAndAlertsComeOncePerTick) {
    dir.AddRealDrive(0, WesternDigital, "status = exceeded");
    dir.AddRealDrive(1, Seagate);
    dir.AddRealDrive(2, Fujitsu, "status = exceeded");
    dir.AddRealDrive(4, Hitachi);
    Scan();
    // The slots after the failing drive carry old values a skipped read would keep.
    for (int slot = 2; slot <= 4; ++slot) {
        data.Drives[slot].Temperature = 99;
        data.Drives[slot].SMARTStatusOK = false;
    }
    const int before1 = StatusReads(1), before4 = StatusReads(4);

    const TickResult result = Tick();
    EXPECT_FALSE(result.AllGood);
    EXPECT_EQ(result.DrivesRead, 4);
    EXPECT_EQ(StatusReads(1), before1 + 1);
    EXPECT_EQ(StatusReads(4), before4 + 1);
    EXPECT_EQ(view.Texts, (std::map<int, std::string>{{1, "44"}, {2, "38"}, {3, "28"}, {4, "30"}}));
    EXPECT_EQ(view.Borders,
              (std::map<int, uint32_t>{
                  {1, 0x000000FF}, {2, 0x0000FF00}, {3, 0x000000FF}, {4, 0x0000FF00}}));

    // Two failing drives, one set of alerts; the balloon goes to the last slot.
    EXPECT_EQ(view.Sirens, 1);
    ASSERT_EQ(view.Balloons.size(), 1u);
    EXPECT_EQ(view.Balloons[0].Slot, 4);
    EXPECT_EQ(view.Balloons[0].Title, "Error");
    EXPECT_EQ(view.Balloons[0].Text, "S.M.A.R.T. failure detected!");
    EXPECT_EQ(view.Balloons[0].Seconds, 10);
    EXPECT_EQ(mail.Sent, 1);

    // No memory of alerts given: the next tick raises them again.
    Tick();
    EXPECT_EQ(view.Sirens, 2);
    EXPECT_EQ(view.Balloons.size(), 2u);
    EXPECT_EQ(mail.Sent, 2);
}

TEST_F(MonitorTickTest, EachAlertFollowsItsOwnSwitch) {
    dir.AddRealDrive(0, WesternDigital, "status = exceeded");
    Scan();
    options = {false, false, false};
    Tick();
    EXPECT_EQ(view.Sirens, 0);
    EXPECT_TRUE(view.Balloons.empty());
    EXPECT_EQ(mail.Sent, 0);

    options = {false, true, false};
    Tick();
    EXPECT_EQ(view.Sirens, 0);
    EXPECT_EQ(view.Balloons.size(), 1u);
    EXPECT_EQ(mail.Sent, 0);

    options = {true, false, true};
    Tick();
    EXPECT_EQ(view.Sirens, 1);
    EXPECT_EQ(view.Balloons.size(), 1u);
    EXPECT_EQ(mail.Sent, 1);
}

// A page that cannot be read is a failure like an exceeded threshold, while
// the frame still shows the status the drive answered.
TEST_F(MonitorTickTest, AFailedReadRaisesTheAlerts) {
    dir.AddRealDrive(0, Seagate, "abort = smart-read-thresholds");
    Scan();
    const TickResult result = Tick();
    EXPECT_FALSE(result.AllGood);
    EXPECT_EQ(view.Sirens, 1);
    EXPECT_EQ(view.Borders[1], 0x0000FF00u);
}

TEST_F(MonitorTickTest, ADriveWithoutSmartShowsDashesInABlueFrameAndIsNotRead) {
    dir.AddRealDrive(0, Seagate);
    auto identify = test::PageOf(Hitachi, "identify");
    identify[170] &= 0xFE; // word 85 bit 0: S.M.A.R.T. switched off
    dir.AddRealDrive(1, Hitachi);
    dir.WriteBytes(1, "identify.bin", identify);
    Scan();
    ASSERT_FALSE(data.Drives[2].SMARTEnabled);
    const int before = StatusReads(1);

    for (int i = 0; i < 2; ++i) {
        const TickResult result = Tick();
        EXPECT_TRUE(result.AllGood);
        EXPECT_EQ(result.DrivesRead, 1);
        EXPECT_EQ(view.Texts[2], "---");
        EXPECT_EQ(view.Borders[2], 0x00FF0000u);
    }
    EXPECT_EQ(StatusReads(1), before);
    EXPECT_EQ(view.Sirens, 0);
}

TEST_F(MonitorTickTest, AHiddenIconIsLeftAloneButItsDriveIsStillRead) {
    dir.AddRealDrive(0, Seagate);
    dir.AddRealDrive(1, WesternDigital, "status = exceeded");
    Scan();
    data.Drives[2].TrayIcon = false;
    const TickResult result = Tick();
    EXPECT_EQ(result.DrivesRead, 2);
    EXPECT_FALSE(result.AllGood);
    EXPECT_EQ(view.Texts.count(2), 0u);
    EXPECT_EQ(view.Borders.count(2), 0u);
}

TEST_F(MonitorTickTest, OnlyTheSelectedDriveUpdatesTheDisplay) {
    dir.AddRealDrive(0, Seagate);
    dir.AddRealDrive(1, Hitachi);
    Scan();
    Tick(2);
    EXPECT_EQ(display.Statuses, 1);
    EXPECT_EQ(display.Grids, 1);
    // Nothing selected: every drive is read, nothing is shown.
    const TickResult result = Tick(0);
    EXPECT_EQ(result.DrivesRead, 2);
    EXPECT_EQ(display.Statuses, 1);
    EXPECT_EQ(display.Grids, 1);
}

TEST_F(MonitorTickTest, TheActivityIndicatorTurnsOncePerTick) {
    dir.AddRealDrive(0, Seagate);
    Scan();
    for (int i = 0; i < 9; ++i)
        Tick();
    EXPECT_EQ(view.Activity,
              (std::vector<std::string>{"|", "/", "-", "\\", "|", "/", "-", "\\", "|"}));
    EXPECT_EQ(state.ActivityCounter, 1);
}

TEST_F(MonitorTickTest, NoDrivesMeansNothingIsReadOrRaised) {
    bus = std::make_unique<SimulatedBus>(dir.Path());
    const TickResult result = Tick();
    EXPECT_TRUE(result.AllGood);
    EXPECT_EQ(result.DrivesRead, 0);
    EXPECT_TRUE(view.Texts.empty());
    EXPECT_EQ(view.Activity.size(), 1u);
}

} // namespace
} // namespace quorvane
