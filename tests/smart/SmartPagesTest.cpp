// Attribute and threshold lookups, the list of known attributes, and the grid
// rows of real drives.
#include <gtest/gtest.h>

#include <algorithm>

#include "smart/SmartAttributes.h"
#include "smart/SmartGrid.h"
#include "smart/SmartTestData.h"

namespace quorvane {
namespace {

using test::MakeDataPage;
using test::MakeThresholdPage;

TEST(SmartPages, ZeroPageFindsNothing) {
    const std::array<uint8_t, 512> page{};
    for (int id = 1; id <= 255; ++id) {
        EXPECT_EQ(FindSMARTAttribute(page, static_cast<uint8_t>(id)), SMARTAttribute{}) << id;
        EXPECT_EQ(FindSMARTThreshold(page, static_cast<uint8_t>(id)), 0) << id;
    }
}

TEST(SmartPages, WalkExaminesSlotZeroAndStopsAtTheFirstLaterEmptySlot) {
    // Slot 0 empty, slot 1 holds id 5: found, since slot 0 is always examined.
    const auto emptyFirst = MakeDataPage({{1, {5, 0x33, 100, 99, {7}}}});
    EXPECT_EQ(FindSMARTAttribute(emptyFirst, 5).Value, 100);
    EXPECT_EQ(FindSMARTThreshold(MakeThresholdPage({{1, {5, 36}}}), 5), 36);

    // Slot 3 empty, slot 4 holds id 9: the walk has ended before it.
    const auto gap = MakeDataPage({{0, {1, 0, 100, 100, {}}},
                                   {1, {3, 0, 100, 100, {}}},
                                   {2, {4, 0, 100, 100, {}}},
                                   {4, {9, 0x32, 90, 90, {1}}}});
    EXPECT_EQ(FindSMARTAttribute(gap, 9), SMARTAttribute{});
    EXPECT_EQ(FindSMARTAttribute(gap, 4).Value, 100);
    const auto gapThresholds = MakeThresholdPage({{0, {1, 6}}, {1, {3, 0}}, {4, {9, 50}}});
    EXPECT_EQ(FindSMARTThreshold(gapThresholds, 9), 0);
}

TEST(SmartPages, FirstSlotWinsAndTheWalkEndsAfterThirtySlots) {
    std::map<int, test::PageSlot> slots;
    for (int k = 0; k < 30; ++k)
        slots[k] = {static_cast<uint8_t>(100 + k), 0, static_cast<uint8_t>(k + 1), 1, {}};
    slots[10] = {120, 0, 11, 1, {}}; // the same id as slot 20
    auto page = MakeDataPage(slots);
    page[2 + 12 * 30] = 200; // where a 31st slot would start: offset 362
    EXPECT_EQ(FindSMARTAttribute(page, 120).Value, 11);
    EXPECT_EQ(FindSMARTAttribute(page, 129).Value, 30); // slot 29 is the last
    EXPECT_EQ(FindSMARTAttribute(page, 200), SMARTAttribute{});
}

TEST(SmartPages, RawAndFlagsAreLittleEndian) {
    const auto page = MakeDataPage({{0, {5, 0xFF00, 1, 2, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06}}},
                                    {1, {9, 0x0032, 3, 4, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}}},
                                    {2, {12, 0, 5, 6, {0, 0, 0, 0, 1, 0}}}});
    const SMARTAttribute a = FindSMARTAttribute(page, 5);
    EXPECT_EQ(a.Raw, 0x060504030201u);
    EXPECT_EQ(a.RawBytes, (std::array<uint8_t, 6>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(a.Flags, 0xFF00);
    EXPECT_EQ(a.Value, 1);
    EXPECT_EQ(a.Worst, 2);
    EXPECT_EQ(FindSMARTAttribute(page, 9).Raw, 0xFFFFFFFFFFFFu); // 48 bits, never negative
    EXPECT_EQ(FindSMARTAttribute(page, 12).Raw, 1ull << 32);
}

TEST(SmartPages, ShortBufferIsWalkedOnlyAsFarAsWholeSlots) {
    const auto page = MakeDataPage({{0, {1, 0, 10, 10, {}}}, {1, {3, 0, 20, 20, {9}}}});
    const std::span<const uint8_t> all(page);
    EXPECT_EQ(FindSMARTAttribute(all.first(2 + 24), 3).Value, 20);
    EXPECT_EQ(FindSMARTAttribute(all.first(2 + 23), 3), SMARTAttribute{});
    EXPECT_EQ(FindSMARTAttribute(all.first(2 + 11), 1), SMARTAttribute{});
    EXPECT_EQ(FindSMARTAttribute({}, 1), SMARTAttribute{});
    EXPECT_EQ(FindSMARTThreshold(all.first(1), 1), 0);
}

TEST(SmartAttributeNames, DisplayOrderAndNamesAsWritten) {
    std::vector<int> ids;
    std::map<int, std::string> names;
    for (const auto& entry : SMARTAttributeNames) {
        ids.push_back(entry.Id);
        names[entry.Id] = entry.Name;
    }
    EXPECT_EQ(ids,
              (std::vector<int>{1,   2,   3,   4,   5,   6,   7,   8,   9,   10,  11,  12,  13,
                                189, 190, 191, 192, 193, 194, 195, 196, 197, 198, 199, 200, 201,
                                220, 221, 222, 223, 224, 225, 226, 228, 231, 240, 250}));
    // Repeated names and the two spellings of the retract count, as written.
    EXPECT_EQ(names[192], "Power-Off Retract Count");
    EXPECT_EQ(names[228], "Power-off Retract Count");
    EXPECT_EQ(names[191], "G-Sense Error Rate");
    EXPECT_EQ(names[221], names[191]);
    EXPECT_EQ(names[225], "Load Cycle Count");
    EXPECT_EQ(names[225], names[193]);
    EXPECT_EQ(names[231], "Temperature");
    EXPECT_EQ(names[231], names[194]);
    EXPECT_EQ(names[220], "Disk Shift");
    EXPECT_EQ(names[222], "Loaded Hours");
    EXPECT_EQ(names[223], "Load Retry Count");
    EXPECT_EQ(names[224], "Load Friction");
    EXPECT_EQ(names[226], "Load-in Time");
    EXPECT_EQ(names[250], "Read Error Retry Rate");
    EXPECT_EQ(names[6], "Read Channel Margin");
    EXPECT_EQ(names[13], "Read Soft Error Rate");
}

// Every attribute skdump lists for a real drive is found with skdump's value,
// worst, raw bytes, pre-failure and on-line bits and threshold, except those
// the drive placed behind an empty slot.
TEST(RealDrives, LookupsAgreeWithSkdump) {
    for (const auto& drive : test::SmartTestDrives) {
        SCOPED_TRACE(drive);
        const auto data = test::PageOf(drive, "smart-data");
        const auto thresholds = test::PageOf(drive, "smart-thresholds");
        ASSERT_EQ(data.size(), 512u);
        const auto lost = test::ReadExpectedGrid(drive).BehindEmptySlot;
        const auto attributes = test::ReadSkdump(drive);
        ASSERT_GE(attributes.size(), 7u);
        for (const auto& s : attributes) {
            SCOPED_TRACE(s.Id);
            const auto id = static_cast<uint8_t>(s.Id);
            const SMARTAttribute a = FindSMARTAttribute(data, id);
            if (std::find(lost.begin(), lost.end(), s.Id) != lost.end()) {
                EXPECT_EQ(a, SMARTAttribute{});
                EXPECT_EQ(FindSMARTThreshold(thresholds, id), 0);
                continue;
            }
            EXPECT_TRUE(test::SkdumpShows(s.Value, a.Value)) << int{a.Value};
            EXPECT_TRUE(test::SkdumpShows(s.Worst, a.Worst)) << int{a.Worst};
            EXPECT_EQ(a.RawBytes, s.Raw);
            uint64_t raw = 0;
            for (int i = 5; i >= 0; --i)
                raw = raw * 256 + s.Raw[static_cast<size_t>(i)];
            EXPECT_EQ(a.Raw, raw);
            EXPECT_EQ((a.Flags & 1) != 0, s.Prefail);
            EXPECT_EQ((a.Flags & 2) != 0, s.Online);
            EXPECT_TRUE(test::SkdumpShows(s.Threshold, FindSMARTThreshold(thresholds, id)));
        }
    }
}

// The hand-decoded rows agree with skdump, and the grid built from the pages
// is exactly those rows, in HEX and in DEC.
TEST(RealDrives, GridRowsAreTheHandDecodedRows) {
    for (const auto& drive : test::SmartTestDrives) {
        SCOPED_TRACE(drive);
        const auto expected = test::ReadExpectedGrid(drive);
        const auto skdump = test::ReadSkdump(drive);
        ASSERT_FALSE(expected.Rows.empty());
        for (const auto& row : expected.Rows) {
            const int id = std::stoi(row[SmartColName].substr(1, 2), nullptr, 16);
            const auto s = std::find_if(skdump.begin(), skdump.end(),
                                        [&](const auto& a) { return a.Id == id; });
            ASSERT_NE(s, skdump.end()) << row[SmartColName];
            EXPECT_TRUE(test::SkdumpShows(s->Value, std::stoi(row[SmartColAttr])));
            EXPECT_TRUE(test::SkdumpShows(s->Worst, std::stoi(row[SmartColWorst])));
            EXPECT_TRUE(test::SkdumpShows(s->Threshold, std::stoi(row[SmartColThreshold])));
            std::string hex;
            for (int i = 5; i >= 0; --i) {
                char byte[3];
                std::snprintf(byte, sizeof byte, "%02X", s->Raw[static_cast<size_t>(i)]);
                hex += byte;
            }
            EXPECT_EQ(row[SmartColRaw], hex + "h");
            EXPECT_EQ(row[SmartColFlags][5] == 'F', s->Prefail);
            EXPECT_EQ(row[SmartColFlags][4] == 'O', s->Online);
        }

        const auto data = test::PageOf(drive, "smart-data");
        const auto thresholds = test::PageOf(drive, "smart-thresholds");
        SmartGridModel hexGrid, decGrid;
        FillSmartGrid(hexGrid, {data, thresholds}, RawValueFormat::Hex);
        FillSmartGrid(decGrid, {data, thresholds}, RawValueFormat::Dec);
        ASSERT_EQ(hexGrid.RowCount(), static_cast<int>(expected.Rows.size()) + 1);
        ASSERT_EQ(decGrid.RowCount(), hexGrid.RowCount());
        EXPECT_EQ(hexGrid.Rows[0], SmartGridHeader());
        for (size_t r = 0; r < expected.Rows.size(); ++r) {
            EXPECT_EQ(hexGrid.Rows[r + 1], expected.Rows[r]);
            SmartGridRow dec = expected.Rows[r];
            dec[SmartColRaw] = expected.DecimalRaw[r];
            EXPECT_EQ(decGrid.Rows[r + 1], dec);
        }
    }
}

// The rows the fixtures were chosen for.
TEST(RealDrives, NotableRows) {
    auto gridOf = [](const std::string& drive, RawValueFormat format) {
        const auto data = test::PageOf(drive, "smart-data");
        const auto thresholds = test::PageOf(drive, "smart-thresholds");
        SmartGridModel grid;
        FillSmartGrid(grid, {data, thresholds}, format);
        return grid;
    };
    auto rowOf = [](const SmartGridModel& grid, const std::string& prefix) {
        for (const auto& row : grid.Rows)
            if (row[SmartColName].rfind(prefix, 0) == 0)
                return row;
        return SmartGridRow{};
    };
    constexpr uint32_t plain = 0x00FFFFFF;

    // Attribute 240 sits in slot 25, behind the empty slots 19 and 20.
    const auto fujitsu = test::PageOf("FUJITSU_MHY2120BH--0084000D", "smart-data");
    ASSERT_EQ(fujitsu[2 + 12 * 25], 240);
    ASSERT_EQ(fujitsu[2 + 12 * 19], 0);
    EXPECT_EQ(FindSMARTAttribute(fujitsu, 240), SMARTAttribute{});
    const auto fujitsuGrid = gridOf("FUJITSU_MHY2120BH--0084000D", RawValueFormat::Dec);
    EXPECT_EQ(rowOf(fujitsuGrid, "(F0h)")[0], "");
    // Raw bytes 00 00 00 00 D0 07: above 32 bits.
    EXPECT_EQ(rowOf(fujitsuGrid, "(05h)")[SmartColRaw], "8589934592000");

    // Value 118 below threshold 140 on a pre-failure attribute: "!!!", pink.
    const auto wdc = rowOf(gridOf("WDC_WD20EARS-00MVWB0", RawValueFormat::Hex), "(05h)");
    EXPECT_EQ(wdc[SmartColStatus], "!!!");
    EXPECT_EQ(SmartCellBackground(wdc, 4, false, plain, plain), SmartBelowThresholdColor);

    // Value 1 below threshold 20 without the pre-failure flag: "!!!", plain.
    const auto seagate = rowOf(gridOf("ST9100821AS--3.CME", RawValueFormat::Hex), "(04h)");
    EXPECT_EQ(seagate[SmartColFlags], "SC--O-");
    EXPECT_EQ(seagate[SmartColStatus], "!!!");
    EXPECT_EQ(SmartCellBackground(seagate, 3, false, plain, plain), plain);
}

} // namespace
} // namespace quorvane
