// quorvane-cli history SLOT [--since 7d|DATE] [--attribute ID] [--csv|--json]:
// what the history file holds of the drive in a slot. The drive is found by
// the scan and known in the file by its model, serial number and firmware.
#include <cstdio>
#include <ctime>
#include <iostream>

#include "platform/JsonWriter.h"
#include "cli/CliJson.h"
#include "cli/CliScan.h"
#include "history/HistoryStore.h"
#include "history/HistoryText.h"

namespace quorvane::cli {
namespace {

using namespace history;

enum class Form { Text, Csv, Json };

std::string Number(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

void JsonTemperatures(JsonWriter& json, const TemperatureSeries& series) {
    json.Field("hourly", series.Hourly);
    json.BeginArray("temperatures");
    for (const TemperaturePoint& p : series.Points)
        json.BeginObject()
            .Field("time", IsoTimeText(p.Time))
            .Field("slot", p.Slot)
            .Field("average", JsonDigits{Number(p.Average)})
            .Field("min", p.Min)
            .Field("max", p.Max)
            .Field("health", HealthText(p.Status))
            .End();
    json.End();
}

void JsonValues(JsonWriter& json, const std::vector<AttributePoint>& values) {
    json.BeginArray("values");
    for (const AttributePoint& p : values)
        json.BeginObject()
            .Field("time", IsoTimeText(p.Time))
            .Field("value", int{p.Value})
            .Field("raw", p.Raw)
            .End();
    json.End();
}

void JsonChanges(JsonWriter& json, HistoryStore& store, const std::vector<AttributeChange>& changes) {
    json.BeginArray("changes");
    for (const AttributeChange& c : changes)
        json.BeginObject()
            .Field("time", IsoTimeText(c.Time))
            .Field("attribute", store.CounterName(c.Key))
            .Field("old_value", int{c.OldValue})
            .Field("new_value", int{c.NewValue})
            .Field("old_raw", c.OldRaw)
            .Field("new_raw", c.NewRaw)
            .End();
    json.End();
}

void PrintTemperatures(const TemperatureSeries& series, Form form) {
    if (form == Form::Csv)
        std::cout << "time,slot,temperature,min,max,health\n";
    for (const TemperaturePoint& p : series.Points) {
        if (form == Form::Csv) {
            std::cout << IsoTimeText(p.Time) << "," << p.Slot << "," << Number(p.Average) << ","
                      << p.Min << "," << p.Max << "," << HealthText(p.Status) << "\n";
        } else {
            std::cout << HistoryTimeText(p.Time) << "  HDD" << p.Slot << "  "
                      << (series.Hourly ? Number(p.Average) + " °C (" + std::to_string(p.Min) +
                                              ".." + std::to_string(p.Max) + ")"
                                        : std::to_string(p.Min) + " °C")
                      << "  " << HealthText(p.Status) << "\n";
        }
    }
}

void PrintValues(const std::vector<AttributePoint>& values, Form form) {
    if (form == Form::Csv)
        std::cout << "time,value,raw\n";
    for (const AttributePoint& p : values) {
        if (form == Form::Csv)
            std::cout << IsoTimeText(p.Time) << "," << int{p.Value} << "," << p.Raw << "\n";
    }
}

void PrintChanges(HistoryStore& store, const std::vector<AttributeChange>& changes) {
    for (const AttributeChange& c : changes) {
        const std::string name = store.CounterName(c.Key);
        std::cout << ChangeText(c, name) << "\n";
    }
}

// The attribute the option names: a hex id, or a named counter's name.
std::optional<CounterKey> FindAttribute(HistoryStore& store, int64_t drive, const std::string& text) {
    if (const std::optional<CounterKey> id = ParseAttributeId(text))
        return id;
    for (const CounterKey key : store.AttributeKeys(drive)) {
        if (key >= FirstNamedCounterKey && store.CounterName(key) == text)
            return key;
    }
    return std::nullopt;
}

} // namespace

int RunHistory(CliContext& ctx) {
    const bool json = TakeFlag(ctx.Args, "--json");
    const bool csv = TakeFlag(ctx.Args, "--csv");
    std::string since = "7d", attribute;
    std::vector<std::string> operands;
    const std::string usage = CommandUsage("history");
    for (size_t i = 0; i < ctx.Args.size(); ++i) {
        const std::string& arg = ctx.Args[i];
        if ((arg == "--since" || arg == "--attribute") && i + 1 >= ctx.Args.size())
            return UsageError("history", arg + " needs a value", usage);
        if (arg == "--since")
            since = ctx.Args[++i];
        else if (arg == "--attribute")
            attribute = ctx.Args[++i];
        else
            operands.push_back(arg);
    }
    std::string problem = OperandProblem("history", operands, {"SLOT"});
    if (problem.empty())
        problem = SlotProblem(operands[0]);
    if (problem.empty() && json && csv)
        problem = "--csv and --json go one at a time";
    const Seconds now = static_cast<Seconds>(std::time(nullptr));
    const std::optional<Seconds> from = ParseSince(since, now);
    if (problem.empty() && !from)
        problem = "--since takes 7d, 12h, 2w or a date (2026-12-03, 2026-12-03 14:20), not '" +
                  since + "'";
    if (!problem.empty())
        return UsageError("history", problem, usage);
    const Form form = json ? Form::Json : csv ? Form::Csv : Form::Text;

    int slot = 0;
    ParseSlot(operands[0], slot);
    Program& program = ctx.App();
    program.LoadSettings();
    ProgramData& data = program.Data();
    if (!ScanForSlot(ctx, data, slot, form == Form::Text))
        return ExitUsage;
    const HDD& drive = data.Drives[slot];
    const std::string file = program.HistoryFile();
    StoreOptions options;
    options.ReadOnly = true;
    HistoryStore store(file, options);
    const std::optional<KnownDrive> known =
        store.FindDrive({drive.ModelNumber, drive.SerialNumber, drive.FirmwareRevision});
    if (!known) {
        std::cerr << "quorvane-cli: " << file << " holds no history of slot " << slot << "\n";
        return ExitFailed;
    }
    std::optional<CounterKey> key;
    if (!attribute.empty() && !(key = FindAttribute(store, known->Key, attribute)))
        return UsageError("history",
                          "--attribute takes an id in hex (05, C5) or a counter's name, not '" +
                              attribute + "'",
                          usage);

    if (form == Form::Json) {
        JsonWriter json = BeginJsonDocument(ctx);
        json.Field("slot", slot);
        json.BeginObject("drive")
            .Field("model_name", known->Drive.Model)
            .Field("serial_number", known->Drive.Serial)
            .Field("firmware_version", known->Drive.Firmware)
            .End();
        json.Field("since", IsoTimeText(*from));
        if (key) {
            json.Field("attribute", store.CounterName(*key));
            JsonValues(json, store.Attribute(known->Key, *key, *from, now + 1));
            JsonChanges(json, store, store.Changes(known->Key, key, *from, now + 1));
        } else {
            JsonTemperatures(json, store.Temperatures(known->Key, *from, now + 1));
            JsonChanges(json, store, store.Changes(known->Key, std::nullopt, *from, now + 1));
        }
        PrintJsonDocument(json);
        return ExitOk;
    }
    if (form == Form::Text)
        std::cout << "History of slot " << slot << " since " << HistoryTimeText(*from) << " ("
                  << file << ")\n\n";
    if (key) {
        if (form == Form::Csv)
            PrintValues(store.Attribute(known->Key, *key, *from, now + 1), form);
        else
            PrintChanges(store, store.Changes(known->Key, key, *from, now + 1));
    } else {
        PrintTemperatures(store.Temperatures(known->Key, *from, now + 1), form);
        if (form == Form::Text) {
            std::cout << "\n";
            PrintChanges(store, store.Changes(known->Key, std::nullopt, *from, now + 1));
        }
    }
    return ExitOk;
}

} // namespace quorvane::cli
