// The S.M.A.R.T. data and threshold pages: lookups, health, temperatures,
// the grid rows and the report text.
#include <string>

#include "FuzzSupport.h"
#include "smart/SmartAttributes.h"
#include "smart/SmartGrid.h"
#include "smart/SmartHealth.h"
#include "smart/SmartReport.h"

using namespace quorvane;

namespace {

constexpr char Vendors[] = {'\0', 'S', 'W', 'M', 'H', 'A', 'F', 'I', 'T', 'Q', 'X'};

bool IsCaption(const std::string& text) {
    if (text == NotMeasuredText)
        return true;
    if (text.empty() || text.size() > 3)
        return false;
    return std::ranges::all_of(text, [](char c) { return c >= '0' && c <= '9'; });
}

uint64_t RawOf(const std::array<uint8_t, 6>& bytes) {
    uint64_t raw = 0;
    for (int i = 5; i >= 0; --i)
        raw = (raw << 8) | bytes[static_cast<size_t>(i)];
    return raw;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputReader in(data, size);
    const char vendor = Vendors[in.Byte() % sizeof Vendors];
    const RawValueFormat format = (in.Byte() & 1) ? RawValueFormat::Dec : RawValueFormat::Hex;
    const size_t shortLength = in.Word() % (SmartPageBytes + 1);
    const auto dataPage = in.Block(SmartPageBytes);
    const auto thresholdPage = in.Block(SmartPageBytes);

    for (int id = 0; id < 256; ++id) {
        const SMARTAttribute a = FindSMARTAttribute(dataPage, static_cast<uint8_t>(id));
        FUZZ_CHECK(a.Raw == RawOf(a.RawBytes));
        FUZZ_CHECK(a.Raw < (uint64_t{1} << 48));
        // A shorter page finds the same attribute or none.
        const std::vector<uint8_t> cut(dataPage.begin(), dataPage.begin() + shortLength);
        const SMARTAttribute b = FindSMARTAttribute(cut, static_cast<uint8_t>(id));
        FUZZ_CHECK(b == SMARTAttribute{} || b == a);
        const std::vector<uint8_t> cutThresholds(thresholdPage.begin(),
                                                 thresholdPage.begin() + shortLength);
        const uint8_t t = FindSMARTThreshold(cutThresholds, static_cast<uint8_t>(id));
        FUZZ_CHECK(t == 0 || t == FindSMARTThreshold(thresholdPage, static_cast<uint8_t>(id)));
        FUZZ_CHECK(std::string(AttributeStatusText(a.Value, t)) == AttributeOkText ||
                   std::string(AttributeStatusText(a.Value, t)) == AttributeBelowThresholdText);
        const std::string flags = FormatAttributeFlags(a.Flags);
        FUZZ_CHECK(flags.size() == 6);
    }

    const DriveTemperatures temperatures = ReadDriveTemperatures(dataPage, vendor);
    if (!VendorReportsTemperature(vendor))
        FUZZ_CHECK(temperatures.DriveTemperature == 0);
    const TemperatureCaptions captions = FormatTemperatureCaptions(temperatures);
    FUZZ_CHECK(IsCaption(captions.HDDTempL) && captions.HDDTempL != NotMeasuredText);
    FUZZ_CHECK(IsCaption(captions.HDDTempLoL));
    FUZZ_CHECK(IsCaption(captions.HDDTempHiL));
    FUZZ_CHECK(IsCaption(captions.HDDAirTempL));

    SmartGridModel grid;
    FillSmartGrid(grid, {dataPage, thresholdPage}, format);
    FUZZ_CHECK(grid.RowCount() >= 1 && grid.RowCount() <= 1 + int(SMARTAttributeNames.size()));
    FUZZ_CHECK(grid.Rows[0] == SmartGridHeader());
    for (size_t row = 1; row < grid.Rows.size(); ++row) {
        const SmartGridRow& cells = grid.Rows[row];
        const std::string& raw = cells[SmartColRaw];
        if (format == RawValueFormat::Hex)
            FUZZ_CHECK(raw.size() == 13 && raw.back() == 'h');
        else
            FUZZ_CHECK(!raw.empty() && raw.size() <= 15 && (raw.size() == 1 || raw[0] != '0'));
        FUZZ_CHECK(cells[SmartColFlags].size() == 6);
        FUZZ_CHECK(cells[SmartColStatus] == AttributeOkText ||
                   cells[SmartColStatus] == AttributeBelowThresholdText);
        FUZZ_CHECK(cells[SmartColName].size() >= 5 && cells[SmartColName][0] == '(');
        for (int column = 0; column < SmartGridColumns; ++column)
            (void)SmartCellBackground(cells, static_cast<int>(row), column == 0, 0, 0);
    }
    // A second fill over a grid that already holds rows gives the same grid.
    SmartGridModel again = grid;
    FillSmartGrid(again, {dataPage, thresholdPage}, format);
    FUZZ_CHECK(again == grid);
    const SmartGridHeights heights = ComputeSmartGridHeights(grid.RowCount());
    FUZZ_CHECK(heights.Sum == grid.RowCount() * (SmartGridDefaultRowHeight + 1));

    const std::string report = ComposeSmartReport("1/2/2026 10:00:00", {"MODEL", "FW", "SN"}, grid);
    size_t lines = 0;
    for (size_t at = 0; at < report.size();) {
        const size_t end = report.find("\r\n", at);
        FUZZ_CHECK(end != std::string::npos);
        const std::string line = report.substr(at, end - at);
        FUZZ_CHECK(line.find('\r') == std::string::npos && line.find('\n') == std::string::npos);
        if (lines >= 7)
            FUZZ_CHECK(line.size() >= SmartReportNameWidth + 5 * SmartReportCellWidth);
        ++lines;
        at = end + 2;
    }
    FUZZ_CHECK(lines == 7 + grid.Rows.size() - 1);
    return 0;
}
