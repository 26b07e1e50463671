// What a S.M.A.R.T. read shows and stores after the pages: the temperatures
// and the grid, on simulated drives built from real dumps.
#include <gtest/gtest.h>

#include "app/ReadSmart.h"
#include "app/Scan.h"
#include "ata/SimulatedBus.h"
#include "smart/SmartTestData.h"

namespace quorvane {
namespace {

class ReadSmartGrid : public ::testing::Test {
protected:
    void Scan() {
        bus = std::make_unique<SimulatedBus>(dir.Path());
        HeadlessScanView view;
        ASSERT_TRUE(ScanDrives(data, *bus, view, Settings{}));
    }
    static std::vector<SmartGridRow> ExpectedRows(const std::string& drive, bool dec = false) {
        const auto expected = test::ReadExpectedGrid(drive);
        std::vector<SmartGridRow> rows{SmartGridHeader()};
        for (size_t r = 0; r < expected.Rows.size(); ++r) {
            rows.push_back(expected.Rows[r]);
            if (dec)
                rows.back()[SmartColRaw] = expected.DecimalRaw[r];
        }
        return rows;
    }
    test::DriveDir dir;
    std::unique_ptr<SimulatedBus> bus;
    ProgramData data;
    SmartScreen& screen = data.Screen.Smart;
};

TEST_F(ReadSmartGrid, ShowSetsTemperaturesAndRebuildsTheGrid) {
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    dir.AddRealDrive(1, "WDC_WD20EARS-00MVWB0");
    Scan();
    ASSERT_TRUE(ReadSMART(data, *bus, 1, true));
    EXPECT_EQ(data.Drives[1].Temperature, 38);
    EXPECT_EQ(screen.Temperatures, (TemperatureCaptions{"38", "37", "40", "38"}));
    EXPECT_EQ(screen.SMARTSG.Rows, ExpectedRows("ST9160821AS--3.CLH"));

    // The next read with DEC selected replaces every row; the shorter grid
    // of the second drive leaves nothing of the first behind.
    ReadSMART(data, *bus, 2, true, RawValueFormat::Dec);
    EXPECT_EQ(screen.RAWValuesRG, RawValueFormat::Dec);
    EXPECT_EQ(screen.SMARTSG.Rows, ExpectedRows("WDC_WD20EARS-00MVWB0", true));
    EXPECT_EQ(screen.Temperatures, (TemperatureCaptions{"44", "...", "...", "..."}));
    EXPECT_EQ(data.Drives[2].Temperature, 44);
    EXPECT_EQ(data.Drives[1].Temperature, 38);
}

TEST_F(ReadSmartGrid, ExceededThresholdStillShowsEverything) {
    dir.AddRealDrive(3, "WDC_WD20EARS-00MVWB0", "status = exceeded");
    Scan();
    EXPECT_FALSE(ReadSMART(data, *bus, 1, true));
    EXPECT_EQ(screen.SMARTStatusL, "ERROR");
    EXPECT_EQ(screen.SMARTSG.Rows, ExpectedRows("WDC_WD20EARS-00MVWB0"));
    EXPECT_EQ(data.Drives[1].Temperature, 44);
}

TEST_F(ReadSmartGrid, WithoutShowOnlyTheTemperatureIsStored) {
    dir.AddRealDrive(0, "Hitachi_HDS721010CLA632");
    Scan();
    EXPECT_TRUE(ReadSMART(data, *bus, 1, false));
    EXPECT_EQ(data.Drives[1].Temperature, 30);
    EXPECT_EQ(screen.SMARTStatusL, "...");
    EXPECT_EQ(screen.Temperatures, TemperatureCaptions{});
    EXPECT_EQ(screen.SMARTSG, SmartGridModel{});
}

TEST_F(ReadSmartGrid, DriveWithoutVendorCodeShowsZero) {
    // The model "Biwintech SSD SX500 512GB" has no vendor code; its attribute
    // 194 holds 30 degrees and is not read.
    dir.AddRealDrive(0, "Biwintech_SSD_SX500");
    Scan();
    ASSERT_EQ(data.Drives[1].Vendor, '\0');
    data.Drives[1].Temperature = 55;
    EXPECT_TRUE(ReadSMART(data, *bus, 1, true));
    EXPECT_EQ(data.Drives[1].Temperature, 0);
    EXPECT_EQ(screen.Temperatures, (TemperatureCaptions{"0", "...", "...", "..."}));
}

TEST_F(ReadSmartGrid, FailedPageReadKeepsTheGridAndTheCaptions) {
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    dir.AddRealDrive(1, "Hitachi_HDS721010CLA632", "abort = smart-read-data");
    dir.AddRealDrive(2, "SAMSUNG_HD501LJ--CR100-12", "abort = smart-read-thresholds");
    Scan();
    ASSERT_TRUE(ReadSMART(data, *bus, 1, true));
    const SmartScreen before = screen;
    for (int slot : {2, 3}) {
        data.Drives[slot].Temperature = 77;
        EXPECT_FALSE(ReadSMART(data, *bus, slot, true));
        EXPECT_EQ(screen.SMARTStatusL, "O.K."); // the status command went through
        EXPECT_EQ(screen.Temperatures, before.Temperatures);
        EXPECT_EQ(screen.SMARTSG, before.SMARTSG);
        EXPECT_EQ(data.Drives[slot].Temperature, 77);
    }
}

} // namespace
} // namespace quorvane
