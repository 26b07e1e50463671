// Health flag, attribute verdicts, flag letters and temperatures.
#include <gtest/gtest.h>

#include "smart/SmartHealth.h"
#include "smart/SmartTestData.h"

namespace quorvane {
namespace {

TEST(EvaluateReturnStatus, OnlyTheEchoedKeyWithoutErrIsHealthy) {
    EXPECT_TRUE(EvaluateReturnStatus(true, {0x50, 0x4F, 0xC2}));
    EXPECT_FALSE(EvaluateReturnStatus(true, {0x51, 0x4F, 0xC2}));  // ERR set
    EXPECT_FALSE(EvaluateReturnStatus(false, {0x50, 0x4F, 0xC2})); // request failed
    EXPECT_FALSE(EvaluateReturnStatus(true, {0x50, 0xF4, 0x2C}));  // threshold exceeded
    EXPECT_FALSE(EvaluateReturnStatus(true, {0x50, 0x4F, 0x2C}));
    EXPECT_FALSE(EvaluateReturnStatus(true, {0x50, 0xC2, 0x4F})); // swapped
    EXPECT_FALSE(EvaluateReturnStatus(true, {0x50, 0x00, 0x00}));
    EXPECT_STREQ(SmartStatusText(true), "O.K.");
    EXPECT_STREQ(SmartStatusText(false), "ERROR");
}

TEST(FormatAttributeFlags, SixLettersFromBitFiveDown) {
    EXPECT_EQ(FormatAttributeFlags(0x0032), "SC--O-");
    EXPECT_EQ(FormatAttributeFlags(0x0003), "----OF");
    EXPECT_EQ(FormatAttributeFlags(0xFF00), "------");
    EXPECT_EQ(FormatAttributeFlags(0x0000), "------");
    EXPECT_EQ(FormatAttributeFlags(0x003F), "SCEPOF");
    EXPECT_EQ(FormatAttributeFlags(0xFFFF), "SCEPOF"); // bits 6-15 ignored
    EXPECT_EQ(FormatAttributeFlags(0x0004), "---P--");
    EXPECT_EQ(FormatAttributeFlags(0x0008), "--E---");
}

TEST(AttributeStatusText, StrictlyBelowThresholdOnly) {
    EXPECT_STREQ(AttributeStatusText(99, 100), "!!!");
    EXPECT_STREQ(AttributeStatusText(10, 10), "O.K."); // a tie is O.K.
    EXPECT_STREQ(AttributeStatusText(0, 0), "O.K.");
    EXPECT_STREQ(AttributeStatusText(0, 1), "!!!");
    EXPECT_STREQ(AttributeStatusText(255, 254), "O.K.");
}

TEST(ReadDriveTemperatures, VendorGatedDriveTemperatureAndAirflowBytes) {
    const auto page =
        test::MakeDataPage({{0, {194, 0x22, 100, 100, {0x2A, 0, 0, 0, 0, 0}}},
                            {1, {190, 0x22, 70, 60, {0x1E, 0x00, 0x14, 0x2D, 0x00, 0x00}}}});
    EXPECT_EQ(ReadDriveTemperatures(page, 'W'), (DriveTemperatures{42, 20, 45, 30}));
    // Every vendor code reads 194; no vendor code means no drive temperature.
    for (char vendor : std::string("AFHIMQSTW"))
        EXPECT_EQ(ReadDriveTemperatures(page, vendor).DriveTemperature, 42) << vendor;
    EXPECT_EQ(ReadDriveTemperatures(page, '\0'), (DriveTemperatures{0, 20, 45, 30}));
    EXPECT_EQ(ReadDriveTemperatures(page, 'X').DriveTemperature, 0);

    // A nonzero byte 4 is the high airflow temperature.
    const auto high =
        test::MakeDataPage({{0, {190, 0x22, 70, 60, {0x1E, 0x00, 0x14, 0x2D, 0x32, 0x00}}}});
    EXPECT_EQ(ReadDriveTemperatures(high, 'S'), (DriveTemperatures{0, 20, 50, 30}));
    // No attribute 190: nothing for the airflow labels.
    const auto none = test::MakeDataPage({{0, {194, 0x22, 100, 100, {0x2A}}}});
    EXPECT_EQ(ReadDriveTemperatures(none, 'S'), (DriveTemperatures{42, 0, 0, 0}));
}

TEST(FormatTemperatureCaptions, ZeroIsShownOnlyForTheDriveTemperature) {
    EXPECT_EQ(FormatTemperatureCaptions({0, 0, 0, 0}),
              (TemperatureCaptions{"0", "...", "...", "..."}));
    EXPECT_EQ(FormatTemperatureCaptions({42, 20, 45, 30}),
              (TemperatureCaptions{"42", "20", "45", "30"}));
    EXPECT_EQ(FormatTemperatureCaptions({255, 0, 7, 0}),
              (TemperatureCaptions{"255", "...", "7", "..."}));
}

// Temperatures of real drives, read by hand from attributes 194 and 190 (raw
// bytes as skdump lists them); the vendor codes are those of their models.
TEST(ReadDriveTemperatures, RealDrives) {
    struct Case {
        const char* Drive;
        char Vendor;
        DriveTemperatures Expected;
    };
    const Case cases[] = {
        // 190: 26 00 25 26 28 4E, byte 4 set
        {"ST9160821AS--3.CLH", 'S', {38, 37, 40, 38}},
        // 190: 22 00 22 22 00 00, byte 4 clear, byte 3 used
        {"ST9100821AS--3.CME", 'S', {34, 34, 34, 34}},
        // 190: 1E 00 22 1A 00 00
        {"Hitachi_HDS721010CLA632", 'H', {30, 34, 26, 30}},
        // 190: 2F 00 00 00 00 00, only the airflow byte
        {"SAMSUNG_HD501LJ--CR100-12", 'M', {47, 0, 0, 47}},
        // 194 only
        {"FUJITSU_MHY2120BH--0084000D", 'F', {28, 0, 0, 0}},
        {"TOSHIBA_MK1651GSY--38IGT0G5T", 'T', {41, 0, 0, 0}},
        {"WDC_WD20EARS-00MVWB0", 'W', {44, 0, 0, 0}},
        {"Maxtor_6Y120P0", 'A', {36, 0, 0, 0}},
        // no vendor code: 194 (1E, 23) is not consulted
        {"Biwintech_SSD_SX500", '\0', {0, 0, 0, 0}},
        {"IBM_IC25N020ATCS04-0", '\0', {0, 0, 0, 0}},
        // 190 present with all raw bytes 0
        {"MCCOE64GEMPP--2.9.09", '\0', {0, 0, 0, 0}},
        // a Maxtor without 194 or 190
        {"Maxtor_96147H8--BAC51KJ0--2", 'A', {0, 0, 0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ReadDriveTemperatures(test::PageOf(c.Drive, "smart-data"), c.Vendor), c.Expected)
            << c.Drive;
}

} // namespace
} // namespace quorvane
