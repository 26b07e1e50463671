#include "ata/Identify.h"

#include <array>
#include <string_view>

namespace quorvane {

uint16_t IdentifyWord(std::span<const uint8_t> data, int word) {
    if (word < 0)
        return 0;
    const size_t at = static_cast<size_t>(word) * 2;
    if (at + 1 >= data.size())
        return 0;
    return static_cast<uint16_t>(data[at] | (data[at + 1] << 8));
}

std::string AtaString(std::span<const uint8_t> data, int firstWord, int lastWord) {
    std::string text;
    for (int w = firstWord; w <= lastWord; ++w) {
        const uint16_t value = IdentifyWord(data, w);
        text += static_cast<char>(value >> 8);
        text += static_cast<char>(value & 0xFF);
    }
    return text;
}

std::string TrimAtaString(const std::string& text) {
    auto blank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    size_t first = 0;
    size_t last = text.size();
    while (first < last && blank(text[first]))
        ++first;
    while (last > first && blank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

namespace {

struct VendorPrefix {
    std::string_view Prefix;
    char Vendor;
};
// Checked in this order; the prefixes exclude each other.
constexpr std::array<VendorPrefix, 9> VendorTable{{
    {"ST", 'S'},
    {"WD", 'W'},
    {"SAMSUNG", 'M'},
    {"HITACHI", 'H'},
    {"MAXTOR", 'A'},
    {"FUJITSU", 'F'},
    {"IBM", 'I'},
    {"TOSHIBA", 'T'},
    {"QUANTUM", 'Q'},
}};

} // namespace

char VendorFromModel(const std::string& model) {
    std::string upper = model;
    for (char& c : upper)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 32);
    char vendor = '\0';
    for (const auto& entry : VendorTable)
        if (upper.size() >= entry.Prefix.size() &&
            upper.compare(0, entry.Prefix.size(), entry.Prefix) == 0)
            vendor = entry.Vendor;
    return vendor;
}

std::optional<int> VendorLogoIndex(char vendor) {
    for (size_t i = 0; i < VendorTable.size(); ++i)
        if (vendor != '\0' && VendorTable[i].Vendor == vendor)
            return static_cast<int>(i);
    return std::nullopt;
}

int64_t RoundHalfEvenDiv(int64_t num, int64_t den) {
    // Floor division first, so negative values round the same way.
    int64_t q = num / den;
    int64_t r = num % den;
    if (r < 0) {
        --q;
        r += den;
    }
    const int64_t twice = 2 * r;
    if (twice > den || (twice == den && (q & 1) != 0))
        ++q;
    return q;
}

int64_t SizeGBFromSectors(int64_t sectors) {
    // sectors / 2 / 1024 / 1024 = sectors / 2^21. The quotient of any 64-bit
    // count fits: a hostile page can claim up to 2^63 sectors, 2^42 GB.
    return RoundHalfEvenDiv(sectors, int64_t{1} << 21);
}

IdentifyInfo DecodeIdentify(std::span<const uint8_t> data) {
    IdentifyInfo info;
    info.SerialNumber = TrimAtaString(AtaString(data, 10, 19));
    info.FirmwareRevision = TrimAtaString(AtaString(data, 23, 26));
    info.ModelText = AtaString(data, 27, 46);
    info.ModelNumber = TrimAtaString(info.ModelText);
    info.Vendor = VendorFromModel(info.ModelNumber);
    const uint16_t w85 = IdentifyWord(data, 85);
    const uint16_t w86 = IdentifyWord(data, 86);
    info.LBA48 = (w86 & (1u << 10)) != 0;
    info.HPA = (w85 & (1u << 10)) != 0;
    info.Security = (w85 & (1u << 1)) != 0;
    info.SMARTEnabled = (w85 & 1u) != 0;
    if (info.LBA48) {
        uint64_t sectors = 0;
        for (int w = 103; w >= 100; --w)
            sectors = (sectors << 16) | IdentifyWord(data, w);
        // The record holds a signed count; the top bit is never set by a real drive.
        info.Sectors = static_cast<int64_t>(sectors & 0x7FFFFFFFFFFFFFFFull);
    } else {
        info.Sectors = static_cast<int64_t>(IdentifyWord(data, 60)) |
                       (static_cast<int64_t>(IdentifyWord(data, 61)) << 16);
    }
    info.SizeGB = SizeGBFromSectors(info.Sectors);
    return info;
}

} // namespace quorvane
