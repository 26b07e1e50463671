// Texts of the history that the front ends share: the start of a span the
// user names, an attribute the user names, and the health words.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "history/HistoryTypes.h"

namespace quorvane::history {

// "7d", "12h", "2w" before now; "2026-12-03" (local midnight) or
// "2026-12-03 14:20" / "2026-12-03T14:20" (local time). nullopt for anything
// else.
std::optional<Seconds> ParseSince(std::string_view text, Seconds now);

// An attribute id in hex as the grid shows it: "05", "C5", "C5h", "0xC5"
// (1..255). nullopt for anything else.
std::optional<CounterKey> ParseAttributeId(std::string_view text);

// "O.K.", "ERROR", "..." as the S.M.A.R.T. status captions say it.
const char* HealthText(Health health);

// The UTC moment as "2026-12-03T14:20:00Z", for files other programs read.
std::string IsoTimeText(Seconds time);

} // namespace quorvane::history
