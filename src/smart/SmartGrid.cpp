#include "smart/SmartGrid.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <optional>

#include "smart/SmartHealth.h"

namespace quorvane {
namespace {

std::optional<long long> ParseInteger(const std::string& text) {
    long long value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (text.empty() || ec != std::errc() || ptr != end)
        return std::nullopt;
    return value;
}

} // namespace

SmartGridRow SmartGridHeader() {
    return {"Name", "Attr", "Worst", "Raw", "Threshold", "Flags", "Status"};
}

std::string FormatRawValue(uint64_t raw, RawValueFormat format) {
    if (format == RawValueFormat::Dec)
        return std::to_string(raw);
    // A raw value is 48 bits, so 12 digits always hold it.
    char text[32];
    std::snprintf(text, sizeof text, "%012llXh", static_cast<unsigned long long>(raw));
    return text;
}

std::string AttributeNameText(uint8_t id, std::string_view name) {
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "(%02Xh) ", static_cast<unsigned>(id));
    return prefix + std::string(name);
}

SmartGridRow AttributeRowTexts(uint8_t id, std::string_view name, const SMARTAttribute& attribute,
                               uint8_t threshold, RawValueFormat format) {
    return {AttributeNameText(id, name),
            std::to_string(attribute.Value),
            std::to_string(attribute.Worst),
            FormatRawValue(attribute.Raw, format),
            std::to_string(threshold),
            FormatAttributeFlags(attribute.Flags),
            AttributeStatusText(attribute.Value, threshold)};
}

namespace {

// An attribute whose value, worst and raw are all 0 is not there.
bool Present(const SMARTAttribute& a) {
    return a.Value != 0 || a.Worst != 0 || a.Raw != 0;
}

} // namespace

std::vector<GridAttribute> GridAttributes(const SmartPages& pages) {
    std::vector<GridAttribute> shown;
    for (const auto& entry : SMARTAttributeNames)
        if (const SMARTAttribute a = FindSMARTAttribute(pages.Data, entry.Id); Present(a))
            shown.push_back({entry.Id, entry.Name, a, FindSMARTThreshold(pages.Thresholds, entry.Id)});
    return shown;
}

void FillAttributeRow(SmartGridModel& grid, const SmartPages& pages, RawValueFormat format,
                      uint8_t id, std::string_view name, int& row) {
    if (row < 1)
        row = 1; // row 0 is the header and is never overwritten
    if (id == 0) {
        grid.Rows.resize(static_cast<size_t>(row));
        return;
    }
    const SMARTAttribute attribute = FindSMARTAttribute(pages.Data, id);
    if (!Present(attribute))
        return;
    if (grid.RowCount() < row + 1)
        grid.Rows.resize(static_cast<size_t>(row) + 1);
    grid.Rows[static_cast<size_t>(row)] =
        AttributeRowTexts(id, name, attribute, FindSMARTThreshold(pages.Thresholds, id), format);
    ++row;
}

void FillSmartGrid(SmartGridModel& grid, const SmartPages& pages, RawValueFormat format) {
    int row = 1;
    for (const auto& entry : SMARTAttributeNames)
        FillAttributeRow(grid, pages, format, entry.Id, entry.Name, row);
    FillAttributeRow(grid, pages, format, 0, {}, row);
}

SmartGridHeights ComputeSmartGridHeights(int rowCount, int rowHeight) {
    SmartGridHeights h;
    h.Sum = std::max(rowCount, 0) * (rowHeight + 1);
    h.Grid = h.Sum + 4;
    h.Window = h.Sum + 80;
    return h;
}

uint32_t SmartCellBackground(const SmartGridRow& rowTexts, int row, bool selected,
                             uint32_t fixedColor, uint32_t gridColor) {
    if (selected)
        return SmartSelectedCellColor;
    if (row < 1)
        return fixedColor;
    const std::string& flags = rowTexts[SmartColFlags];
    // An NVMe row has no flags: a judged one is coloured by its verdict as a
    // pre-failure attribute is by its threshold.
    if (flags.empty()) {
        const std::string& status = rowTexts[SmartColStatus];
        if (status == AttributeBelowThresholdText)
            return SmartBelowThresholdColor;
        return status == AttributeOkText ? SmartAboveThresholdColor : gridColor;
    }
    if (flags.find('F') == std::string::npos)
        return gridColor;
    const auto value = ParseInteger(rowTexts[SmartColAttr]);
    const auto threshold = ParseInteger(rowTexts[SmartColThreshold]);
    // Only the fill writes these cells, so they are numbers; a cell that is
    // not keeps the plain background.
    if (!value || !threshold)
        return gridColor;
    return *value < *threshold ? SmartBelowThresholdColor : SmartAboveThresholdColor;
}

} // namespace quorvane
