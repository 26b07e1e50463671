#include "monitor/Metrics.h"

#include <vector>

#include "app/SelfTests.h"
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
    for (const PageAttribute& a : SMARTAttributesOnPage(reading.DataPage))
        out.push_back({a.Id, a.Decoded,
                       FindSMARTThreshold(reading.ThresholdPage, a.Id, SlotWalk::WholePage)});
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
            if (d.IsNvme()) {
                if (const auto celsius = NvmeCelsius(d.Reading.NvmeHealth->CompositeTemperatureK))
                    w.Sample("smartctl_device_temperature",
                             {{"device", device(slot)}, {"temperature_type", "current"}},
                             std::to_string(*celsius));
                continue;
            }
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
            if (!d.SMARTEnabled || !d.Reading.PagesRead || d.IsNvme())
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

    // The NVMe health logs, under smartctl_exporter's names; nothing at all
    // while no NVMe drive has been read.
    void NvmeHealth() {
        std::vector<std::pair<int, const NvmeHealthLog*>> logs;
        for (int slot : slots)
            if (const HDD& d = data_.Drives[slot]; d.IsNvme() && d.Reading.NvmeHealth)
                logs.emplace_back(slot, &*d.Reading.NvmeHealth);
        if (logs.empty())
            return;
        struct Family {
            const char* Name;
            const char* Type;
            const char* Help;
            Uint128 (*Value)(const NvmeHealthLog&);
        };
        static constexpr Family families[] = {
            {"smartctl_device_critical_warning", "gauge", "Critical warning bits of the NVMe health log",
             [](const NvmeHealthLog& l) -> Uint128 { return l.CriticalWarning; }},
            {"smartctl_device_available_spare", "gauge", "Normalized percentage of remaining spare capacity",
             [](const NvmeHealthLog& l) -> Uint128 { return l.AvailableSpare; }},
            {"smartctl_device_available_spare_threshold", "gauge",
             "Spare capacity percentage below which the drive warns",
             [](const NvmeHealthLog& l) -> Uint128 { return l.SpareThreshold; }},
            {"smartctl_device_percentage_used", "gauge", "Percentage of the rated endurance used",
             [](const NvmeHealthLog& l) -> Uint128 { return l.PercentageUsed; }},
            {"smartctl_device_media_errors", "counter", "Media and data integrity errors",
             [](const NvmeHealthLog& l) { return l.MediaErrors; }},
            {"smartctl_device_num_err_log_entries", "counter", "Error information log entries over the drive's life",
             [](const NvmeHealthLog& l) { return l.ErrorLogEntries; }},
            {"smartctl_device_bytes_read", "counter", "Bytes read by the host",
             [](const NvmeHealthLog& l) { return NvmeDataUnitBytes(l.DataUnitsRead); }},
            {"smartctl_device_bytes_written", "counter", "Bytes written by the host",
             [](const NvmeHealthLog& l) { return NvmeDataUnitBytes(l.DataUnitsWritten); }},
            {"smartctl_device_power_on_seconds", "counter", "Device power on seconds",
             [](const NvmeHealthLog& l) { return l.PowerOnHours * 3600; }},
            {"smartctl_device_power_cycle_count", "counter", "Device power cycle count",
             [](const NvmeHealthLog& l) { return l.PowerCycles; }},
        };
        for (const Family& f : families) {
            w.Family(f.Name, f.Type, f.Help);
            for (const auto& [slot, log] : logs)
                w.Sample(f.Name, {{"device", device(slot)}}, Uint128Decimal(f.Value(*log)));
        }
    }

    // The ATA drives' own logs, under smartctl_exporter's names, and a test
    // under way; nothing while no drive's logs were read.
    void Logs() {
        std::vector<int> read;
        for (int slot : slots)
            if (const HDD& d = data_.Drives[slot]; !d.IsNvme() && d.Reading.Logs.Known)
                read.push_back(slot);
        if (read.empty())
            return;
        w.Family("smartctl_device_self_test_log_count", "gauge", "Device SMART self test log count");
        for (int slot : read)
            w.Sample("smartctl_device_self_test_log_count",
                     {{"device", device(slot)}, {"self_test_log_type", "standard"}},
                     std::to_string(data_.Drives[slot].Reading.Logs.SelfTests));
        w.Family("smartctl_device_self_test_log_error_count", "gauge",
                 "Device SMART self test log error count");
        for (int slot : read)
            w.Sample("smartctl_device_self_test_log_error_count",
                     {{"device", device(slot)}, {"self_test_log_type", "standard"}},
                     std::to_string(data_.Drives[slot].Reading.Logs.FailedSelfTests));
        w.Family("smartctl_device_error_log_count", "gauge", "Device SMART error log count");
        for (int slot : read)
            if (const auto count = data_.Drives[slot].Reading.Logs.ErrorCount)
                w.Sample("smartctl_device_error_log_count",
                         {{"device", device(slot)}, {"error_log_type", "summary"}},
                         std::to_string(*count));
        w.Family("quorvane_device_self_test_in_progress", "gauge",
                 "Percent of the running self-test still to do; 0 while none runs");
        for (int slot : read) {
            const auto running = RunningSelfTest(data_.Drives[slot]);
            w.Sample("quorvane_device_self_test_in_progress", {{"device", device(slot)}},
                     std::to_string(running ? running->PercentRemaining : 0));
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
    std::string device(int slot) const { return DeviceName(data_.Drives[slot]); }

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
    text.NvmeHealth();
    text.Logs();
    text.Program(lastTickSeconds);
    return text.Take();
}

} // namespace quorvane
