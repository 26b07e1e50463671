#include "mbr/GptTable.h"

#include <algorithm>
#include <cstdio>
#include <string_view>

#include "mbr/BootSector.h"
#include "mbr/Crc32.h"
#include "platform/LittleEndian.h"
#include "platform/TerminalText.h"

namespace quorvane {
namespace {

// Header layout.
constexpr std::string_view Signature = "EFI PART";
constexpr size_t RevisionOffset = 8;
constexpr size_t HeaderSizeOffset = 12;
constexpr size_t HeaderCrcOffset = 16;
constexpr size_t MyLbaOffset = 24;
constexpr size_t AlternateLbaOffset = 32;
constexpr size_t FirstUsableOffset = 40;
constexpr size_t LastUsableOffset = 48;
constexpr size_t DiskGuidOffset = 56;
constexpr size_t EntriesLbaOffset = 72;
constexpr size_t EntryCountOffset = 80;
constexpr size_t EntrySizeOffset = 84;
constexpr size_t EntriesCrcOffset = 88;
constexpr uint32_t MinHeaderSize = 92;
constexpr uint32_t MaxHeaderSize = 512;
constexpr uint32_t EntrySizeUnit = 128;

// Entry layout.
constexpr size_t TypeGuidOffset = 0;
constexpr size_t UniqueGuidOffset = 16;
constexpr size_t FirstLbaOffset = 32;
constexpr size_t LastLbaOffset = 40;
constexpr size_t AttributesOffset = 48;
constexpr size_t NameOffset = 56;
constexpr size_t NameUnits = 36;
constexpr size_t GuidSize = 16;

struct TypeRow {
    const char* Guid;
    const char* Name;
};

// The partition types the window names; any other shows its GUID.
constexpr TypeRow TypeNames[] = {
    {"C12A7328-F81F-11D2-BA4B-00A0C93EC93B", "EFI System"},
    {"EBD0A0A2-B9E5-4433-87C0-68B6B72699C7", "Microsoft basic data"},
    {"E3C9E316-0B5C-4DB8-817D-F92DF00215AE", "Microsoft reserved"},
    {"0FC63DAF-8483-4772-8E79-3D69D8477DE4", "Linux filesystem"},
    {"0657FD6D-A4AB-43C4-84E5-0933C84B4F4F", "Linux swap"},
    {"E6D6D379-F507-44C2-A23C-238F2A3DF928", "Linux LVM"},
    {"A19D880F-05FC-4D3B-A006-743F0F84911E", "Linux RAID"},
    {"4F68BCE3-E8CD-4DB1-96E7-FBCAF984B709", "Linux root x86-64"},
    {"933AC7E1-2EB4-4F13-B844-0E14E2AEF915", "Linux home"},
    {"21686148-6449-6E6F-744E-656564454649", "BIOS boot"},
    {"48465300-0000-11AA-AA11-00306543ECAC", "Apple HFS+"},
    {"7C3457EF-0000-11AA-AA11-00306543ECAC", "Apple APFS"},
    {"83BD6B9D-7F41-11DC-BE0B-001560B84F0F", "FreeBSD boot"},
    {"516E7CB4-6ECF-11D6-8FF8-00022D09712B", "FreeBSD disklabel"},
    {"516E7CB5-6ECF-11D6-8FF8-00022D09712B", "FreeBSD swap"},
    {"516E7CB6-6ECF-11D6-8FF8-00022D09712B", "FreeBSD UFS"},
    {"516E7CBA-6ECF-11D6-8FF8-00022D09712B", "FreeBSD ZFS"},
};

struct AttributeRow {
    uint64_t Bit;
    const char* Name;
};

constexpr AttributeRow AttributeNames[] = {
    {GptAttributeRequired, "required"},
    {GptAttributeNoBlockIo, "no block IO"},
    {GptAttributeLegacyBootable, "legacy BIOS bootable"},
};

uint64_t U64(std::span<const uint8_t> bytes, size_t offset) {
    return ReadLittleEndian(bytes, offset, 8).value_or(0);
}

uint32_t U32(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<uint32_t>(ReadLittleEndian(bytes, offset, 4).value_or(0));
}

std::string Hex(uint64_t value, int digits) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%0*llX", digits, static_cast<unsigned long long>(value));
    return buf;
}

std::string Number(uint64_t value) {
    return std::to_string(value);
}

// Why a header cannot be used, or empty.
std::string HeaderProblem(const GptHeader& h, std::span<const uint8_t, 512> sector, uint64_t lba) {
    if (h.Revision >> 16 != 1)
        return "revision " + Hex(h.Revision, 8) + "h is not 1.x";
    if (h.HeaderSize < MinHeaderSize || h.HeaderSize > MaxHeaderSize)
        return "header size " + Number(h.HeaderSize) + " is not 92 to 512 bytes";
    std::array<uint8_t, MaxHeaderSize> copy{};
    std::copy_n(sector.begin(), h.HeaderSize, copy.begin());
    std::fill_n(copy.begin() + HeaderCrcOffset, 4, uint8_t{0});
    const uint32_t stored = U32(sector, HeaderCrcOffset);
    const uint32_t computed = Crc32(std::span(copy).first(h.HeaderSize));
    if (stored != computed)
        return "header CRC32 " + Hex(stored, 8) + "h does not match its bytes (" +
               Hex(computed, 8) + "h)";
    if (h.MyLba != lba)
        return "the header gives LBA " + Number(h.MyLba) + " as its own";
    if (h.EntrySize < EntrySizeUnit || h.EntrySize % EntrySizeUnit != 0)
        return "entry size " + Number(h.EntrySize) + " is not a multiple of 128";
    if (h.EntrySize > GptArrayBytesRead)
        return "entry size " + Number(h.EntrySize) + " is larger than the " +
               Number(GptArrayBytesRead) + " bytes read of an entry array";
    if (h.EntriesLba == 0 || h.EntriesLba == lba)
        return "the entry array would lie at LBA " + Number(h.EntriesLba);
    return {};
}

} // namespace

