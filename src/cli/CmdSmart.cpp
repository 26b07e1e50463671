// quorvane-cli smart SLOT [--dec] [--json]: the S.M.A.R.T. window of one slot.
#include <algorithm>
#include <iostream>

#include "cli/CliJson.h"
#include "cli/CliScan.h"
#include "smart/NvmeHealthGrid.h"
#include "app/NvmeLogs.h"
#include "app/ReadSmart.h"
#include "platform/TerminalText.h"

namespace quorvane::cli {
namespace {

std::optional<int> Measured(uint8_t celsius) {
    return celsius != 0 ? std::optional<int>(celsius) : std::nullopt;
}

JsonDigits Digits(Uint128 value) {
    return {Uint128Decimal(value)};
}

// One attribute of the grid: the page's numbers, smartctl's flag names and
// the grid's verdict; when_failed follows the verdict's rule (below, not at,
// the threshold).
void WriteAttribute(JsonWriter& json, const GridAttribute& a, RawValueFormat format) {
    const uint16_t f = a.Decoded.Flags;
    json.BeginObject()
        .Field("id", int{a.Id})
        .Field("name", a.Name)
        .Field("value", int{a.Decoded.Value})
        .Field("worst", int{a.Decoded.Worst})
        .Field("thresh", int{a.Threshold})
        .Field("when_failed", a.Decoded.Value < a.Threshold   ? "now"
                              : a.Decoded.Worst < a.Threshold ? "past"
                                                              : "");
    json.BeginObject("flags")
        .Field("value", int{f})
        .Field("string", FormatAttributeFlags(f))
        .Field("prefailure", (f & 0x01) != 0)
        .Field("updated_online", (f & 0x02) != 0)
        .Field("performance", (f & 0x04) != 0)
        .Field("error_rate", (f & 0x08) != 0)
        .Field("event_count", (f & 0x10) != 0)
        .Field("auto_keep", (f & 0x20) != 0)
        .End();
    json.BeginObject("raw")
        .Field("value", a.Decoded.Raw)
        .Field("string", FormatRawValue(a.Decoded.Raw, format))
        .End();
    json.Field("verdict", AttributeStatusText(a.Decoded.Value, a.Threshold)).End();
}

void WriteAtaReading(JsonWriter& json, const HDD& drive, RawValueFormat format) {
    const DriveTemperatures t = ReadDriveTemperatures(drive.Reading.DataPage, drive.Vendor);
    json.BeginObject("temperature")
        .Field("current", Measured(t.DriveTemperature))
        .Field("airflow", Measured(t.Airflow))
        .Field("airflow_lowest", Measured(t.AirflowLow))
        .Field("airflow_highest", Measured(t.AirflowHigh))
        .Field("op_limit_max", std::nullopt)
        .Field("critical_limit_max", std::nullopt)
        .End();
    json.BeginObject("ata_smart_attributes").BeginArray("table");
    for (const GridAttribute& a : GridAttributes({drive.Reading.DataPage, drive.Reading.ThresholdPage}))
        WriteAttribute(json, a, format);
    json.End().End();
}

std::optional<int> Celsius(uint16_t kelvin) {
    return NvmeCelsius(kelvin);
}

// The health log under smartctl's names, counters whole.
void WriteNvmeReading(JsonWriter& json, const HDD& drive, const SmartGridModel& grid) {
    const NvmeHealthLog& log = *drive.Reading.NvmeHealth;
    const NvmeControllerIdentity* id = drive.Nvme ? &drive.Nvme->Controller : nullptr;
    json.BeginObject("temperature")
        .Field("current", Celsius(log.CompositeTemperatureK))
        .Field("airflow", std::nullopt)
        .Field("airflow_lowest", std::nullopt)
        .Field("airflow_highest", std::nullopt)
        .Field("op_limit_max", id ? Celsius(id->WarningTemperatureK) : std::nullopt)
        .Field("critical_limit_max", id ? Celsius(id->CriticalTemperatureK) : std::nullopt)
        .End();
    json.BeginObject("power_on_time").Field("hours", Digits(log.PowerOnHours)).End();
    json.Field("power_cycle_count", Digits(log.PowerCycles));
    json.BeginObject("nvme_smart_health_information_log")
        .Field("critical_warning", int{log.CriticalWarning})
        .Field("temperature", Celsius(log.CompositeTemperatureK))
        .Field("available_spare", int{log.AvailableSpare})
        .Field("available_spare_threshold", int{log.SpareThreshold})
        .Field("percentage_used", int{log.PercentageUsed})
        .Field("endurance_group_critical_warning", int{log.EnduranceGroupWarning})
        .Field("data_units_read", Digits(log.DataUnitsRead))
        .Field("data_units_written", Digits(log.DataUnitsWritten))
        .Field("host_reads", Digits(log.HostReadCommands))
        .Field("host_writes", Digits(log.HostWriteCommands))
        .Field("controller_busy_time", Digits(log.ControllerBusyTime))
        .Field("power_cycles", Digits(log.PowerCycles))
        .Field("power_on_hours", Digits(log.PowerOnHours))
        .Field("unsafe_shutdowns", Digits(log.UnsafeShutdowns))
        .Field("media_errors", Digits(log.MediaErrors))
        .Field("num_err_log_entries", Digits(log.ErrorLogEntries))
        .Field("warning_temp_time", log.WarningTemperatureTime)
        .Field("critical_comp_time", log.CriticalTemperatureTime);
    // Sensors up to the last one reported; one not reported in between is null.
    size_t sensors = log.SensorK.size();
    while (sensors > 0 && !Celsius(log.SensorK[sensors - 1]))
        --sensors;
    json.BeginArray("temperature_sensors");
    for (size_t i = 0; i < sensors; ++i)
        json.Item(Celsius(log.SensorK[i]));
    json.End();
    json.Field("thm_temp1_trans_count", log.Tmt1Transitions)
        .Field("thm_temp2_trans_count", log.Tmt2Transitions)
        .Field("thm_temp1_total_time", log.Tmt1Seconds)
        .Field("thm_temp2_total_time", log.Tmt2Seconds)
        .End();
    // The grid's rows with their verdicts, as the window shows them.
    json.BeginArray("nvme_health_grid");
    for (size_t r = 1; r < grid.Rows.size(); ++r) {
        const SmartGridRow& row = grid.Rows[r];
        json.BeginObject()
            .Field("name", Latin1ToUtf8(row[SmartColName]))
            .Field("value", Latin1ToUtf8(row[SmartColRaw]));
        if (row[SmartColStatus].empty())
            json.Field("verdict", std::nullopt);
        else
            json.Field("verdict", row[SmartColStatus]);
        json.End();
    }
    json.End();
}

void PrintJson(CliContext& ctx, int slot, const HDD& drive, const SmartScreen& screen) {
    JsonWriter json = BeginJsonDocument(ctx);
    json.Field("slot", slot);
    WriteDriveIdentity(json, drive);
    json.BeginObject("smart_status")
        .Field("passed", drive.SMARTStatusOK)
        .Field("string", screen.SMARTStatusL)
        .End();
    json.BeginArray("warnings");
    for (const std::string& concern : DriveConcerns(drive))
        json.Item(concern);
    json.End();
    json.Field("raw_values_format", screen.RAWValuesRG == RawValueFormat::Dec ? "dec" : "hex");
    if (drive.IsNvme())
        WriteNvmeReading(json, drive, screen.SMARTSG);
    else
        WriteAtaReading(json, drive, screen.RAWValuesRG);
    PrintJsonDocument(json);
}

// Columns on a terminal: a UTF-8 continuation byte takes none.
size_t TextWidth(const std::string& text) {
    return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

// The columns the grid uses (an NVMe grid leaves the attribute columns
// empty), each as wide as its widest cell, two blanks between them.
void PrintGrid(const SmartGridModel& grid) {
    std::array<size_t, SmartGridColumns> widths{};
    for (const auto& row : grid.Rows)
        for (size_t c = 0; c < row.size(); ++c)
            widths[c] = std::max(widths[c], TextWidth(Latin1ToUtf8(row[c])));
    for (const auto& row : grid.Rows) {
        std::string line;
        for (size_t c = 0; c < row.size(); ++c) {
            if (!GridColumnUsed(grid, static_cast<int>(c)))
                continue;
            if (!line.empty())
                line += "  ";
            const std::string cell = Latin1ToUtf8(row[c]);
            line += cell;
            line.append(widths[c] - TextWidth(cell), ' ');
        }
        line.erase(line.find_last_not_of(' ') + 1);
        std::cout << line << "\n";
    }
}

void PrintText(const HDD& drive, int slot, const SmartScreen& screen) {
    const TemperatureCaptions& t = screen.Temperatures;
    std::cout << "Slot " << slot << ": " << DriveTerminalText(drive.ModelNumber) << "\n"
              << "S.M.A.R.T.: " << screen.SMARTStatusL << "\n";
    if (const auto concerns = DriveConcerns(drive); !concerns.empty()) {
        std::cout << "Warnings:";
        for (size_t i = 0; i < concerns.size(); ++i)
            std::cout << (i ? ", " : " ") << concerns[i];
        std::cout << "\n";
    }
    std::cout << "Temperature, °C: " << t.HDDTempL << "  Low: " << t.HDDTempLoL
              << "  High: " << t.HDDTempHiL << "  Airflow: " << t.HDDAirTempL << "\n"
              << "RAW Values: " << (screen.RAWValuesRG == RawValueFormat::Dec ? "DEC" : "HEX")
              << "\n\n";
    PrintGrid(screen.SMARTSG);
}

} // namespace

int RunSmart(CliContext& ctx) {
    const bool json = TakeFlag(ctx.Args, "--json");
    const bool dec = TakeFlag(ctx.Args, "--dec");
    std::string problem = OperandProblem("smart", ctx.Args, {"SLOT"});
    if (problem.empty())
        problem = SlotProblem(ctx.Args[0]);
    if (!problem.empty())
        return UsageError("smart", problem, CommandUsage("smart"));
    int slot = 0;
    ParseSlot(ctx.Args[0], slot);
    ProgramData& data = ctx.App().Data();
    if (!ScanForSlot(ctx, data, slot, !json))
        return NoDriveInSlot(ctx, data, slot, json);
    const bool result =
        ReadSMART(data, ctx.Bus(), slot, true, dec ? RawValueFormat::Dec : RawValueFormat::Hex);
    const SmartScreen& screen = data.Screen.Smart;
    // Without both pages there is no grid and no temperature to show, and the
    // status caption alone would read like a healthy drive: the read is an
    // error then, named on standard error (and as the JSON answer).
    const HDD& drive = data.Drives[slot];
    const std::string lost = UnreadReason(drive);
    if (!lost.empty()) {
        if (json)
            PrintJsonError(ctx, slot,
                           {drive.SMARTEnabled ? "read_failed" : "smart_disabled", lost,
                            drive.Reading.LastFailurePage, ""});
        std::cerr << "quorvane-cli: slot " << slot << ": " << lost << "\n";
        return ExitFailed;
    }
    if (json)
        PrintJson(ctx, slot, drive, screen);
    else
        PrintText(drive, slot, screen);
    return result ? ExitOk : ExitFailed;
}

} // namespace quorvane::cli
