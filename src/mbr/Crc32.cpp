#include "mbr/Crc32.h"

#include <array>

namespace quorvane {
namespace {

constexpr uint32_t ReversedPolynomial = 0xEDB88320;

constexpr std::array<uint32_t, 256> MakeTable() {
    std::array<uint32_t, 256> table{};
    for (uint32_t n = 0; n < 256; ++n) {
        uint32_t c = n;
        for (int bit = 0; bit < 8; ++bit)
            c = (c & 1) ? ReversedPolynomial ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

constexpr auto Table = MakeTable();

} // namespace

uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc) {
    crc = ~crc;
    for (uint8_t b : bytes)
        crc = Table[(crc ^ b) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

} // namespace quorvane
