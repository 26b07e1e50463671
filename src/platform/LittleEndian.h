// Bounds-checked little-endian reads from a byte buffer. A read that would
// reach past the end of the buffer yields nothing instead of touching memory
// outside it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace quorvane {

inline bool FitsIn(std::span<const uint8_t> bytes, size_t offset, size_t count) {
    return offset <= bytes.size() && count <= bytes.size() - offset;
}

inline std::optional<uint8_t> ReadU8(std::span<const uint8_t> bytes, size_t offset) {
    if (!FitsIn(bytes, offset, 1))
        return std::nullopt;
    return bytes[offset];
}

// count bytes (at most 8), least significant first.
inline std::optional<uint64_t> ReadLittleEndian(std::span<const uint8_t> bytes, size_t offset,
                                                size_t count) {
    if (count > 8 || !FitsIn(bytes, offset, count))
        return std::nullopt;
    uint64_t value = 0;
    for (size_t i = count; i-- > 0;)
        value = (value << 8) | bytes[offset + i];
    return value;
}

inline std::optional<uint16_t> ReadU16Le(std::span<const uint8_t> bytes, size_t offset) {
    const auto value = ReadLittleEndian(bytes, offset, 2);
    if (!value)
        return std::nullopt;
    return static_cast<uint16_t>(*value);
}

} // namespace quorvane