size_t GptHeader::ArrayBytesToRead() const {
    return static_cast<size_t>(std::min<uint64_t>(ArrayBytes(), GptArrayBytesRead));
}

size_t GptHeader::EntriesToDecode() const {
    if (EntrySize == 0)
        return 0;
    return std::min<size_t>({EntryCount, ArrayBytesToRead() / EntrySize, GptMaxEntries});
}

GptHeaderCheck CheckGptHeader(std::span<const uint8_t, 512> sector, uint64_t lba) {
    GptHeaderCheck check;
    if (!std::equal(Signature.begin(), Signature.end(), sector.begin())) {
        check.Problem = "no \"EFI PART\" signature";
        return check;
    }
    GptHeader h;
    h.Revision = U32(sector, RevisionOffset);
    h.HeaderSize = U32(sector, HeaderSizeOffset);
    h.MyLba = U64(sector, MyLbaOffset);
    h.AlternateLba = U64(sector, AlternateLbaOffset);
    h.FirstUsableLba = U64(sector, FirstUsableOffset);
    h.LastUsableLba = U64(sector, LastUsableOffset);
    h.DiskGuid = GuidText(std::span<const uint8_t>(sector).subspan(DiskGuidOffset, GuidSize));
    h.EntriesLba = U64(sector, EntriesLbaOffset);
    h.EntryCount = U32(sector, EntryCountOffset);
    h.EntrySize = U32(sector, EntrySizeOffset);
    h.EntriesCrc = U32(sector, EntriesCrcOffset);
    check.Problem = HeaderProblem(h, sector, lba);
    if (check.Problem.empty())
        check.Header = h;
    return check;
}

std::string GuidText(std::span<const uint8_t> b) {
    if (b.size() < GuidSize)
        return {};
    return Hex(U32(b, 0), 8) + "-" + Hex(ReadU16Le(b, 4).value_or(0), 4) + "-" +
           Hex(ReadU16Le(b, 6).value_or(0), 4) + "-" + HexBytes(b.subspan(8, 2)) + "-" +
           HexBytes(b.subspan(10, 6));
}

std::string UuidText(std::span<const uint8_t> b) {
    if (b.size() < GuidSize)
        return {};
    std::string text = HexBytes(b.first(4)) + "-" + HexBytes(b.subspan(4, 2)) + "-" +
                       HexBytes(b.subspan(6, 2)) + "-" + HexBytes(b.subspan(8, 2)) + "-" +
                       HexBytes(b.subspan(10, 6));
    std::ranges::transform(text, text.begin(),
                           [](char c) { return c >= 'A' && c <= 'F' ? char(c - 'A' + 'a') : c; });
    return text;
}

std::string GptTypeName(const std::string& typeGuid) {
    for (const auto& row : TypeNames)
        if (typeGuid == row.Guid)
            return row.Name;
    return typeGuid;
}

std::string GptAttributesText(uint64_t attributes) {
    std::string text;
    uint64_t rest = attributes;
    for (const auto& row : AttributeNames) {
        if ((attributes & row.Bit) == 0)
            continue;
        text += (text.empty() ? "" : ", ") + std::string(row.Name);
        rest &= ~row.Bit;
    }
    if (rest != 0)
        text += (text.empty() ? "other " : ", other ") + Hex(rest, 16) + "h";
    return text.empty() ? "none" : text;
}

std::vector<GptPartition> DecodeGptEntries(const GptHeader& header,
                                           std::span<const uint8_t> array, int64_t diskSectors) {
    std::vector<GptPartition> partitions;
    const size_t count = header.EntriesToDecode();
    for (size_t i = 0; i < count; ++i) {
        const size_t at = i * header.EntrySize;
        if (!FitsIn(array, at, EntrySizeUnit))
            break;
        const auto entry = array.subspan(at, EntrySizeUnit);
        const auto type = entry.subspan(TypeGuidOffset, GuidSize);
        if (std::ranges::all_of(type, [](uint8_t b) { return b == 0; }))
            continue; // an unused entry
        GptPartition p;
        p.Number = static_cast<uint32_t>(i + 1);
        p.TypeGuid = GuidText(type);
        p.TypeName = GptTypeName(p.TypeGuid);
        p.UniqueGuid = GuidText(entry.subspan(UniqueGuidOffset, GuidSize));
        p.FirstLba = U64(entry, FirstLbaOffset);
        p.LastLba = U64(entry, LastLbaOffset);
        p.Attributes = U64(entry, AttributesOffset);
        // The name ends at its first NUL.
        const auto name = entry.subspan(NameOffset, NameUnits * 2);
        size_t units = 0;
        while (units < NameUnits && (name[2 * units] | name[2 * units + 1]) != 0)
            ++units;
        p.Name = TerminalText(Utf16LeToUtf8(name, units));
        p.PastDiskEnd = diskSectors > 0 && p.LastLba >= static_cast<uint64_t>(diskSectors);
        partitions.push_back(std::move(p));
    }
    return partitions;
}

} // namespace quorvane
