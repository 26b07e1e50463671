// The grid's cell texts, its fill, its heights and its row colours.
#include <gtest/gtest.h>

#include "smart/SmartGrid.h"
#include "smart/SmartTestData.h"

namespace quorvane {
namespace {

TEST(SmartGridTexts, RawInHexAndDecimal) {
    EXPECT_EQ(FormatRawValue(42, RawValueFormat::Hex), "00000000002Ah");
    EXPECT_EQ(FormatRawValue(42, RawValueFormat::Dec), "42");
    EXPECT_EQ(FormatRawValue(1ull << 32, RawValueFormat::Hex), "000100000000h");
    EXPECT_EQ(FormatRawValue(1ull << 32, RawValueFormat::Dec), "4294967296");
    EXPECT_EQ(FormatRawValue(0, RawValueFormat::Hex), "000000000000h");
    EXPECT_EQ(FormatRawValue(0, RawValueFormat::Dec), "0");
    EXPECT_EQ(FormatRawValue(0xFFFFFFFFFFFF, RawValueFormat::Hex), "FFFFFFFFFFFFh");
    EXPECT_EQ(FormatRawValue(0xFFFFFFFFFFFF, RawValueFormat::Dec), "281474976710655");
}

TEST(SmartGridTexts, NameCellsAndHeader) {
    EXPECT_EQ(AttributeNameText(194, "Temperature"), "(C2h) Temperature");
    EXPECT_EQ(AttributeNameText(5, "Reallocated Sector Count"), "(05h) Reallocated Sector Count");
    EXPECT_EQ(AttributeNameText(10, "Spin Retry Count"), "(0Ah) Spin Retry Count");
    EXPECT_EQ(SmartGridHeader(),
              (SmartGridRow{"Name", "Attr", "Worst", "Raw", "Threshold", "Flags", "Status"}));
}

TEST(SmartGridTexts, RowOfAnAttribute) {
    SMARTAttribute a;
    a.Value = 100;
    a.Worst = 99;
    a.Raw = 42;
    a.Flags = 0x0033;
    EXPECT_EQ(AttributeRowTexts(5, "Reallocated Sector Count", a, 36, RawValueFormat::Hex),
              (SmartGridRow{"(05h) Reallocated Sector Count", "100", "99", "00000000002Ah", "36",
                            "SC--OF", "O.K."}));
    a.Value = 30;
    EXPECT_EQ(
        AttributeRowTexts(5, "Reallocated Sector Count", a, 36, RawValueFormat::Dec),
        (SmartGridRow{"(05h) Reallocated Sector Count", "30", "99", "42", "36", "SC--OF", "!!!"}));
}

class SmartGridFill : public ::testing::Test {
protected:
    SmartGridModel Fill(const std::array<uint8_t, 512>& data,
                        const std::array<uint8_t, 512>& thresholds,
                        RawValueFormat format = RawValueFormat::Hex) {
        FillSmartGrid(grid, {data, thresholds}, format);
        return grid;
    }
    SmartGridModel grid;
};

TEST_F(SmartGridFill, AllZeroAttributesAndUnknownIdsGiveNoRow) {
    const auto data = test::MakeDataPage({{0, {9, 0x32, 0, 0, {}}},      // all 0: absent
                                          {1, {14, 0x33, 100, 100, {}}}, // id without a name
                                          {2, {194, 0x22, 0, 0, {1}}},   // raw alone counts
                                          {3, {231, 0x22, 0, 5, {}}},
                                          {4, {12, 0x32, 7, 0, {}}}});
    const auto rows = Fill(data, {}).Rows;
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[1][SmartColName], "(0Ch) Power Cycle Count"); // display order, not slots
    EXPECT_EQ(rows[2][SmartColName], "(C2h) Temperature");
    EXPECT_EQ(rows[3][SmartColName], "(E7h) Temperature"); // both "Temperature" rows
    EXPECT_EQ(rows[3][SmartColThreshold], "0");            // no threshold entry
}

TEST_F(SmartGridFill, CounterMovesOnlyForShownRowsAndIdZeroCutsTheGrid) {
    const std::array<uint8_t, 512> none{};
    const auto data = test::MakeDataPage({{0, {1, 0x0B, 100, 100, {}}}, {1, {3, 0, 0, 0, {}}}});
    int row = 1;
    FillAttributeRow(grid, {data, none}, RawValueFormat::Hex, 3, "Spin Up Time", row);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(grid.RowCount(), 1);
    FillAttributeRow(grid, {data, none}, RawValueFormat::Hex, 1, "Raw Read Error Rate", row);
    EXPECT_EQ(row, 2);
    EXPECT_EQ(grid.RowCount(), 2);

    // A longer previous fill: rows beyond the new counter vanish at id 0.
    grid.Rows.resize(30, SmartGridRow{"old"});
    row = 1;
    FillAttributeRow(grid, {data, none}, RawValueFormat::Hex, 1, "Raw Read Error Rate", row);
    EXPECT_EQ(grid.RowCount(), 30);
    FillAttributeRow(grid, {data, none}, RawValueFormat::Hex, 0, "", row);
    EXPECT_EQ(grid.RowCount(), 2);
    EXPECT_EQ(grid.Rows[0], SmartGridHeader());
    EXPECT_EQ(grid.Rows[1][SmartColFlags], "--E-OF");
}

TEST_F(SmartGridFill, NoKnownAttributeLeavesTheHeaderOnly) {
    grid.Rows.resize(12, SmartGridRow{"old"});
    const auto data = test::MakeDataPage({{0, {14, 0x33, 100, 100, {}}}, {1, {255, 0, 1, 1, {}}}});
    EXPECT_EQ(Fill(data, {}).Rows, (std::vector<SmartGridRow>{SmartGridHeader()}));
}

TEST_F(SmartGridFill, RowsFollowTheDisplayOrderNotTheSlotOrder) {
    // 30 known ids, in the page in reverse display order.
    std::map<int, test::PageSlot> slots;
    for (int k = 0; k < 30; ++k)
        slots[29 - k] = {SMARTAttributeNames[static_cast<size_t>(k)].Id, 0, 1, 1, {}};
    const auto rows = Fill(test::MakeDataPage(slots), {}).Rows;
    ASSERT_EQ(rows.size(), 31u);
    for (size_t r = 1; r < rows.size(); ++r)
        EXPECT_EQ(rows[r][SmartColName], AttributeNameText(SMARTAttributeNames[r - 1].Id,
                                                           SMARTAttributeNames[r - 1].Name));
}

TEST(SmartGridHeights, SumGridAndWindow) {
    EXPECT_EQ(ComputeSmartGridHeights(1), (SmartGridHeights{16, 20, 96}));     // no attribute
    EXPECT_EQ(ComputeSmartGridHeights(21), (SmartGridHeights{336, 340, 416})); // 20 attributes
    EXPECT_EQ(ComputeSmartGridHeights(38), (SmartGridHeights{608, 612, 688})); // all 37
    EXPECT_EQ(ComputeSmartGridHeights(2, 20), (SmartGridHeights{42, 46, 122}));
}

TEST(SmartCellBackground, OnlyPreFailureRowsAreColoured) {
    constexpr uint32_t fixed = 0x00F0F0F0, plain = 0x00FFFFFF;
    const SmartGridRow green{
        "(05h) Reallocated Sector Count", "100", "100", "000000000000h", "36", "SC--OF", "O.K."};
    SmartGridRow pink = green;
    pink[SmartColAttr] = "30";
    SmartGridRow tie = green;
    tie[SmartColAttr] = "36";
    const SmartGridRow noF{"(09h) Power-On Hours Count", "1", "1", "0", "20", "SC--O-", "!!!"};

    EXPECT_EQ(SmartCellBackground(green, 1, false, fixed, plain), 0x0090EE90u); // light green
    EXPECT_EQ(SmartCellBackground(pink, 1, false, fixed, plain), 0x00CBC0FFu);  // pink
    EXPECT_EQ(SmartCellBackground(tie, 3, false, fixed, plain), SmartAboveThresholdColor);
    EXPECT_EQ(SmartCellBackground(noF, 2, false, fixed, plain), plain);
    EXPECT_EQ(SmartCellBackground(pink, 2, true, fixed, plain), 0x00FACE87u); // selected
    EXPECT_EQ(SmartCellBackground(SmartGridHeader(), 0, false, fixed, plain), fixed);
    EXPECT_EQ(SmartCellBackground(SmartGridHeader(), 0, true, fixed, plain),
              SmartSelectedCellColor);
    // The header row is never coloured, even with an "F" in it.
    EXPECT_EQ(SmartCellBackground(pink, 0, false, fixed, plain), fixed);
    // Empty cells keep the plain background.
    SmartGridRow emptyValue = pink;
    emptyValue[SmartColAttr] = "";
    EXPECT_EQ(SmartCellBackground(emptyValue, 1, false, fixed, plain), plain);
    EXPECT_EQ(SmartCellBackground(SmartGridRow{}, 5, false, fixed, plain), plain);
}

} // namespace
} // namespace quorvane
