#include "monitor/Metrics.h"

#include <vector>

#include "platform/TerminalText.h"
#include "smart/SmartAttributes.h"
#include "smart/SmartHealth.h"

namespace quorvane {
namespace {

struct Attribute {
    uint8_t Id = 0;
    SMARTAttribute Decoded;
    uint8_t Threshold = 0;
};

// Every attribute of the data page in slot order, empty slots passed by; a
// repeated id counts once, in its first slot, as the lookups take it.
std::vector<Attribute> PageAttributes(const DriveReading& reading) {
    std::vector<Attribute> out;
    for (const uint8_t id : SMARTAttributeIds(reading.DataPage))
        out.push_back({id, FindSMARTAttribute(reading.DataPage, id, SlotWalk::WholePage),
                       FindSMARTThreshold(reading.ThresholdPage, id, SlotWalk::WholePage)});
    return out;
}

std::string AttributeName(uint8_t id) {
    for (const auto& entry : SMARTAttributeNames)
        if (entry.Id == id)
            return std::string(entry.Name);
    return std::to_string(id);
}

class Writer {
public:
    void Family(const char* name, const char* type, const char* help) {
        out_ += "# HELP ";
        out_ += name;
        out_ += ' ';
        out_ += help;
        out_ += "\n# TYPE ";
        out_ += name;
        out_ += ' ';
        out_ += type;
        out_ += '\n';
    }
    // labels: name/value pairs; values are escaped here.
    void Sample(const char* name, std::initializer_list<std::pair<const char*, std::string>> labels,
                const std::string& value) {
        out_ += name;
        if (labels.size() > 0) {
            out_ += '{';
            bool first = true;
            for (const auto& [label, text] : labels) {
                if (!first)
                    out_ += ',';
                first = false;
                out_ += label;
                out_ += "=\"";
                out_ += MetricLabelValue(text);
                out_ += '"';
            }
            out_ += '}';
        }
        out_ += ' ';
        out_ += value;
        out_ += '\n';
    }
    std::string Take() { return std::move(out_); }

private:
    std::string out_;
};

} // namespace

std::string MetricLabelValue(const std::string& text) {
    std::string out;
    for (const char c : DriveTerminalText(text)) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

std::optional<int> PowerModeMetric(PowerMode mode) {
    switch (mode) {
    case PowerMode::Standby:
    case PowerMode::Sleep:
        return 0;
    case PowerMode::Idle:
        return 1;
    case PowerMode::Active:
        return 2;
    case PowerMode::Unknown:
        break;
    }
    return std::nullopt;
}

namespace {

// The metrics of the found drives, one family after another.
class MetricsText {
public:
    explicit MetricsText(const ProgramData& data) : data_(data) {
        const int count = data.DriveCount < MaxDrives ? data.DriveCount : MaxDrives;
        for (int slot = 1; slot <= count; ++slot)
            slots.push_back(slot);
    }

    // What each drive is and how big.
    void Identity() {
        w.Family("smartctl_device", "gauge", "Device info");
        for (int slot : slots) {
            const HDD& d = data_.Drives[slot];
            w.Sample("smartctl_device",
                     {{"device", device(slot)},
                      {"model_name", d.ModelNumber},
                      {"serial_number", d.SerialNumber},
                      {"firmware_version", d.FirmwareRevision}},
                     "1");
        }

        w.Family("smartctl_device_capacity_bytes", "gauge", "Device capacity in bytes");
        for (int slot : slots) {
            const int64_t sectors = data_.Drives[slot].Sectors;
            const uint64_t bytes = sectors > 0 ? static_cast<uint64_t>(sectors) * 512u : 0;
            w.Sample("smartctl_device_capacity_bytes", {{"device", device(slot)}},
                     std::to_string(bytes));
        }
    }

    // The overall status and the temperatures.
    void Health() {
        w.Family("smartctl_device_smart_status", "gauge", "General smart status");
        for (int slot : slots) {
            const HDD& d = data_.Drives[slot];
            if (d.SMARTEnabled && d.SMARTStatusRead)
                w.Sample("smartctl_device_smart_status", {{"device", device(slot)}},
                         d.SMARTStatusOK ? "1" : "0");
        }

        w.Family("smartctl_device_temperature", "gauge", "Device temperature celsius");
        for (int slot : slots) {
            const HDD& d = data_.Drives[slot];
            if (!d.SMARTEnabled || !d.Reading.PagesRead)
                continue;
            const auto attributes = PageAttributes(d.Reading);
            for (const auto& [id, type] : {std::pair{SmartIdTemperature, "current"},
                                           std::pair{SmartIdAirflowTemperature, "airflow"}}) {
                for (const Attribute& a : attributes)
                    if (a.Id == id)
                        w.Sample("smartctl_device_temperature",
                                 {{"device", device(slot)}, {"temperature_type", type}},
                                 std::to_string(a.Decoded.RawBytes[0]));
            }
        }
    }

    // Every attribute on each read data page, one sample per value type.
    void Attributes() {
        w.Family("smartctl_device_attribute", "gauge", "Device attributes");
        for (int slot : slots) {
            const HDD& d = data_.Drives[slot];
            if (!d.SMARTEnabled || !d.Reading.PagesRead)
                continue;
            for (const Attribute& a : PageAttributes(d.Reading)) {
                const std::string id = std::to_string(a.Id);
                const std::string name = AttributeName(a.Id);
                const std::string flags = FormatAttributeFlags(a.Decoded.Flags);
                const std::pair<const char*, std::string> values[] = {
                    {"value", std::to_string(a.Decoded.Value)},
                    {"worst", std::to_string(a.Decoded.Worst)},
                    {"thresh", std::to_string(a.Threshold)},
                    {"raw", std::to_string(a.Decoded.Raw)},
                };
                for (const auto& [type, value] : values)
                    w.Sample("smartctl_device_attribute",
                             {{"device", device(slot)},
                              {"attribute_id", id},
                              {"attribute_name", name},
                              {"attribute_flags_short", flags},
                              {"attribute_value_type", type}},
                             value);
            }
        }
    }

    // What the program itself knows: power modes, failed reads, the last tick.
    void Program(std::optional<int64_t> lastTickSeconds) {
        w.Family("quorvane_device_power_mode", "gauge",
                 "Power mode the drive last answered (0 standby or asleep, 1 idle, 2 active)");
        for (int slot : slots)
            if (const auto mode = PowerModeMetric(data_.Drives[slot].Reading.Power))
                w.Sample("quorvane_device_power_mode", {{"device", device(slot)}},
                         std::to_string(*mode));

        w.Family("quorvane_read_failures_total", "counter",
                 "S.M.A.R.T. reads of the drive that failed since it was found");
        for (int slot : slots)
            w.Sample("quorvane_read_failures_total", {{"device", device(slot)}},
                     std::to_string(data_.Drives[slot].Reading.ReadFailures));

        if (lastTickSeconds) {
            w.Family("quorvane_last_tick_timestamp_seconds", "gauge",
                     "When the drives were last read, in seconds since the epoch");
            w.Sample("quorvane_last_tick_timestamp_seconds", {}, std::to_string(*lastTickSeconds));
        }
    }

    std::string Take() { return w.Take(); }

private:
    std::string device(int slot) const { return KernelDriveName(data_.Drives[slot].DriveNumber); }

    const ProgramData& data_;
    std::vector<int> slots;
    Writer w;
};

} // namespace

std::string FormatMetrics(const ProgramData& data, std::optional<int64_t> lastTickSeconds) {
    MetricsText text(data);
    text.Identity();
    text.Health();
    text.Attributes();
    text.Program(lastTickSeconds);
    return text.Take();
}

} // namespace quorvane
