// The monitoring session on simulated drives built from real page dumps: its
// ticks, its running state and the settings it reads. The temperatures
// expected are the ones skdump reads from the same pages.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <vector>

#include "common/RecordingPorts.h"
#include "common/TestDrives.h"
#include "ata/PowerMode.h"
#include "app/Scan.h"
#include "ata/SimulatedBus.h"
#include "monitor/MonitorSession.h"
#include "app/SelfTests.h"

namespace quorvane {
namespace {

constexpr const char* Seagate = "ST9160821AS--3.CLH";          // 38 C
constexpr const char* WesternDigital = "WDC_WD20EARS-00MVWB0"; // 44 C
constexpr const char* Hitachi = "Hitachi_HDS721010CLA632";     // 30 C
constexpr const char* Fujitsu = "FUJITSU_MHY2120BH--0084000D"; // 28 C

using RecordingView = test::RecordingTray;
using RecordingMail = test::CountingMail;

class MonitorSessionTest : public ::testing::Test {
protected:
    MonitorSessionTest() {
        settings.AlertSound = true;
        settings.BalloonHints = true;
        settings.SMTPWarnings = true;
    }
    // Scans the drive directory with every icon switched on.
    void Scan() {
        bus = std::make_unique<SimulatedBus>(dir.Path());
        HeadlessScanView none;
        ASSERT_TRUE(ScanDrives(data, *bus, none, settings));
    }
    // How often SMART RETURN STATUS went to a drive number.
    int StatusReads(unsigned driveNumber) const {
        int n = 0;
        for (const auto& sent : bus->SentCommands())
            if (sent.DriveNumber == driveNumber && sent.TaskFile.Features == 0xDA)
                ++n;
        return n;
    }
    MonitorSession& Session() {
        if (!session)
            session = std::make_unique<MonitorSession>(data, *bus, settings, view, mail,
                                                       [this] { return clockNow; });
        return *session;
    }
    TickResult Tick(int selected = 1) { return Session().Tick(selected); }
    void SetAlerts(bool sound, bool balloons, bool mails) {
        settings.AlertSound = sound;
        settings.BalloonHints = balloons;
        settings.SMTPWarnings = mails;
    }

