// The texts and geometry of the S.M.A.R.T. grid SMARTSG: one header row and
// one row per known attribute the drive reports.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "smart/SmartAttributes.h"

namespace quorvane {

inline constexpr int SmartGridColumns = 7;
using SmartGridRow = std::array<std::string, SmartGridColumns>;

// Column indices.
inline constexpr int SmartColName = 0;
inline constexpr int SmartColAttr = 1;
inline constexpr int SmartColWorst = 2;
inline constexpr int SmartColRaw = 3;
inline constexpr int SmartColThreshold = 4;
inline constexpr int SmartColFlags = 5;
inline constexpr int SmartColStatus = 6;

// The header row's texts.
SmartGridRow SmartGridHeader();

// The raw column's form, the RAWValuesRG choice: item 0 "HEX", item 1 "DEC".
enum class RawValueFormat { Hex = 0, Dec = 1 };
// The form of an item index (the "RAW Values" setting); any index but 1 is HEX.
constexpr RawValueFormat RawValueFormatOf(int index) {
    return index == 1 ? RawValueFormat::Dec : RawValueFormat::Hex;
}

// 12 upper-case hex digits and "h" (00000000002Ah), or decimal without
// leading zeros.
std::string FormatRawValue(uint64_t raw, RawValueFormat format);

// "(C2h) Temperature": the id as two upper-case hex digits, then the name.
std::string AttributeNameText(uint8_t id, std::string_view name);

// The seven texts of an attribute's row.
SmartGridRow AttributeRowTexts(uint8_t id, std::string_view name, const SMARTAttribute& attribute,
                               uint8_t threshold, RawValueFormat format);

// The two pages a grid is filled from.
struct SmartPages {
    std::span<const uint8_t> Data;
    std::span<const uint8_t> Thresholds;
};

// The grid's contents: Rows[0] is the header, row count = Rows.size().
struct SmartGridModel {
    std::vector<SmartGridRow> Rows{SmartGridHeader()};
    int RowCount() const { return static_cast<int>(Rows.size()); }
    bool operator==(const SmartGridModel&) const = default;
};

// An attribute the grid shows, with its threshold.
struct GridAttribute {
    uint8_t Id = 0;
    std::string_view Name;
    SMARTAttribute Decoded;
    uint8_t Threshold = 0;
};
// The attributes a whole fill gives rows to, in the grid's order.
std::vector<GridAttribute> GridAttributes(const SmartPages& pages);

// One step of a grid fill. For an id other than 0: an attribute whose value,
// worst and raw are all 0 counts as absent and adds no row; otherwise row
// `row` (grown into if needed) gets the attribute's texts and row moves on by
// one. For id 0 the grid is cut to `row` rows, which drops what a previous,
// longer fill left behind.
void FillAttributeRow(SmartGridModel& grid, const SmartPages& pages, RawValueFormat format,
                      uint8_t id, std::string_view name, int& row);

// A whole fill: every entry of SMARTAttributeNames in order with the row
// counter starting at 1, then id 0.
void FillSmartGrid(SmartGridModel& grid, const SmartPages& pages, RawValueFormat format);

// Heights after a fill. Every row adds its height plus 1 to the sum; the grid
// is sum + 4 high and the window's outer height is sum + 80.
inline constexpr int SmartGridDefaultRowHeight = 15;
struct SmartGridHeights {
    int Sum = 0;
    int Grid = 0;
    int Window = 0;
    bool operator==(const SmartGridHeights&) const = default;
};
SmartGridHeights ComputeSmartGridHeights(int rowCount, int rowHeight = SmartGridDefaultRowHeight);

// Cell backgrounds, 0x00BBGGRR.
inline constexpr uint32_t SmartSelectedCellColor = 0x00FACE87;
inline constexpr uint32_t SmartBelowThresholdColor = 0x00CBC0FF; // pink
inline constexpr uint32_t SmartAboveThresholdColor = 0x0090EE90; // light green

// The background of one cell (the painter of SMARTSG). A selected cell is
// light sky blue; the header row gets fixedColor and other rows gridColor,
// except that every cell of a pre-failure row (its flags contain "F") is
// pink when its value is below its threshold and light green otherwise. A
// row of an NVMe grid (no flags) is pink for "!!!", light green for "O.K."
// and plain without a verdict.
uint32_t SmartCellBackground(const SmartGridRow& rowTexts, int row, bool selected,
                             uint32_t fixedColor, uint32_t gridColor);

} // namespace quorvane
