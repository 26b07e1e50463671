#include "program/HistoryScreen.h"

#include <algorithm>
#include <set>

namespace quorvane {

namespace {

using namespace history;

Seconds RangeStart(HistoryRange range, Seconds now, const std::vector<KnownDrive>& drives) {
    switch (range) {
    case HistoryRange::Day: return now - DaySeconds;
    case HistoryRange::Week: return now - 7 * DaySeconds;
    case HistoryRange::Month: return now - 30 * DaySeconds;
    case HistoryRange::Year: return now - 365 * DaySeconds;
    case HistoryRange::All: break;
    }
    Seconds first = now - DaySeconds;
    for (const KnownDrive& d : drives) {
        if (d.Last != 0)
            first = std::min(first, d.First);
    }
    return first;
}

// The slot the drive sits in now, else the one it was last read in.
std::string DriveName(const KnownDrive& known, const ProgramData& data) {
    for (int slot = 1; slot <= std::min(data.DriveCount, MaxDrives); ++slot) {
        const HDD& d = data.Drives[slot];
        if (d.ModelNumber == known.Drive.Model && d.SerialNumber == known.Drive.Serial &&
            d.FirmwareRevision == known.Drive.Firmware)
            return "HDD" + std::to_string(slot) + " " + known.Drive.Model;
    }
    return known.Drive.Model + " (" + known.Drive.Serial + ")";
}

} // namespace

HistoryScreen MakeHistoryScreen(HistoryStore& store, const ProgramData& data, HistoryRange range,
                                CounterKey attribute, Seconds now) {
    HistoryScreen screen;
    const std::vector<KnownDrive> drives = store.Drives();
    screen.Range = range;
    screen.From = RangeStart(range, now, drives);
    screen.To = now;
    const Seconds span = screen.To - screen.From;
    screen.TimeFormat = span <= 2 * DaySeconds ? "HH:mm" : span <= 60 * DaySeconds ? "MMM d" : "MMM yyyy";
    screen.TimeAxis = span <= 2 * DaySeconds ? "Time (local)" : "Date (local)";
    screen.Attribute = attribute;

    std::set<CounterKey> keys;
    struct Change {
        Seconds Time;
        std::string Text;
    };
    std::vector<Change> changes;
    for (size_t colour = 0; colour < drives.size(); ++colour) {
        const KnownDrive& known = drives[colour];
        const std::string name = DriveName(known, data);
        TemperatureSeries series = store.Temperatures(known.Key, screen.From, screen.To + 1);
        screen.Hourly = series.Hourly;
        if (!series.Points.empty())
            screen.Drives.push_back({name, std::move(series.Points), colour});
        for (const CounterKey key : store.AttributeKeys(known.Key))
            keys.insert(key);
        // The attribute chart is narrower: its lines go by slot.
        const std::string slot = name.rfind("HDD", 0) == 0 ? name.substr(0, name.find(' ')) : name;
        std::vector<AttributePoint> values =
            store.Attribute(known.Key, attribute, screen.From, screen.To + 1);
        if (!values.empty())
            screen.AttributeLines.push_back({slot, std::move(values), colour});
        for (const AttributeChange& c : store.Changes(known.Key, attribute, screen.From, screen.To + 1))
            changes.push_back({c.Time, slot + ": " + ChangeText(c, store.CounterName(c.Key))});
    }
    for (const CounterKey key : keys)
        screen.Attributes.emplace_back(key, store.CounterName(key));
    if (std::none_of(screen.Attributes.begin(), screen.Attributes.end(),
                     [&](const auto& a) { return a.first == attribute; }))
        screen.Attributes.emplace(screen.Attributes.begin(), attribute, store.CounterName(attribute));
    screen.AttributeTitle = store.CounterName(attribute) + ", raw value";
    std::stable_sort(changes.begin(), changes.end(),
                     [](const Change& a, const Change& b) { return a.Time > b.Time; });
    for (Change& c : changes)
        screen.Changes.push_back(std::move(c.Text));
    if (screen.Changes.empty())
        screen.Changes.push_back("No change of " + store.CounterName(attribute) + " in this range");
    screen.Status = drives.empty() ? "No history in " + store.Path() + " yet"
                                   : std::to_string(drives.size()) + " drive(s) in " + store.Path();
    return screen;
}

} // namespace quorvane
