#include "nvme/NvmeIdentify.h"

#include <algorithm>

#include "nvme/NvmeCommand.h"
#include "platform/LittleEndian.h"

namespace quorvane {
namespace {

// An ASCII field, space padded: trailing blanks and NULs go, and a byte
// outside printable ASCII becomes '?', so nothing the controller says can
// reach a terminal or a mail as a control sequence.
std::string AsciiField(std::span<const uint8_t> page, size_t offset, size_t length) {
    std::string text;
    for (size_t i = 0; i < length; ++i) {
        const uint8_t c = page[offset + i];
        text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : (c == 0 ? ' ' : '?');
    }
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

uint16_t U16(std::span<const uint8_t> page, size_t offset) { return ReadU16Le(page, offset).value_or(0); }
uint32_t U32(std::span<const uint8_t> page, size_t offset) {
    return static_cast<uint32_t>(ReadLittleEndian(page, offset, 4).value_or(0));
}
uint64_t U64(std::span<const uint8_t> page, size_t offset) {
    return ReadLittleEndian(page, offset, 8).value_or(0);
}

} // namespace

std::optional<NvmeControllerIdentity> DecodeNvmeController(std::span<const uint8_t> page) {
    if (page.size() < NvmeIdentifySize)
        return std::nullopt;
    NvmeControllerIdentity id;
    id.PciVendor = U16(page, 0);
    id.PciSubsystemVendor = U16(page, 2);
    id.SerialNumber = AsciiField(page, 4, 20);
    id.ModelNumber = AsciiField(page, 24, 40);
    id.FirmwareRevision = AsciiField(page, 64, 8);
    id.Version = U32(page, 80);
    id.Oacs = U16(page, 256);
    id.Lpa = page[261];
    id.Elpe = page[262];
    id.WarningTemperatureK = U16(page, 266);
    id.CriticalTemperatureK = U16(page, 268);
    id.TotalCapacity = ReadU128Le(page, 280);
    id.NamespaceCount = U32(page, 516);
    return id;
}

std::optional<NvmeNamespaceIdentity> DecodeNvmeNamespace(std::span<const uint8_t> page) {
    if (page.size() < NvmeIdentifySize)
        return std::nullopt;
    NvmeNamespaceIdentity ns;
    ns.SizeBlocks = U64(page, 0);
    ns.CapacityBlocks = U64(page, 8);
    ns.UsedBlocks = U64(page, 16);
    if (ns.SizeBlocks == 0)
        return std::nullopt;
    // FLBAS bits 0-3 pick one of NLBAF + 1 formats (bits 5-6 extend the index
    // past 16 formats); LBADS is the size's log2, 9 at the least.
    const unsigned count = page[25] + 1u;
    const unsigned index = (page[26] & 0x0F) | ((page[26] & 0x60) >> 1);
    if (index < count && index < 64) {
        const unsigned lbads = page[128 + 4 * index + 2];
        if (lbads >= 9 && lbads < 32)
            ns.LbaSize = 1u << lbads;
    }
    return ns;
}

std::optional<Uint128> NvmeNamespaceIdentity::SizeBytes() const {
    if (LbaSize == 0)
        return std::nullopt;
    return static_cast<Uint128>(SizeBlocks) * LbaSize;
}

std::string NvmeVersionText(uint32_t version) {
    if (version == 0)
        return {};
    std::string text = std::to_string(version >> 16) + "." + std::to_string((version >> 8) & 0xFF);
    if ((version & 0xFF) != 0)
        text += "." + std::to_string(version & 0xFF);
    return text;
}

unsigned NvmeErrorLogEntries(const NvmeControllerIdentity& id) {
    return std::min<unsigned>(id.Elpe + 1u, NvmeMaxErrorEntries);
}

int64_t NvmeSizeGB(Uint128 bytes) {
    constexpr Uint128 gb = Uint128{1} << 30;
    Uint128 whole = bytes / gb;
    const Uint128 rest = bytes % gb;
    if (rest > gb / 2 || (rest == gb / 2 && (whole & 1) != 0))
        ++whole;
    constexpr Uint128 limit = static_cast<Uint128>(INT64_MAX);
    return static_cast<int64_t>(std::min(whole, limit));
}

} // namespace quorvane
