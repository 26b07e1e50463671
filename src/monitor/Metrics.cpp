#include "monitor/Metrics.h"

#include <set>
#include <vector>

#include "platform/TerminalText.h"
#include "smart/SmartAttributes.h"
#include "smart/SmartHealth.h"

namespace quorvane {
namespace {

// One slot of a page, by number: the walk of the lookups stops at the first
// empty slot, but every attribute on the page is exported.
std::span<const uint8_t> PageSlot(const SmartPage& page, size_t k) {
    return std::span<const uint8_t>(page).subspan(SmartFirstSlotOffset + k * SmartSlotBytes,
                                                  SmartSlotBytes);
}

struct Attribute {
    uint8_t Id = 0;
    uint16_t Flags = 0;
    uint8_t Value = 0;
    uint8_t Worst = 0;
    uint8_t Threshold = 0;
    uint64_t Raw = 0;
    uint8_t RawLow = 0; // the raw value's first byte
};

// Every attribute of the data page in slot order; a repeated id counts once,
// in its first slot, as the lookups take it.
std::vector<Attribute> PageAttributes(const DriveReading& reading) {
    std::vector<Attribute> out;
    std::set<uint8_t> seen;
    for (size_t k = 0; k < SmartSlotCount; ++k) {
        const auto slot = PageSlot(reading.DataPage, k);
        if (slot[0] == 0 || !seen.insert(slot[0]).second)
            continue;
        Attribute a;
        a.Id = slot[0];
        a.Flags = static_cast<uint16_t>(slot[1] | (slot[2] << 8));
        a.Value = slot[3];
        a.Worst = slot[4];
        for (int b = 5; b >= 0; --b)
            a.Raw = (a.Raw << 8) | slot[5 + static_cast<size_t>(b)];
        a.RawLow = slot[5];
        for (size_t t = 0; t < SmartSlotCount; ++t) {
            const auto threshold = PageSlot(reading.ThresholdPage, t);
            if (threshold[0] == a.Id) {
                a.Threshold = threshold[1];
                break;
            }
        }
        out.push_back(a);
    }
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

std::string FormatMetrics(const ProgramData& data, std::optional<int64_t> lastTickSeconds) {
    const int count = data.DriveCount < MaxDrives ? data.DriveCount : MaxDrives;
    std::vector<int> slots;
    for (int slot = 1; slot <= count; ++slot)
        slots.push_back(slot);
    auto device = [&](int slot) { return KernelDriveName(data.Drives[slot].DriveNumber); };
    Writer w;

    w.Family("smartctl_device", "gauge", "Device info");
    for (int slot : slots) {
        const HDD& d = data.Drives[slot];
        w.Sample("smartctl_device",
                 {{"device", device(slot)},
                  {"model_name", d.ModelNumber},
                  {"serial_number", d.SerialNumber},
                  {"firmware_version", d.FirmwareRevision}},
                 "1");
    }

    w.Family("smartctl_device_capacity_bytes", "gauge", "Device capacity in bytes");
    for (int slot : slots) {
        const int64_t sectors = data.Drives[slot].Sectors;
        const uint64_t bytes = sectors > 0 ? static_cast<uint64_t>(sectors) * 512u : 0;
        w.Sample("smartctl_device_capacity_bytes", {{"device", device(slot)}},
                 std::to_string(bytes));
    }

    w.Family("smartctl_device_smart_status", "gauge", "General smart status");
    for (int slot : slots) {
        const HDD& d = data.Drives[slot];
        if (d.SMARTEnabled && d.SMARTStatusRead)
            w.Sample("smartctl_device_smart_status", {{"device", device(slot)}},
                     d.SMARTStatusOK ? "1" : "0");
    }

    w.Family("smartctl_device_temperature", "gauge", "Device temperature celsius");
    for (int slot : slots) {
        const HDD& d = data.Drives[slot];
        if (!d.SMARTEnabled || !d.Reading.PagesRead)
            continue;
        const auto attributes = PageAttributes(d.Reading);
        for (const auto& [id, type] : {std::pair{SmartIdTemperature, "current"},
                                       std::pair{SmartIdAirflowTemperature, "airflow"}}) {
            for (const Attribute& a : attributes)
                if (a.Id == id)
                    w.Sample("smartctl_device_temperature",
                             {{"device", device(slot)}, {"temperature_type", type}},
                             std::to_string(a.RawLow));
        }
    }

    w.Family("smartctl_device_attribute", "gauge", "Device attributes");
    for (int slot : slots) {
        const HDD& d = data.Drives[slot];
        if (!d.SMARTEnabled || !d.Reading.PagesRead)
            continue;
        for (const Attribute& a : PageAttributes(d.Reading)) {
            const std::string id = std::to_string(a.Id);
            const std::string name = AttributeName(a.Id);
            const std::string flags = FormatAttributeFlags(a.Flags);
            const std::pair<const char*, std::string> values[] = {
                {"value", std::to_string(a.Value)},
                {"worst", std::to_string(a.Worst)},
                {"thresh", std::to_string(a.Threshold)},
                {"raw", std::to_string(a.Raw)},
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

    w.Family("quorvane_device_power_mode", "gauge",
             "Power mode the drive last answered (0 standby or asleep, 1 idle, 2 active)");
    for (int slot : slots)
        if (const auto mode = PowerModeMetric(data.Drives[slot].Reading.Power))
            w.Sample("quorvane_device_power_mode", {{"device", device(slot)}},
                     std::to_string(*mode));

    w.Family("quorvane_read_failures_total", "counter",
             "S.M.A.R.T. reads of the drive that failed since it was found");
    for (int slot : slots)
        w.Sample("quorvane_read_failures_total", {{"device", device(slot)}},
                 std::to_string(data.Drives[slot].Reading.ReadFailures));

    if (lastTickSeconds) {
        w.Family("quorvane_last_tick_timestamp_seconds", "gauge",
                 "When the drives were last read, in seconds since the epoch");
        w.Sample("quorvane_last_tick_timestamp_seconds", {}, std::to_string(*lastTickSeconds));
    }
    return w.Take();
}

} // namespace quorvane
