// What the history records and gives back. Its own small types, filled by the
// program from whatever kind of drive a slot holds, so the store knows nothing
// of pages, buses or the program.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::history {

// Seconds since 1970-01-01 00:00 UTC.
using Seconds = int64_t;

inline constexpr Seconds HourSeconds = 3600;
inline constexpr Seconds DaySeconds = 24 * HourSeconds;

// A drive is known by what it says of itself, not by its slot: it keeps its
// history when it moves to another slot or machine.
struct DriveIdentity {
    std::string Model;
    std::string Serial;
    std::string Firmware;
    bool operator==(const DriveIdentity&) const = default;
    auto operator<=>(const DriveIdentity&) const = default;
};

enum class Health : uint8_t { Unknown, Ok, Failing };

// One S.M.A.R.T. attribute: its id (1..255), normalised value and raw value.
struct AttributeReading {
    uint8_t Id = 0;
    uint8_t Value = 0;
    uint64_t Raw = 0;
};

// A counter a drive reports by name rather than by attribute id (an NVMe
// health log's "Media Errors"); kept beside the attributes.
struct CounterReading {
    std::string Name;
    uint64_t Value = 0;
};

// The name the NVMe side gives the media and data integrity error count; the
// rising-counter rule watches it as it watches 05h, C5h and C6h.
inline constexpr const char* MediaErrorsCounter = "Media Errors";

// One drive as one tick read it.
struct DriveRecord {
    DriveIdentity Drive;
    int Slot = 0;                       // 1..6, where it was read
    std::optional<int> Temperature;     // degrees Celsius; none when not measured
    Health Status = Health::Unknown;
    std::vector<AttributeReading> Attributes;
    std::vector<CounterReading> Counters;
};

// Every drive one tick read, at one moment.
struct TickRecord {
    Seconds Time = 0;
    std::vector<DriveRecord> Drives;
};

// An attribute or a named counter in the store: ids 1..255 are attributes;
// named counters get ids from 256 as they first appear.
using CounterKey = int64_t;
inline constexpr CounterKey FirstNamedCounterKey = 256;

// A counter of the rising-sector rule that rose above its value of a day
// before: which drive, which counter, from what to what, and when.
struct CounterRise {
    DriveIdentity Drive;
    int Slot = 0;
    CounterKey Key = 0;
    std::string Name; // "05h Reallocated Sector Count", or the counter's own name
    uint64_t From = 0;
    uint64_t To = 0;
    Seconds Time = 0;
    bool operator==(const CounterRise&) const = default;
};

// A drive the store knows, with the span of its history.
struct KnownDrive {
    int64_t Key = 0;
    DriveIdentity Drive;
    int LastSlot = 0;
    Seconds First = 0;
    Seconds Last = 0;
};

// One point of a temperature series: a tick's reading, or an hour's
// minimum, average and maximum.
struct TemperaturePoint {
    Seconds Time = 0;
    double Average = 0;
    int Min = 0;
    int Max = 0;
    Health Status = Health::Unknown;
    int Slot = 0;
};

struct TemperatureSeries {
    bool Hourly = false; // the points are hours (with a min/max band), not ticks
    std::vector<TemperaturePoint> Points;
};

// One stored value of an attribute: where it changed, or the last of its hour
// once the hour is older than the tick retention.
struct AttributePoint {
    Seconds Time = 0;
    uint8_t Value = 0;
    uint64_t Raw = 0;
};

// A change between two stored values of one attribute.
struct AttributeChange {
    Seconds Time = 0;
    CounterKey Key = 0;
    uint8_t OldValue = 0;
    uint8_t NewValue = 0;
    uint64_t OldRaw = 0;
    uint64_t NewRaw = 0;
};

} // namespace quorvane::history
