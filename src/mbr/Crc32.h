// The CRC-32 of zlib, Ethernet and the GUID partition table: polynomial
// 0x04C11DB7 bit-reversed (0xEDB88320), initial value and final XOR
// 0xFFFFFFFF. "123456789" gives 0xCBF43926.
#pragma once

#include <cstdint>
#include <span>

namespace quorvane {

// Continues a CRC over more bytes: Crc32(b, Crc32(a)) is the CRC of a then b.
uint32_t Crc32(std::span<const uint8_t> bytes, uint32_t crc = 0);

} // namespace quorvane
