// The S.M.A.R.T. grid of an NVMe controller: the health log as rows of a
// name, a value with its unit and a verdict, in the grid's name, raw and
// status columns (the attribute columns stay empty and hidden).
#pragma once

#include <string>

#include "nvme/NvmeHealth.h"
#include "nvme/NvmeIdentify.h"
#include "smart/SmartGrid.h"
#include "smart/SmartHealth.h"

namespace quorvane {

// "Health Information", "", "", "Value", "", "", "Status".
SmartGridRow NvmeGridHeader();
// A row of this grid: its flags cell is empty (an attribute's never is).
inline bool IsNvmeGridRow(const SmartGridRow& row) { return row[SmartColFlags].empty(); }
// A header cell that is empty belongs to a column the grid does not use.
inline bool GridColumnUsed(const SmartGridModel& grid, int column) {
    return !grid.Rows.empty() && !grid.Rows[0][static_cast<size_t>(column)].empty();
}

// A 128-bit counter as the raw column shows numbers: at least 12 upper-case
// hex digits and "h", or decimal.
std::string FormatNvmeCounter(Uint128 value, RawValueFormat format);
// "50 °C", or "..." when the controller reports none.
std::string NvmeTemperatureText(uint16_t kelvin);

// The whole grid from a health log. id, when given, adds the controller's
// warning and critical temperatures and judges the composite temperature
// against them.
SmartGridModel NvmeHealthGrid(const NvmeHealthLog& log, const NvmeControllerIdentity* id,
                              RawValueFormat format);

// The temperature captions: the composite temperature (or "...") in the
// drive's caption, the airflow ones "...".
TemperatureCaptions NvmeTemperatureCaptions(const NvmeHealthLog& log);

} // namespace quorvane