    test::DriveDir dir;
    std::unique_ptr<SimulatedBus> bus;
    ProgramData data;
    Settings settings;
    RecordingView view;
    RecordingMail mail;
    std::unique_ptr<MonitorSession> session;
    std::chrono::milliseconds clockNow{1000}; // what the session's steady clock reads
};

TEST_F(MonitorSessionTest, HealthyDrivesShowTheirTemperaturesInGreenFrames) {
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
TEST_F(MonitorSessionTest, EveryDriveIsReadAfterAFailingOneAndAlertsComeOncePerTick) {
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

    // The siren and the balloon come again with every failing tick; the
    // lasting failure's warning mail waits for its repeat time.
    Tick();
    EXPECT_EQ(view.Sirens, 2);
    EXPECT_EQ(view.Balloons.size(), 2u);
    EXPECT_EQ(mail.Sent, 1);
}

// The drives of a directory read afresh after Reload(), so that a test can
// change a drive's status between ticks.
class ReloadingBus final : public DriveBus {
public:
    explicit ReloadingBus(std::string directory) : directory_(std::move(directory)) { Reload(); }
    void Reload() { inner_ = std::make_unique<SimulatedBus>(directory_); }
    std::unique_ptr<DriveHandle> OpenDrive(unsigned n) override { return inner_->OpenDrive(n); }
    bool PermissionDenied() const override { return false; }
    bool IsSimulated() const override { return true; }
    std::string Describe() const override { return inner_->Describe(); }

private:
    std::string directory_;
    std::unique_ptr<SimulatedBus> inner_;
};

// The mended fault: a lasting failure no longer mails once per cycle.
TEST_F(MonitorSessionTest, AWarningGoesOutForANewFailureAndThenOncePerRepeatTime) {
    using std::chrono::minutes;
    dir.AddRealDrive(0, Seagate);
    dir.AddRealDrive(1, WesternDigital, "status = exceeded");
    dir.AddRealDrive(2, Hitachi);
    Scan();
    ReloadingBus drives(dir.Path());
    MonitorSession watched(data, drives, settings, view, mail, [this] { return clockNow; });
    const auto setStatus = [&](unsigned n, const char* status) {
        dir.WriteFile(n, "drive.ini", std::string("[drive]\nstatus = ") + status + "\n");
        drives.Reload();
    };
    settings.SMTPWarningRepeat = 60;

    // The first tick's failure is new; the ticks of the next hour send nothing.
    EXPECT_TRUE(watched.Tick(1).WarningSent);
    for (int i = 0; i < 3; ++i) {
        clockNow += minutes(19);
        const TickResult result = watched.Tick(1);
        EXPECT_EQ(result.FailingSlots, 0b010);
        EXPECT_FALSE(result.WarningSent);
        EXPECT_EQ(view.Sirens, 2 + i);
    }
    EXPECT_EQ(mail.Sent, 1);
    clockNow += minutes(3); // 60 minutes after the first mail
    EXPECT_TRUE(watched.Tick(1).WarningSent);
    EXPECT_EQ(mail.Sent, 2);

    // Another drive starting to fail is new at once.
    clockNow += minutes(1);
    setStatus(2, "exceeded");
    TickResult result = watched.Tick(1);
    EXPECT_EQ(result.FailingSlots, 0b110);
    EXPECT_TRUE(result.WarningSent);
    EXPECT_EQ(mail.Sent, 3);

    // A failure that ended and came back is new again.
    setStatus(1, "ok");
    setStatus(2, "ok");
    clockNow += minutes(1);
    result = watched.Tick(1);
    EXPECT_TRUE(result.AllGood);
    EXPECT_FALSE(result.WarningSent);
    setStatus(2, "exceeded");
    clockNow += minutes(1);
    EXPECT_TRUE(watched.Tick(1).WarningSent);
    EXPECT_EQ(mail.Sent, 4);

    // Repeat 0: every failing tick mails, as long as warnings are on.
    settings.SMTPWarningRepeat = 0;
    EXPECT_TRUE(watched.Tick(1).WarningSent);
    EXPECT_TRUE(watched.Tick(1).WarningSent);
    EXPECT_EQ(mail.Sent, 6);
    settings.SMTPWarnings = false;
    EXPECT_FALSE(watched.Tick(1).WarningSent);
    EXPECT_EQ(mail.Sent, 6);
}

TEST_F(MonitorSessionTest, EachAlertFollowsItsOwnSwitch) {
    dir.AddRealDrive(0, WesternDigital, "status = exceeded");
    Scan();
    SetAlerts(false, false, false);
    Tick();
    EXPECT_EQ(view.Sirens, 0);
    EXPECT_TRUE(view.Balloons.empty());
    EXPECT_EQ(mail.Sent, 0);

    SetAlerts(false, true, false);
    Tick();
    EXPECT_EQ(view.Sirens, 0);
    EXPECT_EQ(view.Balloons.size(), 1u);
    EXPECT_EQ(mail.Sent, 0);

    SetAlerts(true, false, true);
    Tick();
    EXPECT_EQ(view.Sirens, 1);
    EXPECT_EQ(view.Balloons.size(), 1u);
    EXPECT_EQ(mail.Sent, 1);
}

// A page that cannot be read is a failure like an exceeded threshold, while
// the frame still shows the status the drive answered.
TEST_F(MonitorSessionTest, AFailedReadRaisesTheAlerts) {
    dir.AddRealDrive(0, Seagate, "abort = smart-read-thresholds");
    Scan();
    const TickResult result = Tick();
    EXPECT_FALSE(result.AllGood);
    EXPECT_EQ(view.Sirens, 1);
    EXPECT_EQ(view.Borders[1], 0x0000FF00u);
}

TEST_F(MonitorSessionTest, ADriveWithoutSmartShowsDashesInABlueFrameAndIsNotRead) {
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

TEST_F(MonitorSessionTest, AHiddenIconIsLeftAloneButItsDriveIsStillRead) {
    dir.AddRealDrive(0, Seagate);
    dir.AddRealDrive(1, WesternDigital, "status = exceeded");
    Scan();
    settings.TraySlot(2).TrayIcon = false;
    const TickResult result = Tick();
    EXPECT_EQ(result.DrivesRead, 2);
    EXPECT_FALSE(result.AllGood);
    EXPECT_EQ(view.Texts.count(2), 0u);
    EXPECT_EQ(view.Borders.count(2), 0u);
}

// The selected drive's read is the one the windows show, with the raw form
// the settings hold at that tick.
TEST_F(MonitorSessionTest, OnlyTheSelectedDriveUpdatesTheScreen) {
    dir.AddRealDrive(0, Seagate, "status = exceeded");
    dir.AddRealDrive(1, Hitachi);
    Scan();
    // Nothing selected: every drive is read, nothing is shown.
    const TickResult result = Tick(0);
    EXPECT_EQ(result.DrivesRead, 2);
    EXPECT_EQ(data.Screen.Smart, SmartScreen{});

    Tick(2);
    const SmartScreen& shown = data.Screen.Smart;
    EXPECT_EQ(shown.SMARTStatusL, "O.K."); // not the failing slot 1
    EXPECT_EQ(shown.Temperatures.HDDTempL, "30");
    ASSERT_GT(shown.SMARTSG.RowCount(), 1);
    EXPECT_EQ(shown.RAWValuesRG, RawValueFormat::Hex);
    const std::string hexRaw = shown.SMARTSG.Rows[1][SmartColRaw];
    EXPECT_EQ(hexRaw.back(), 'h');

    settings.RAWValues = 1;
    Tick(2);
    EXPECT_EQ(shown.RAWValuesRG, RawValueFormat::Dec);
    EXPECT_EQ(shown.SMARTSG.Rows[1][SmartColRaw],
              std::to_string(std::stoull(hexRaw.substr(0, hexRaw.size() - 1), nullptr, 16)));
}

TEST_F(MonitorSessionTest, TheActivityIndicatorTurnsOncePerTick) {
    dir.AddRealDrive(0, Seagate);
    Scan();
    EXPECT_EQ(data.Screen.SMARTRunL, "-"); // before the first tick
    std::vector<std::string> captions;
    for (int i = 0; i < 9; ++i) {
        Tick();
        captions.push_back(data.Screen.SMARTRunL);
    }
    EXPECT_EQ(captions, (std::vector<std::string>{"|", "/", "-", "\\", "|", "/", "-", "\\", "|"}));
    EXPECT_EQ(Session().State().ActivityCounter, 1);
}

TEST_F(MonitorSessionTest, StartStopAndTheMonitoringSwitch) {
    bus = std::make_unique<SimulatedBus>(dir.Path());
    EXPECT_FALSE(Session().IsRunning());
    // Before any drive is known the switch changes nothing.
    Session().ApplyMonitoringSwitch();
    EXPECT_FALSE(Session().IsRunning());

    dir.AddRealDrive(0, Seagate);
    Scan();
    Session().Start();
    EXPECT_TRUE(Session().IsRunning());
    settings.SMARTMonitoring = false;
    Session().ApplyMonitoringSwitch();
    EXPECT_FALSE(Session().IsRunning());
    settings.SMARTMonitoring = true;
    Session().ApplyMonitoringSwitch();
    EXPECT_TRUE(Session().IsRunning());
    Session().Stop();
    EXPECT_FALSE(Session().IsRunning());
}

// A tick leaves the session as it found it: a running one runs on, a stopped
// one stays stopped. While the tick runs the session counts as stopped.
class ObservingView final : public MonitorView {
public:
    const MonitorSession* Session = nullptr;
    std::vector<bool> RunningDuringTick;
    void SetTrayIconText(int, const std::string&) override {
        RunningDuringTick.push_back(Session->IsRunning());
    }
    void SetTrayIconBorderColor(int, uint32_t) override {}
    void PlaySiren() override {}
    void ShowErrorBalloon(int, const std::string&, const std::string&, int) override {}
};

TEST_F(MonitorSessionTest, ATickRestoresTheRunningState) {
    dir.AddRealDrive(0, Seagate);
    Scan();
    ObservingView observer;
    MonitorSession observed(data, *bus, settings, observer, mail);
    observer.Session = &observed;
    observed.Start();
    observed.Tick(1);
    EXPECT_TRUE(observed.IsRunning());
    observed.Stop();
    observed.Tick(1);
    EXPECT_FALSE(observed.IsRunning());
    EXPECT_EQ(observer.RunningDuringTick, (std::vector<bool>{false, false}));
}

TEST_F(MonitorSessionTest, TheIntervalFollowsTheSettingsWithinItsRange) {
    bus = std::make_unique<SimulatedBus>(dir.Path());
    EXPECT_EQ(Session().IntervalMs(), 15000);
    settings.RefreshInterval = 30;
    EXPECT_EQ(Session().IntervalMs(), 30000);
    settings.RefreshInterval = 900;
    EXPECT_EQ(Session().IntervalMs(), 900000);
    settings.RefreshInterval = 5;
    EXPECT_EQ(Session().IntervalMs(), 15000);
    settings.RefreshInterval = 100000;
    EXPECT_EQ(Session().IntervalMs(), 900000);
}

TEST_F(MonitorSessionTest, NoDrivesMeansNothingIsReadOrRaised) {
    bus = std::make_unique<SimulatedBus>(dir.Path());
    const TickResult result = Tick();
    EXPECT_TRUE(result.AllGood);
    EXPECT_EQ(result.DrivesRead, 0);
    EXPECT_TRUE(view.Texts.empty());
    EXPECT_EQ(data.Screen.SMARTRunL, "|");
}

} // namespace
} // namespace quorvane

namespace quorvane {
namespace {

// The commands drive number driveNumber got from log position `from` on.
std::vector<uint8_t> CommandsSince(const SimulatedBus& bus, size_t from, unsigned driveNumber) {
    std::vector<uint8_t> out;
    const auto& sent = bus.SentCommands();
    for (size_t i = from; i < sent.size(); ++i)
        if (sent[i].DriveNumber == driveNumber)
            out.push_back(sent[i].TaskFile.Command);
    return out;
}

// Sets drive.ini's power key with a new file time, so the running bus sees it.
void SetPower(test::DriveDir& dir, unsigned n, const std::string& ini) {
    const auto path = dir.Folder(n) / "drive.ini";
    std::error_code ec;
    const auto before = std::filesystem::last_write_time(path, ec);
    dir.WriteFile(n, "drive.ini", "[drive]\n" + ini + "\n");
    if (!ec)
        std::filesystem::last_write_time(path, before + std::chrono::seconds(2));
}

class SleepingDriveTest : public MonitorSessionTest {};

TEST_F(SleepingDriveTest, DriveInStandbyIsOnlyAskedItsPowerModeAndIsReadAgainWhenActive) {
    dir.AddRealDrive(0, Seagate);
    dir.AddRealDrive(1, WesternDigital, "status = exceeded");
    settings.LetDrivesSleep = true;
    Scan(); // the scan's commands spin every drive up
    SetPower(dir, 1, "status = exceeded\npower = standby");

    size_t from = bus->SentCommands().size();
    TickResult result = Tick();
    EXPECT_EQ(CommandsSince(*bus, from, 1), std::vector<uint8_t>{0xE5});
    EXPECT_EQ(result.SleepingSlots, 0b10);
    EXPECT_EQ(result.FailingSlots, 0);
    EXPECT_TRUE(result.AllGood);
    EXPECT_EQ(result.DrivesRead, 1);
    EXPECT_EQ(view.Texts[2], "zz");
    EXPECT_EQ(view.Texts[1], "38");
    EXPECT_EQ(view.Borders.count(2), 0u); // the frame stays as it was
    EXPECT_EQ(mail.Sent, 0);

    SetPower(dir, 1, "status = exceeded\npower = active");
    from = bus->SentCommands().size();
    result = Tick();
    const auto commands = CommandsSince(*bus, from, 1);
    EXPECT_GT(commands.size(), 1u);
    EXPECT_EQ(commands.front(), 0xE5);
    EXPECT_EQ(result.SleepingSlots, 0);
    EXPECT_EQ(result.FailingSlots, 0b10);
    EXPECT_EQ(view.Texts[2], "44");
    EXPECT_EQ(view.Borders[2], BorderColorFailing);
    EXPECT_EQ(mail.Sent, 1);
}

TEST_F(SleepingDriveTest, WithTheRuleTheScanLeavesADriveInStandbyAsleepToo) {
    dir.AddRealDrive(0, Seagate, "power = standby");
    dir.AddRealDrive(1, Seagate, "power = sleep");
    settings.LetDrivesSleep = true;
    Scan();
    ASSERT_EQ(data.DriveCount, 2);
    TickResult result = Tick();
    // Only what a drive answers without spinning up: its power mode and its
    // identity (also the AAM/APM reads of the drive shown).
    for (unsigned n : {0u, 1u})
        for (uint8_t command : CommandsSince(*bus, 0, n))
            EXPECT_TRUE(command == 0xE5 || command == 0xEC) << n << ": " << int(command);
    EXPECT_EQ(result.SleepingSlots, 0b11);
    EXPECT_EQ(view.Texts[1], "zz");
    EXPECT_EQ(data.Drives[1].ModelNumber, "ST9160821AS");

    // Awake: the next tick reads it.
    SetPower(dir, 0, "power = active");
    const size_t from = bus->SentCommands().size();
    result = Tick();
    EXPECT_EQ(result.SleepingSlots, 0b10);
    EXPECT_GT(CommandsSince(*bus, from, 0).size(), 1u);
    EXPECT_EQ(view.Texts[1], "38");

    // Without the rule the scan spins a drive in standby up.
    test::DriveDir other;
    other.AddRealDrive(0, Seagate, "power = standby");
    SimulatedBus plain(other.Path());
    ProgramData fresh;
    HeadlessScanView noView;
    ASSERT_TRUE(ScanDrives(fresh, plain, noView, Settings{}));
    EXPECT_EQ(CheckPowerMode(plain, 0), PowerMode::Active);
}

TEST_F(SleepingDriveTest, WithoutTheRuleADriveInStandbyIsRead) {
    dir.AddRealDrive(0, WesternDigital, "status = exceeded");
    Scan();
    SetPower(dir, 0, "status = exceeded\npower = standby");
    const TickResult result = Tick();
    EXPECT_EQ(result.SleepingSlots, 0);
    EXPECT_EQ(result.FailingSlots, 0b1);
    EXPECT_EQ(view.Texts[1], "44");
}

} // namespace
} // namespace quorvane

namespace quorvane {
namespace {

// An NVMe drive beside an ATA one: the tick reads its health log, shows its
// composite temperature, and a critical warning raised while the program
// runs turns its frame red, is named in its tooltip and mailed once; a
// controller that stops answering fails the tick with the reason kept.
TEST_F(MonitorSessionTest, AnNvmeDrivesWarningsTurnItsIconRedAndAreNamed) {
    dir.AddRealDrive(0, Seagate);
    dir.AddRealNvme(1, "Samsung_SSD_970_EVO_Plus_1TB--4B2QEXM7");
    settings.LetDrivesSleep = true; // an NVMe drive is read all the same
    Scan();
    ASSERT_EQ(data.DriveCount, 2);
    ASSERT_TRUE(data.Drives[2].IsNvme());
    TickResult result = Tick(2);
    EXPECT_TRUE(result.AllGood);
    EXPECT_EQ(view.Texts, (std::map<int, std::string>{{1, "38"}, {2, "31"}}));
    EXPECT_EQ(view.Borders[2], BorderColorHealthy);
    EXPECT_TRUE(view.Concerns[2].empty());
    EXPECT_EQ(data.Screen.Smart.SMARTStatusL, "O.K.");

    dir.WriteFile(1, "drive.ini", "[drive]\nkind = nvme\ncritical-warning = 0x06\ntemperature = 65535\n");
    // drive.ini's time must move for the simulated drive to read it again.
    std::filesystem::last_write_time(dir.Folder(1) / "drive.ini",
                                     std::filesystem::file_time_type::clock::now() +
                                         std::chrono::seconds(5));
    result = Tick(2);
    EXPECT_FALSE(result.AllGood);
    EXPECT_EQ(result.FailingSlots, 0b10);
    EXPECT_EQ(view.Borders[2], BorderColorFailing);
    EXPECT_EQ(view.Texts[2], "...");
    EXPECT_EQ(view.Concerns[2], (std::vector<std::string>{"temperature threshold exceeded",
                                                           "reliability degraded"}));
    EXPECT_EQ(data.Screen.Smart.SMARTStatusL, "ERROR");
    EXPECT_EQ(mail.Sent, 1);
    EXPECT_EQ(view.Sirens, 1);
    Tick(2);
    EXPECT_EQ(mail.Sent, 1); // the same failure is mailed once

    dir.WriteFile(1, "drive.ini", "[drive]\nkind = nvme\nfail = smart-log\n");
    std::filesystem::last_write_time(dir.Folder(1) / "drive.ini",
                                     std::filesystem::file_time_type::clock::now() +
                                         std::chrono::seconds(10));
    // A fault list is read with the folder, at the bus's first open: a new
    // bus sees it, as a restarted program would.
    Scan();
    session.reset();
    result = Tick(2);
    EXPECT_FALSE(result.AllGood);
    EXPECT_EQ(data.Drives[2].Reading.LastFailure,
              "the health log did not come back (no answer in time)");
}

} // namespace
} // namespace quorvane

namespace quorvane {
namespace {

// A drive's own self-test that fails: the tick that finds the new failed
// entry turns the icon red, sounds, shows the balloon and mails; the drive
// stays failing while that entry is the newest, and a second failed test is
// mailed again. A passing test on the other drive changes nothing.
TEST_F(MonitorSessionTest, ANewFailedSelfTestAlertsAndEachNewOneIsMailed) {
    dir.AddRealDrive(0, Seagate, "selftest = fail\nselftest-steps = 2\nselftest-lba = 4660");
    dir.AddRealDrive(3, Hitachi, "selftest-steps = 1");
    settings.SMTPWarningRepeat = 60; // a lasting failure is not mailed again within the hour
    Scan();
    EXPECT_TRUE(Tick().AllGood);
    ASSERT_EQ(StartSelfTest(*bus, data.Drives[1], SelfTestKind::Short), SelfTestStart::Started);
    ASSERT_EQ(StartSelfTest(*bus, data.Drives[2], SelfTestKind::Short), SelfTestStart::Started);

    TickResult result = Tick(); // slot 1 halfway, slot 2 done and passed
    EXPECT_TRUE(result.AllGood);
    EXPECT_EQ(view.Concerns[1], std::vector<std::string>{"self-test 60 %"});
    EXPECT_TRUE(view.Concerns[2].empty());
    EXPECT_EQ(mail.Sent, 0);

    result = Tick(); // slot 1's test ends with a read failure
    EXPECT_FALSE(result.AllGood);
    EXPECT_EQ(result.FailingSlots, 0b01);
    EXPECT_EQ(view.Borders[1], BorderColorFailing);
    EXPECT_EQ(view.Borders[2], BorderColorHealthy);
    EXPECT_EQ(view.Sirens, 1);
    EXPECT_EQ(mail.Sent, 1);
    EXPECT_EQ(view.Concerns[1],
              std::vector<std::string>{"self-test failed: Short offline, Completed: read failure, "
                                       "60 % remaining, 556 h, first failing LBA 4660"});

    ASSERT_EQ(StartSelfTest(*bus, data.Drives[1], SelfTestKind::Extended), SelfTestStart::Started);
    EXPECT_EQ(Tick().FailingSlots, 0b01); // the failure lasts while the new test runs...
    EXPECT_EQ(mail.Sent, 1);              // ...and is not mailed again within the hour
    EXPECT_EQ(Tick().FailingSlots, 0b01);
    EXPECT_EQ(mail.Sent, 2); // but a new failed entry is mailed at once
}

} // namespace
} // namespace quorvane
