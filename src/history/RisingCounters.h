// The rising-counter rule: the sector counters that matter most (05h
// Reallocated Sector Count, C5h Current Pending Sector Count, C6h
// Uncorrectable Sector Count, an NVMe drive's media errors) often start to
// rise while every threshold still says O.K. When one's raw value rises above
// its value of 24 hours before, the drive is warned about once per rise, and
// it stays marked until the counter has been flat for 7 days. The rule never
// judges health: the S.M.A.R.T. status stays what the drive says.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "history/HistoryTypes.h"

namespace quorvane::history {

inline constexpr std::array<uint8_t, 3> RisingSectorAttributes = {0x05, 0xC5, 0xC6};
inline constexpr Seconds RiseWindow = DaySeconds;       // compared with the value this long before
inline constexpr Seconds RiseQuietPeriod = 7 * DaySeconds; // marked until flat this long

// Whether the rule watches the attribute id, or the named counter.
bool IsRisingSectorAttribute(CounterKey key);
bool IsRisingCounterName(std::string_view name);

// What the rule keeps of one counter of one drive between ticks (and, in the
// store, between runs).
struct RiseMemory {
    bool Warned = false;
    // The value of the last warning, lowered with the counter when it falls,
    // so that only a rise past it is a new rise.
    uint64_t WarnedRaw = 0;
    uint64_t From = 0; // the last warning's values and moment
    uint64_t To = 0;
    Seconds WarnedAt = 0;
    Seconds LastIncrease = 0; // the last time the counter went up at all
};

// A counter changed from previous to current at now; baseline is its value
// 24 hours before now (its first known value when the history is younger).
// Returns true when this is a new rise to warn about; memory keeps the
// warning's From/To/WarnedAt.
bool JudgeRise(uint64_t baseline, uint64_t previous, uint64_t current, Seconds now,
               RiseMemory& memory);

// A warned counter whose last increase is less than 7 days before now.
bool StillRising(const RiseMemory& memory, Seconds now);

// "05h Reallocated Sector Count" for an attribute id, the name for a named
// counter.
std::string CounterDisplayName(CounterKey key, std::string_view counterName = {});

// "05h Reallocated Sector Count rose from 0 to 8 (2026-12-03 14:20)".
std::string RiseText(const CounterRise& rise);

// The local time as "2026-12-03 14:20".
std::string HistoryTimeText(Seconds time);

} // namespace quorvane::history
