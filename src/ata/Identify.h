// Decoding of the 512-byte IDENTIFY DEVICE data.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quorvane {

// Word n is the little-endian value at bytes 2n and 2n+1; 0 outside the data.
uint16_t IdentifyWord(std::span<const uint8_t> data, int word);

// Words first..last as an ATA string: each word gives its high byte first.
std::string AtaString(std::span<const uint8_t> data, int firstWord, int lastWord);
// Removes every leading and trailing character with a code of 0x20 or less.
std::string TrimAtaString(const std::string& text);

// The vendor code of a trimmed model ('S', 'W', 'M', 'H', 'A', 'F', 'I', 'T',
// 'Q'), or NUL when no prefix matches.
char VendorFromModel(const std::string& model);
// The logo of a vendor code: 0..8 in the order of the vendor table.
std::optional<int> VendorLogoIndex(char vendor);

// num / den rounded to the nearest integer, halves to even (den > 0).
int64_t RoundHalfEvenDiv(int64_t num, int64_t den);
// Capacity in GB of 2^30 bytes for a count of 512-byte sectors. 64 bits
// wide: words 100-103 can claim far more than 32 bits of GB.
int64_t SizeGBFromSectors(int64_t sectors);

struct IdentifyInfo {
    std::string SerialNumber;     // words 10-19, trimmed
    std::string FirmwareRevision; // words 23-26, trimmed
    std::string ModelText;        // words 27-46 untrimmed, as the drive list shows it
    std::string ModelNumber;      // the same, trimmed
    char Vendor = '\0';
    bool LBA48 = false;        // word 86 bit 10
    bool HPA = false;          // word 85 bit 10
    bool Security = false;     // word 85 bit 1
    bool SMARTEnabled = false; // word 85 bit 0
    int64_t Sectors = 0;
    int64_t SizeGB = 0;
};

IdentifyInfo DecodeIdentify(std::span<const uint8_t> data);

} // namespace quorvane
