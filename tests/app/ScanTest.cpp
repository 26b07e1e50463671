// The drive scan and the S.M.A.R.T. read on simulated drives.
#include <gtest/gtest.h>

#include <map>

#include "common/TestDrives.h"
#include "app/ReadSmart.h"
#include "app/Scan.h"
#include "ata/SimulatedBus.h"

namespace quorvane {
namespace {

// Keeps what the scan showed.
struct RecordingView : ScanView {
    std::vector<std::string> List;
    int Selected = -2;
    std::vector<std::string> Calls;
    std::map<int, std::pair<std::string, bool>> TrayIcons;
    std::map<int, bool> CheckBoxes;
    std::string BalloonTitle, BalloonText;
    int BalloonSlot = 0, BalloonSeconds = 0;
    int PanelsShown = 0;
    std::map<int, std::pair<uint32_t, uint32_t>> TrayColors;
    void ClearDriveList() override { List.clear(); }
    void AddDriveListItem(const std::string& model) override { List.push_back(model); }
    void SelectDriveListItem(int index) override { Selected = index; }
    void EnableTrayCheckBox(int slot, bool check) override { CheckBoxes[slot] = check; }
    void SetTrayIcon(int slot, const std::string& hint, bool visible) override {
        TrayIcons[slot] = {hint, visible};
    }
    void ShowInfoBalloon(int slot, const std::string& title, const std::string& text,
                         int seconds) override {
        BalloonSlot = slot;
        BalloonTitle = title;
        BalloonText = text;
        BalloonSeconds = seconds;
    }
    void SetTrayColors(int slot, uint32_t font, uint32_t back) override {
        TrayColors[slot] = {font, back};
    }
    void InfoPanelChanged(const InfoPanel&) override { ++PanelsShown; }
};

class ScanTest : public ::testing::Test {
protected:
    bool Scan() {
        bus = std::make_unique<SimulatedBus>(dir.Path());
        return ScanDrives(data, *bus, view, settings);
    }
    // The device bytes the drive saw for a command, in order.
    std::vector<uint8_t> DeviceBytes(unsigned n, uint8_t command) const {
        std::vector<uint8_t> bytes;
        for (const auto& c : bus->SentCommands())
            if (c.DriveNumber == n && c.TaskFile.Command == command)
                bytes.push_back(c.TaskFile.Device);
        return bytes;
    }
    test::DriveDir dir;
    std::unique_ptr<SimulatedBus> bus;
    ProgramData data;
    const InfoPanel& panel = data.Screen.Info;
    Settings settings;
    RecordingView view;
};

TEST_F(ScanTest, FillsSlotsInDriveNumberOrderAndClosesEveryHandle) {
    dir.AddRealDrive(1, "ST9160821AS--3.CLH");
    dir.AddRealDrive(4, "Hitachi_HDS721010CLA632");
    dir.AddRealDrive(7, "IBM_IC25N020ATCS04-0");
    for (int slot = 1; slot <= MaxDrives; ++slot)
        settings.TraySlot(slot).TrayIcon = slot == 1;
    settings.TraySlot(2).TrayFontColor = 0x00FFFFFF;
    settings.TraySlot(2).TrayBackColor = 0x00123456;
    ASSERT_TRUE(Scan());
    ASSERT_EQ(data.DriveCount, 3);
    EXPECT_EQ(data.Drives[1].DriveNumber, 1);
    EXPECT_EQ(data.Drives[2].DriveNumber, 4);
    EXPECT_EQ(data.Drives[3].DriveNumber, 7);
    EXPECT_EQ(data.Drives[2].ModelNumber, "Hitachi HDS721010CLA632");
    // The list keeps the trailing blanks; the tray hint is trimmed.
    ASSERT_EQ(view.List.size(), 3u);
    EXPECT_EQ(view.List[1], "Hitachi HDS721010CLA632                 ");
    EXPECT_EQ(view.TrayIcons[2].first, "Hitachi HDS721010CLA632");
    EXPECT_TRUE(view.TrayIcons[1].second);
    EXPECT_FALSE(view.TrayIcons[2].second);
    EXPECT_TRUE(view.CheckBoxes[1]);
    EXPECT_FALSE(view.CheckBoxes[3]);
    // Each slot's icon takes its colours from the settings of its slot.
    EXPECT_EQ(view.TrayColors[1], std::make_pair(0x0000FFFFu, 0x00000000u));
    EXPECT_EQ(view.TrayColors[2], std::make_pair(0x00FFFFFFu, 0x00123456u));
    EXPECT_EQ(view.Selected, 0);
    EXPECT_GE(view.PanelsShown, 1);
    EXPECT_EQ(panel.HDDModelL, "ST9160821AS");
    EXPECT_EQ(panel.HDDSNL, "5MAC2QTA");
    EXPECT_EQ(panel.LogoIndex, 0);
    EXPECT_TRUE(panel.HDDTempEnabled);
    // One open per drive number that exists, and one for each of the shown
    // drive's AAM and APM reads.
    EXPECT_EQ(bus->OpenCount(), 5);
    EXPECT_EQ(bus->OpenCount(), bus->CloseCount());
}

TEST_F(ScanTest, DeviceByteFollowsDriveNumberParity) {
    dir.AddRealDrive(2, "SAMSUNG_HD501LJ--CR100-12");
    dir.AddRealDrive(3, "ST9160821AS--3.CLH");
    ASSERT_TRUE(Scan());
    // Drive 2 is shown after the scan, which reads its AAM and APM levels.
    EXPECT_EQ(DeviceBytes(2, AtaCmdIdentify), (std::vector<uint8_t>{0xA0, 0xA0, 0xA0}));
    EXPECT_EQ(DeviceBytes(3, AtaCmdIdentify), std::vector<uint8_t>{0xB0});
    // SMART ENABLE OPERATIONS, READ DATA, and the two enables the page allows.
    for (uint8_t device : DeviceBytes(3, AtaCmdSmart))
        EXPECT_EQ(device, 0xB0);
    EXPECT_EQ(DeviceBytes(2, AtaCmdReadNativeMaxExt), std::vector<uint8_t>{0x40});
    EXPECT_EQ(DeviceBytes(3, AtaCmdReadNativeMaxExt), std::vector<uint8_t>{0x50});
}

TEST_F(ScanTest, SeventhDriveIsNeverOpened) {
    for (unsigned n = 0; n < 8; ++n)
        dir.AddRealDrive(n, "ST320410A--3.39");
    ASSERT_TRUE(Scan());
    EXPECT_EQ(data.DriveCount, 6);
    EXPECT_EQ(data.Drives[6].DriveNumber, 5);
    for (const auto& c : bus->SentCommands())
        EXPECT_LT(c.DriveNumber, 6u);
    EXPECT_EQ(bus->OpenCount(), 6 + 2); // and the AAM and APM reads of slot 1
    EXPECT_EQ(bus->OpenHandles(), 0);
}

TEST_F(ScanTest, DrivesRefusingSmartOrIdentifyTakeNoSlot) {
    dir.AddRealDrive(0, "ST320410A--3.39", "abort = identify");
    dir.AddRealDrive(1, "ST320410A--3.39", "fail = smart-enable");
    dir.AddRealDrive(2, "ST320410A--3.39", "abort = smart-enable");
    dir.AddRealDrive(3, "Maxtor_6Y120P0");
    std::filesystem::remove(dir.Folder(4) / "identify.bin"); // no folder at all is fine too
    ASSERT_TRUE(Scan());
    EXPECT_EQ(data.DriveCount, 1);
    EXPECT_EQ(data.Drives[1].DriveNumber, 3);
    EXPECT_EQ(bus->OpenCount(), bus->CloseCount());
}

TEST_F(ScanTest, NoDriveLeavesEverythingElseAlone) {
    dir.AddRealDrive(0, "ST320410A--3.39", "abort = identify");
    EXPECT_FALSE(Scan());
    EXPECT_EQ(data.DriveCount, 0);
    EXPECT_TRUE(view.List.empty());
    EXPECT_EQ(view.PanelsShown, 0);
    EXPECT_TRUE(view.BalloonText.empty());
    EXPECT_EQ(panel.HDDModelL, NotMeasuredText);
}

TEST_F(ScanTest, ANativeMaxBelowTheUserCountMeasuresNoHpa) {
    // 976773168 user sectors, but the drive says its last sector is 1000.
    dir.AddRealDrive(0, "SAMSUNG_HD501LJ--CR100-12", "native-max = 1000");
    // One sector short of the user count is still no hidden area.
    dir.AddRealDrive(1, "SAMSUNG_HD501LJ--CR100-12", "native-max = 976773166");
    dir.AddRealDrive(2, "SAMSUNG_HD501LJ--CR100-12", "native-max = 976773167");
    ASSERT_TRUE(Scan());
    EXPECT_EQ(data.Drives[1].HPASizeMB, -1);
    EXPECT_EQ(data.Drives[2].HPASizeMB, -1);
    EXPECT_EQ(data.Drives[3].HPASizeMB, 0);
    ShowDriveInfo(data, *bus, 1, view);
    EXPECT_EQ(panel.HDDHPAUL, "...");
}

TEST_F(ScanTest, HpaIsMeasuredOnlyWithLba48) {
    // 976773168 user sectors; the native max leaves 100 MB (204800 sectors) hidden.
    dir.AddRealDrive(0, "SAMSUNG_HD501LJ--CR100-12", "native-max = 976977967");
    // HPA without 48-bit addressing: not measured.
    dir.AddRealDrive(1, "Maxtor_6Y120P0", "native-max = 999999999");
    // An HPA of 1.5 MB and one of 2.5 MB round to 2.
    dir.AddRealDrive(2, "ST9160821AS--3.CLH", "native-max = 312584879");
    dir.AddRealDrive(3, "ST9160821AS--3.CLH", "native-max = 312586927");
    // A failing READ NATIVE MAX leaves -1.
    dir.AddRealDrive(4, "ST9160821AS--3.CLH", "abort = read-native-max");
    ASSERT_TRUE(Scan());
    EXPECT_EQ(data.Drives[1].HPASizeMB, 100);
    EXPECT_EQ(data.Drives[2].HPASizeMB, -1);
    EXPECT_TRUE(DeviceBytes(1, AtaCmdReadNativeMaxExt).empty());
    EXPECT_EQ(data.Drives[3].HPASizeMB, 2);
    EXPECT_EQ(data.Drives[4].HPASizeMB, 2);
    EXPECT_EQ(data.Drives[5].HPASizeMB, -1);
    ShowDriveInfo(data, *bus, 1, view);
    EXPECT_EQ(panel.HDDHPAUL, "100");
    ShowDriveInfo(data, *bus, 2, view);
    EXPECT_EQ(panel.HDDHPAUL, "...");
}

TEST_F(ScanTest, HpaCaptionStaysWhenTheShownDriveHasNoHpa) {
    dir.AddRealDrive(0, "SAMSUNG_HD501LJ--CR100-12", "native-max = 976977967");
    dir.AddRealDrive(1, "Hitachi_HDS721010CLA632");
    ASSERT_TRUE(Scan());
    ShowDriveInfo(data, *bus, 1, view);
    ShowDriveInfo(data, *bus, 2, view);
    EXPECT_FALSE(panel.HDDHPALEnabled);
    EXPECT_EQ(panel.HDDHPAUL, "100");
}

TEST_F(ScanTest, BalloonListsTheDrivesOnTheLastSlot) {
    settings.BalloonHints = true;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    dir.AddRealDrive(1, "WDC_WD20EARS-00MVWB0");
    ASSERT_TRUE(Scan());
    EXPECT_EQ(view.BalloonTitle, "HDDs");
    EXPECT_EQ(view.BalloonText, "ST9160821AS 149 GB\rWDC WD20EARS-00MVWB0 1863 GB\r");
    EXPECT_EQ(view.BalloonSlot, 2);
    EXPECT_EQ(view.BalloonSeconds, 10);

    RecordingView quiet;
    settings.BalloonHints = false;
    ASSERT_TRUE(ScanDrives(data, *bus, quiet, settings));
    EXPECT_TRUE(quiet.BalloonTitle.empty());
}

TEST_F(ScanTest, RescanResetsTheVendorOfASlot) {
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    ASSERT_TRUE(Scan());
    EXPECT_EQ(data.Drives[1].Vendor, 'S');
    std::filesystem::remove_all(dir.Folder(0));
    dir.AddRealDrive(0, "INTEL_SSDSA2CW120G3--4PC10302");
    ASSERT_TRUE(Scan());
    EXPECT_EQ(data.Drives[1].Vendor, '\0');
    EXPECT_FALSE(panel.LogoIndex.has_value());
}

TEST_F(ScanTest, EnablesOfflineAndAutosaveAsThePageAllowsButNotForACommand) {
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    auto page = test::PageOf("ST9160821AS--3.CLH", "smart-data");
    page[367] = 0x02;
    page[368] = 0x00;
    dir.WriteBytes(0, "smart-data.bin", page);
    dir.AddRealDrive(1, "ST9160821AS--3.CLH", "abort = smart-read-data");
    ASSERT_TRUE(Scan());
    std::vector<uint8_t> features;
    for (const auto& c : bus->SentCommands())
        if (c.TaskFile.Command == AtaCmdSmart)
            features.push_back(c.TaskFile.Features);
    // Drive 0: ENABLE, READ DATA, AUTO OFF-LINE (0xF8); drive 1: ENABLE, READ DATA.
    EXPECT_EQ(features, (std::vector<uint8_t>{0xD8, 0xD0, 0xDB, 0xD8, 0xD0}));
    for (const auto& c : bus->SentCommands()) {
        if (c.TaskFile.Features == 0xDB) {
            EXPECT_EQ(c.TaskFile.SectorCount, 0xF8);
        }
    }

    // A command's scan changes no switch and reads no AAM/APM levels: SMART
    // ENABLE and one IDENTIFY DEVICE per drive, and the HPA's READ NATIVE MAX.
    bus = std::make_unique<SimulatedBus>(dir.Path());
    ASSERT_TRUE(ScanDrives(data, *bus, view, settings, ScanUse::ReadOnly));
    std::vector<std::string> sent;
    for (const auto& c : bus->SentCommands())
        sent.push_back(AtaCommandName(c.TaskFile));
    EXPECT_EQ(sent, (std::vector<std::string>{"smart-enable", "identify", "read-native-max",
                                              "smart-enable", "identify", "read-native-max"}));
}

class ReadSmartTest : public ScanTest {
protected:
    SmartScreen& status = data.Screen.Smart;
};

TEST_F(ReadSmartTest, HealthyDriveReadsBothPagesOpeningThreeTimes) {
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    ASSERT_TRUE(Scan());
    const int opensBefore = bus->OpenCount();
    EXPECT_TRUE(ReadSMART(data, *bus, 1, true));
    EXPECT_EQ(bus->OpenCount() - opensBefore, 3);
    EXPECT_EQ(bus->OpenHandles(), 0);
    EXPECT_EQ(status.SMARTStatusL, "O.K.");
    EXPECT_TRUE(data.Drives[1].SMARTStatusOK);
    const auto pageData = test::PageOf("ST9160821AS--3.CLH", "smart-data");
    const auto pageThresholds = test::PageOf("ST9160821AS--3.CLH", "smart-thresholds");
    EXPECT_TRUE(std::equal(pageData.begin(), pageData.end(), data.SMARTDataPage.begin()));
    EXPECT_TRUE(
        std::equal(pageThresholds.begin(), pageThresholds.end(), data.SMARTThresholdPage.begin()));
}

TEST_F(ReadSmartTest, ExceededThresholdStillReadsThePages) {
    dir.AddRealDrive(0, "WDC_WD20EARS-00MVWB0", "status = exceeded");
    ASSERT_TRUE(Scan());
    EXPECT_FALSE(ReadSMART(data, *bus, 1, true));
    EXPECT_EQ(status.SMARTStatusL, "ERROR");
    EXPECT_FALSE(data.Drives[1].SMARTStatusOK);
    const auto pageData = test::PageOf("WDC_WD20EARS-00MVWB0", "smart-data");
    EXPECT_TRUE(std::equal(pageData.begin(), pageData.end(), data.SMARTDataPage.begin()));
}

TEST_F(ReadSmartTest, FailedStatusCommandShowsError) {
    dir.AddRealDrive(0, "ST9160821AS--3.CLH", "abort = smart-status");
    dir.AddRealDrive(1, "ST9160821AS--3.CLH", "fail = smart-status");
    ASSERT_TRUE(Scan());
    EXPECT_FALSE(ReadSMART(data, *bus, 1, true));
    EXPECT_EQ(status.SMARTStatusL, "ERROR");
    status.SMARTStatusL = "before";
    EXPECT_FALSE(ReadSMART(data, *bus, 2, false)); // not shown
    EXPECT_EQ(status.SMARTStatusL, "before");
}

TEST_F(ReadSmartTest, FailingThresholdReadKeepsTheOldThresholdPage) {
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    dir.AddRealDrive(1, "Hitachi_HDS721010CLA632", "abort = smart-read-thresholds");
    ASSERT_TRUE(Scan());
    ASSERT_TRUE(ReadSMART(data, *bus, 1, false));
    const SmartPage oldThresholds = data.SMARTThresholdPage;
    data.Drives[2].Temperature = 77;
    EXPECT_FALSE(ReadSMART(data, *bus, 2, false));
    EXPECT_EQ(data.SMARTThresholdPage, oldThresholds);
    const auto newData = test::PageOf("Hitachi_HDS721010CLA632", "smart-data");
    EXPECT_TRUE(std::equal(newData.begin(), newData.end(), data.SMARTDataPage.begin()));
    EXPECT_EQ(data.Drives[2].Temperature, 77);
    EXPECT_EQ(bus->OpenHandles(), 0);
}

TEST_F(ReadSmartTest, SmartOffOrNoSuchSlotSendsNothing) {
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    ASSERT_TRUE(Scan());
    data.Drives[1].SMARTEnabled = false;
    status.SMARTStatusL = "before";
    const size_t sent = bus->SentCommands().size();
    EXPECT_FALSE(ReadSMART(data, *bus, 1, true));
    EXPECT_FALSE(ReadSMART(data, *bus, 0, true));
    EXPECT_FALSE(ReadSMART(data, *bus, 2, true)); // beyond DriveCount
    EXPECT_EQ(bus->SentCommands().size(), sent);
    EXPECT_EQ(status.SMARTStatusL, "before");
}

} // namespace
} // namespace quorvane
