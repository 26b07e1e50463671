// quorvane-cli history SLOT [--since 7d|DATE] [--attribute ID] [--csv|--json]:
// what the history file holds of the drive in a slot. The drive is found by
// the scan and known in the file by its model, serial number and firmware.
#include <cstdio>
#include <ctime>
#include <iostream>

#include "platform/JsonWriter.h"
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

void PrintTemperatures(const TemperatureSeries& series, Form form) {
    if (form == Form::Csv)
        std::cout << "time,slot,temperature,min,max,health\n";
    bool first = true;
    for (const TemperaturePoint& p : series.Points) {
        if (form == Form::Csv) {
            std::cout << IsoTimeText(p.Time) << "," << p.Slot << "," << Number(p.Average) << ","
                      << p.Min << "," << p.Max << "," << HealthText(p.Status) << "\n";
        } else if (form == Form::Json) {
            std::cout << (first ? "" : ", ") << "{\"time\": \"" << IsoTimeText(p.Time)
                      << "\", \"slot\": " << p.Slot << ", \"temperature\": " << Number(p.Average)
                      << ", \"min\": " << p.Min << ", \"max\": " << p.Max
                      << ", \"health\": " << JsonQuoted(HealthText(p.Status)) << "}";
        } else {
            std::cout << HistoryTimeText(p.Time) << "  HDD" << p.Slot << "  "
                      << (series.Hourly ? Number(p.Average) + " °C (" + std::to_string(p.Min) +
                                              ".." + std::to_string(p.Max) + ")"
                                        : std::to_string(p.Min) + " °C")
                      << "  " << HealthText(p.Status) << "\n";
        }
        first = false;
    }
}

void PrintValues(const std::vector<AttributePoint>& values, Form form) {
    if (form == Form::Csv)
        std::cout << "time,value,raw\n";
    bool first = true;
    for (const AttributePoint& p : values) {
        if (form == Form::Csv)
            std::cout << IsoTimeText(p.Time) << "," << int{p.Value} << "," << p.Raw << "\n";
        else if (form == Form::Json)
            std::cout << (first ? "" : ", ") << "{\"time\": \"" << IsoTimeText(p.Time)
                      << "\", \"value\": " << int{p.Value} << ", \"raw\": " << p.Raw << "}";
        first = false;
    }
}

void PrintChanges(HistoryStore& store, const std::vector<AttributeChange>& changes, Form form) {
    bool first = true;
    for (const AttributeChange& c : changes) {
        const std::string name = store.CounterName(c.Key);
        if (form == Form::Json)
            std::cout << (first ? "" : ", ") << "{\"time\": \"" << IsoTimeText(c.Time)
                      << "\", \"attribute\": " << JsonQuoted(name)
                      << ", \"old_value\": " << int{c.OldValue} << ", \"new_value\": "
                      << int{c.NewValue} << ", \"old_raw\": " << c.OldRaw
                      << ", \"new_raw\": " << c.NewRaw << "}";
        else
            std::cout << ChangeText(c, name) << "\n";
        first = false;
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
        std::cout << "{\"slot\": " << slot << ", \"model\": " << JsonQuoted(known->Drive.Model)
                  << ", \"serial\": " << JsonQuoted(known->Drive.Serial)
                  << ", \"firmware\": " << JsonQuoted(known->Drive.Firmware)
                  << ", \"since\": \"" << IsoTimeText(*from) << "\", ";
    } else if (form == Form::Text) {
        std::cout << "History of slot " << slot << " since " << HistoryTimeText(*from) << " ("
                  << file << ")\n\n";
    }
    if (key) {
        if (form == Form::Json)
            std::cout << "\"attribute\": " << JsonQuoted(store.CounterName(*key)) << ", \"values\": [";
        if (form != Form::Text)
            PrintValues(store.Attribute(known->Key, *key, *from, now + 1), form);
        if (form == Form::Json)
            std::cout << "], \"changes\": [";
        if (form != Form::Csv)
            PrintChanges(store, store.Changes(known->Key, key, *from, now + 1), form);
    } else {
        const TemperatureSeries series = store.Temperatures(known->Key, *from, now + 1);
        if (form == Form::Json)
            std::cout << "\"hourly\": " << (series.Hourly ? "true" : "false")
                      << ", \"temperatures\": [";
        PrintTemperatures(series, form);
        if (form == Form::Json)
            std::cout << "], \"changes\": [";
        else if (form == Form::Text)
            std::cout << "\n";
        if (form != Form::Csv)
            PrintChanges(store, store.Changes(known->Key, std::nullopt, *from, now + 1), form);
    }
    if (form == Form::Json)
        std::cout << "]}\n";
    return ExitOk;
}

} // namespace quorvane::cli
