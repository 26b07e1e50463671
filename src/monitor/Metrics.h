// The drives as Prometheus metrics, in the text exposition format that
// node_exporter's textfile collector reads. Names and labels are those of
// smartctl_exporter, so dashboards and alert rules made for it work.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "app/DriveTable.h"
#include "ata/DeviceNames.h"

namespace quorvane {

// A drive's text as a label value between its quotes: its 8-bit characters
// as UTF-8, every control character '?' (as everywhere the program prints a
// drive's text, so no line break or escape sequence gets into the file), and
// backslash and double quote escaped.
std::string MetricLabelValue(const std::string& text);

// quorvane_device_power_mode's value: 0 standby (or asleep), 1 idle,
// 2 active; nothing for a drive that did not say.
std::optional<int> PowerModeMetric(PowerMode mode);

// The text for slots 1..DriveCount, every family with # HELP and # TYPE:
//   smartctl_device{device, model_name, serial_number, firmware_version} 1
//   smartctl_device_capacity_bytes{device}
//   smartctl_device_smart_status{device}        1 healthy, 0 not; once a
//                                               status was asked
//   smartctl_device_temperature{device, temperature_type}
//                                               "current" from attribute 194,
//                                               "airflow" from 190
//   smartctl_device_attribute{device, attribute_id, attribute_name,
//       attribute_flags_short, attribute_value_type}
//                                               value, worst, thresh and raw
//                                               of every attribute on the page
//   quorvane_device_power_mode{device}
//   quorvane_read_failures_total{device}
//   quorvane_last_tick_timestamp_seconds        when given
// The attribute values come from each drive's own last complete read, so a
// drive left unread keeps its last values.
std::string FormatMetrics(const ProgramData& data,
                          std::optional<int64_t> lastTickSeconds = std::nullopt);

} // namespace quorvane
