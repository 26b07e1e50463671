#include "smart/NvmeHealthGrid.h"

#include <cstdio>

#include "smart/SmartHealth.h"

namespace quorvane {
namespace {

// The core's texts are 8-bit (Latin-1), as the drives' strings are: the
// degree sign is the one byte 0xB0.
constexpr const char* Degrees = " \xB0" "C";

struct Grid {
    SmartGridModel Model;
    void Add(const std::string& name, const std::string& value, bool bad = false,
             bool judged = true) {
        SmartGridRow row{};
        row[SmartColName] = name;
        row[SmartColRaw] = value;
        row[SmartColStatus] = !judged ? "" : bad ? AttributeBelowThresholdText : AttributeOkText;
        Model.Rows.push_back(std::move(row));
    }
};

std::string Hex8(uint8_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02X", static_cast<unsigned>(value));
    return text;
}

std::string Percent(unsigned value) { return std::to_string(value) + " %"; }

// "1.63 TB" style: bytes in decimal units with two decimals.
std::string DecimalSize(Uint128 bytes) {
    static constexpr const char* units[] = {"B", "kB", "MB", "GB", "TB", "PB", "EB", "ZB", "YB"};
    size_t unit = 0;
    Uint128 scaled = bytes * 100; // hundredths
    while (scaled >= 100000 && unit + 1 < std::size(units)) {
        scaled /= 1000;
        ++unit;
    }
    const std::string whole = Uint128Decimal(scaled / 100);
    const auto cents = static_cast<unsigned>(scaled % 100);
    char fraction[8];
    std::snprintf(fraction, sizeof fraction, ".%02u", cents);
    return whole + (unit ? fraction : "") + " " + units[unit];
}

} // namespace

SmartGridRow NvmeGridHeader() { return {"Health Information", "", "", "Value", "", "", "Status"}; }

std::string FormatNvmeCounter(Uint128 value, RawValueFormat format) {
    if (format == RawValueFormat::Dec)
        return Uint128Decimal(value);
    return Uint128Hex(value, 12) + "h";
}

std::string NvmeTemperatureText(uint16_t kelvin) {
    const auto celsius = NvmeCelsius(kelvin);
    return celsius ? std::to_string(*celsius) + Degrees : std::string(NotMeasuredText);
}

SmartGridModel NvmeHealthGrid(const NvmeHealthLog& log, const NvmeControllerIdentity* id,
                              RawValueFormat format) {
    Grid g;
    g.Model.Rows = {NvmeGridHeader()};
    // The bits are named where the status is (the tooltip, the report's
    // warnings line); the cell keeps the byte.
    g.Add("Critical Warning", Hex8(log.CriticalWarning), log.CriticalWarning != 0);
    const uint16_t warnK = id ? id->WarningTemperatureK : 0;
    const auto celsius = NvmeCelsius(log.CompositeTemperatureK);
    const bool hot = (log.CriticalWarning & NvmeWarnTemperature) ||
                     (celsius && warnK != 0 && log.CompositeTemperatureK >= warnK);
    g.Add("Composite Temperature", NvmeTemperatureText(log.CompositeTemperatureK), hot,
          celsius.has_value());
    if (id) {
        g.Add("Warning Temperature Threshold", NvmeTemperatureText(id->WarningTemperatureK), false,
              false);
        g.Add("Critical Temperature Threshold", NvmeTemperatureText(id->CriticalTemperatureK),
              false, false);
    }
    g.Add("Available Spare", Percent(log.AvailableSpare), log.AvailableSpare < log.SpareThreshold);
    g.Add("Available Spare Threshold", Percent(log.SpareThreshold), false, false);
    g.Add("Percentage Used", Percent(log.PercentageUsed), log.PercentageUsed >= 100);
    g.Add("Endurance Group Warning", Hex8(log.EnduranceGroupWarning),
          log.EnduranceGroupWarning != 0);
    auto units = [&](const char* name, Uint128 value) {
        g.Add(name, FormatNvmeCounter(value, format) + " [" + DecimalSize(NvmeDataUnitBytes(value)) +
                        "]",
              false, false);
    };
    units("Data Units Read", log.DataUnitsRead);
    units("Data Units Written", log.DataUnitsWritten);
    auto counter = [&](const char* name, Uint128 value, const char* unit = "") {
        g.Add(name, FormatNvmeCounter(value, format) + unit, false, false);
    };
    counter("Host Read Commands", log.HostReadCommands);
    counter("Host Write Commands", log.HostWriteCommands);
    counter("Controller Busy Time", log.ControllerBusyTime, " min");
    counter("Power Cycles", log.PowerCycles);
    counter("Power On Hours", log.PowerOnHours, " h");
    counter("Unsafe Shutdowns", log.UnsafeShutdowns);
    counter("Media and Data Integrity Errors", log.MediaErrors);
    counter("Error Information Log Entries", log.ErrorLogEntries);
    counter("Warning Temperature Time", log.WarningTemperatureTime, " min");
    counter("Critical Temperature Time", log.CriticalTemperatureTime, " min");
    for (size_t i = 0; i < log.SensorK.size(); ++i)
        if (NvmeCelsius(log.SensorK[i]))
            g.Add("Temperature Sensor " + std::to_string(i + 1), NvmeTemperatureText(log.SensorK[i]),
                  false, false);
    counter("Thermal Management T1 Transitions", log.Tmt1Transitions);
    counter("Thermal Management T2 Transitions", log.Tmt2Transitions);
    counter("Thermal Management T1 Time", log.Tmt1Seconds, " s");
    counter("Thermal Management T2 Time", log.Tmt2Seconds, " s");
    return std::move(g.Model);
}

TemperatureCaptions NvmeTemperatureCaptions(const NvmeHealthLog& log) {
    TemperatureCaptions captions;
    if (const auto celsius = NvmeCelsius(log.CompositeTemperatureK))
        captions.HDDTempL = std::to_string(*celsius);
    return captions;
}

} // namespace quorvane
