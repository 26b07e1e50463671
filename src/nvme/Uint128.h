// The 128-bit counters of the NVMe logs and Identify pages.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace quorvane {

__extension__ using Uint128 = unsigned __int128;

// 16 bytes, least significant first; 0 when the bytes are not there.
Uint128 ReadU128Le(std::span<const uint8_t> bytes, size_t offset);
// Decimal digits, no leading zeros.
std::string Uint128Decimal(Uint128 value);
// Upper-case hex digits, at least minDigits of them.
std::string Uint128Hex(Uint128 value, int minDigits);
inline bool FitsIn64(Uint128 value) { return (value >> 64) == 0; }

} // namespace quorvane
