#include "nvme/Uint128.h"

#include <algorithm>

#include "platform/LittleEndian.h"

namespace quorvane {

Uint128 ReadU128Le(std::span<const uint8_t> bytes, size_t offset) {
    if (!FitsIn(bytes, offset, 16))
        return 0;
    Uint128 value = 0;
    for (size_t i = 16; i-- > 0;)
        value = (value << 8) | bytes[offset + i];
    return value;
}

std::string Uint128Decimal(Uint128 value) {
    std::string digits;
    do {
        digits += static_cast<char>('0' + static_cast<int>(value % 10));
        value /= 10;
    } while (value != 0);
    std::reverse(digits.begin(), digits.end());
    return digits;
}

std::string Uint128Hex(Uint128 value, int minDigits) {
    std::string digits;
    while (value != 0 || static_cast<int>(digits.size()) < minDigits) {
        digits += "0123456789ABCDEF"[static_cast<int>(value & 0xF)];
        value >>= 4;
    }
    std::reverse(digits.begin(), digits.end());
    return digits;
}

} // namespace quorvane
