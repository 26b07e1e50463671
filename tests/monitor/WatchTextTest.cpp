// The headless monitor's per-drive line and the failing attributes it names.
#include <gtest/gtest.h>

#include "common/TestDrives.h"
#include "monitor/WatchText.h"

namespace quorvane {
namespace {

// A reading with attributes (id, value) and thresholds (id, threshold), in
// page slots from the first on.
DriveReading Reading(std::vector<std::pair<uint8_t, uint8_t>> values,
                     std::vector<std::pair<uint8_t, uint8_t>> thresholds) {
    DriveReading r;
    r.PagesRead = true;
    for (size_t k = 0; k < values.size(); ++k) {
        r.DataPage[2 + 12 * k] = values[k].first;
        r.DataPage[2 + 12 * k + 3] = values[k].second;
    }
    for (size_t k = 0; k < thresholds.size(); ++k) {
        r.ThresholdPage[2 + 12 * k] = thresholds[k].first;
        r.ThresholdPage[2 + 12 * k + 1] = thresholds[k].second;
    }
    return r;
}

TEST(FailingAttributeNames, ValuesBelowNonZeroThresholdsInNameTableOrder) {
    // 5 below, 1 below (listed first by the table), 3 equal to its threshold,
    // 9 below a zero threshold, 230 not in the table, 7 with no threshold slot.
    const auto r = Reading({{5, 10}, {3, 21}, {1, 50}, {9, 0}, {230, 1}, {7, 1}},
                           {{1, 51}, {3, 21}, {5, 140}, {9, 0}, {230, 100}});
    EXPECT_EQ(FailingAttributeNames(r),
              (std::vector<std::string>{"Raw Read Error Rate", "Reallocated Sector Count"}));

    DriveReading unread = r;
    unread.PagesRead = false;
    EXPECT_TRUE(FailingAttributeNames(unread).empty());
}

TEST(FailingAttributeNames, RealFailingDumpNamesItsReallocatedSectors) {
    DriveReading r;
    r.PagesRead = true;
    const auto data = test::PageOf("WDC_WD20EARS-00MVWB0", "smart-data");
    const auto thresholds = test::PageOf("WDC_WD20EARS-00MVWB0", "smart-thresholds");
    ASSERT_EQ(data.size(), 512u);
    ASSERT_EQ(thresholds.size(), 512u);
    std::copy(data.begin(), data.end(), r.DataPage.begin());
    std::copy(thresholds.begin(), thresholds.end(), r.ThresholdPage.begin());
    EXPECT_EQ(FailingAttributeNames(r), std::vector<std::string>{"Reallocated Sector Count"});
}

TEST(WatchLine, StatusTemperatureSleepAndNoSmart) {
    HDD d;
    d.ModelNumber = "ST3500418AS";
    d.SMARTEnabled = true;
    d.Temperature = 41;
    EXPECT_EQ(WatchLine(1, d, false, false), "1  ST3500418AS  41 C  O.K.");
    EXPECT_EQ(WatchLine(3, d, true, false), "3  ST3500418AS  41 C  ERROR");
    d.Reading = Reading({{5, 10}, {194, 41}}, {{5, 140}, {194, 0}});
    EXPECT_EQ(WatchLine(3, d, true, false),
              "3  ST3500418AS  41 C  ERROR  Reallocated Sector Count");
    EXPECT_EQ(WatchLine(2, d, true, true), "2  ST3500418AS  zz  sleeping");
    d.SMARTEnabled = false;
    EXPECT_EQ(WatchLine(4, d, false, false), "4  ST3500418AS  ---");
}

TEST(WatchLine, ModelControlCharactersNeverReachTheTerminal) {
    HDD d;
    d.SMARTEnabled = true;
    d.ModelNumber = "EVIL\x1b[2J\nX\x07\xE9";
    d.Temperature = 30;
    EXPECT_EQ(WatchLine(1, d, false, false), "1  EVIL?[2J?X?\xC3\xA9  30 C  O.K.");
}

TEST(SleepingHint, AddsSleepingToTheTooltip) {
    EXPECT_EQ(SleepingHint("ST3500418AS"), "ST3500418AS (sleeping)");
    EXPECT_EQ(SleepingHint(""), "sleeping");
}

} // namespace
} // namespace quorvane
