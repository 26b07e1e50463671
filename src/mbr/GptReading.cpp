#include "mbr/GptReading.h"

#include <algorithm>
#include <limits>
#include <string_view>

#include "mbr/BootSector.h"
#include "mbr/Crc32.h"
#include "platform/LittleEndian.h"
#include "platform/TerminalText.h"

namespace quorvane {
namespace {

constexpr size_t SectorSize = 512;

// First-sector and superblock fields of the file systems told apart.
constexpr size_t BootSignatureOffset = 510;
constexpr size_t Fat1xTypeOffset = 54;
constexpr size_t Fat32TypeOffset = 82;
constexpr size_t FatTypeSize = 8;
constexpr size_t NtfsMftClusterOffset = 48;
constexpr uint32_t NtfsVolumeRecordOffset = 6; // sectors after the MFT's start
// XFS: the superblock is the first sector (big-endian fields).
constexpr std::string_view XfsMagic = "XFSB";
constexpr size_t XfsUuidOffset = 32;
constexpr size_t XfsLabelOffset = 108;
constexpr size_t XfsLabelSize = 12;
// ext2/3/4: the superblock starts 1024 bytes in.
constexpr uint64_t ExtSuperblockSector = 2;
constexpr size_t ExtMagicOffset = 56;
constexpr uint16_t ExtMagic = 0xEF53;
constexpr size_t ExtCompatOffset = 92;
constexpr size_t ExtIncompatOffset = 96;
constexpr size_t ExtUuidOffset = 104;
constexpr size_t ExtLabelOffset = 120;
constexpr size_t ExtLabelSize = 16;
constexpr uint32_t ExtCompatHasJournal = 0x4;
// Extents, 64-bit block numbers or flexible block groups make ext4.
constexpr uint32_t ExtIncompatExt4 = 0x40 | 0x80 | 0x200;
// Btrfs: the superblock starts 64 KiB in; its label runs into the next sector.
constexpr uint64_t BtrfsSuperblockSector = 128;
constexpr std::string_view BtrfsMagic = "_BHRfS_M";
constexpr size_t BtrfsMagicOffset = 64;
constexpr size_t BtrfsUuidOffset = 32;
constexpr size_t BtrfsLabelOffset = 299;
constexpr size_t BtrfsLabelSize = 256;
constexpr size_t UuidSize = 16;

bool Holds(std::span<const uint8_t> bytes, size_t offset, std::string_view text) {
    return FitsIn(bytes, offset, text.size()) &&
           std::equal(text.begin(), text.end(), bytes.begin() + static_cast<ptrdiff_t>(offset));
}

// A label stored as bytes up to the first NUL, made printable UTF-8.
std::string ByteLabel(std::span<const uint8_t> bytes) {
    const auto end = std::ranges::find(bytes, uint8_t{0});
    return TerminalText(std::string(bytes.begin(), end));
}

std::string ArrayRange(uint64_t lba, size_t sectors) {
    return "LBA " + std::to_string(lba) + " to " + std::to_string(lba + sectors - 1);
}

// The header and its array, or why they cannot be used.
struct TableTry {
    std::optional<GptHeader> Header;
    std::vector<uint8_t> Array; // the part read, whole sectors
    std::string Problem;
};

TableTry ReadTable(DriveBus& bus, const HDD& drive, uint64_t lba) {
    TableTry t;
    const auto sector = ReadDiskSector(bus, drive, lba, true);
    if (!sector) {
        t.Problem = "the sector could not be read";
        return t;
    }
    auto check = CheckGptHeader(*sector, lba);
    if (!check.Header) {
        t.Problem = check.Problem;
        return t;
    }
    const GptHeader& h = *check.Header;
    const size_t bytes = h.ArrayBytesToRead();
    const size_t sectors = (bytes + SectorSize - 1) / SectorSize;
    const auto disk = static_cast<uint64_t>(std::max<int64_t>(drive.Sectors, 0));
    if (sectors > 0 && (h.EntriesLba > disk || sectors > disk - h.EntriesLba)) {
        t.Problem = "its entry array (" + ArrayRange(h.EntriesLba, sectors) +
                    ") lies beyond the drive's " + std::to_string(disk) + " sectors";
        return t;
    }
    t.Array.reserve(sectors * SectorSize);
    for (size_t i = 0; i < sectors; ++i) {
        const auto part = ReadDiskSector(bus, drive, h.EntriesLba + i, true);
        if (!part) {
            t.Problem = "its entry array (" + ArrayRange(h.EntriesLba, sectors) +
                        ") could not be read at LBA " + std::to_string(h.EntriesLba + i);
            return t;
        }
        t.Array.insert(t.Array.end(), part->begin(), part->end());
    }
    // An array larger than what is read cannot be checked (a note says so).
    if (h.ArrayBytes() <= GptArrayBytesRead) {
        const uint32_t crc = Crc32(std::span(t.Array).first(bytes));
        if (crc != h.EntriesCrc) {
            t.Problem = "the CRC32 of its entry array does not match";
            return t;
        }
    }
    t.Header = h;
    return t;
}

void NoteDiskEnd(const GptHeader& h, const HDD& drive, GptDisk& gpt) {
    if (drive.Sectors > 0 && h.LastUsableLba >= static_cast<uint64_t>(drive.Sectors))
        gpt.Notes.push_back("the header's last usable LBA " + std::to_string(h.LastUsableLba) +
                            " lies beyond the drive's " + std::to_string(drive.Sectors) +
                            " sectors");
    std::string past;
    for (const auto& p : gpt.Partitions)
        if (p.PastDiskEnd)
            past += (past.empty() ? "" : ", ") + std::to_string(p.Number);
    if (!past.empty())
        gpt.Notes.push_back("partitions reaching beyond the drive's last sector: " + past);
}

void NoteArrayCap(const GptHeader& h, GptDisk& gpt) {
    if (h.ArrayBytes() <= GptArrayBytesRead)
        return;
    gpt.Notes.push_back("the header lists " + std::to_string(h.EntryCount) + " entries of " +
                        std::to_string(h.EntrySize) + " bytes; only the first " +
                        std::to_string(GptArrayBytesRead) + " bytes (" +
                        std::to_string(h.EntriesToDecode()) +
                        " entries) were read and the array's CRC32 was not checked");
}

// An NTFS, FAT or XFS first sector; false when it is none of them.
bool ApplyFirstSector(GptPartition& p, const DiskSector& sector) {
    const std::span<const uint8_t> s(sector);
    TPartition boot;
    boot.FS = IfsName;
    ApplyBootSector(boot, sector);
    if (boot.FS != NtfsName && ReadU16Le(s, BootSignatureOffset) == 0xAA55) {
        const std::string_view fat32(reinterpret_cast<const char*>(s.data()) + Fat32TypeOffset,
                                     FatTypeSize);
        const std::string_view fat1x(reinterpret_cast<const char*>(s.data()) + Fat1xTypeOffset,
                                     FatTypeSize);
        if (fat32 == "FAT32   ")
            boot.FS = "FAT32";
        else if (fat1x == "FAT16   " || fat1x == "FAT12   ")
            boot.FS = std::string(fat1x.substr(0, 5));
        if (boot.FS != IfsName)
            ApplyBootSector(boot, sector);
    }
    if (boot.FS == NtfsName || boot.FS.starts_with("FAT")) {
        p.FS = boot.FS;
        p.Serial = boot.Serial;
        p.ClusterSize = boot.ClusterSize;
        p.VolumeLabel = boot.VolumeLabel;
        return true;
    }
    if (Holds(s, 0, XfsMagic)) {
        p.FS = "XFS";
        p.Uuid = UuidText(s.subspan(XfsUuidOffset, UuidSize));
        p.VolumeLabel = ByteLabel(s.subspan(XfsLabelOffset, XfsLabelSize));
        return true;
    }
    return false;
}

bool ApplyExtSuperblock(GptPartition& p, const DiskSector& sector) {
    const std::span<const uint8_t> s(sector);
    if (ReadU16Le(s, ExtMagicOffset) != ExtMagic)
        return false;
    const auto u32 = [&](size_t at) {
        return static_cast<uint32_t>(ReadLittleEndian(s, at, 4).value_or(0));
    };
    p.FS = (u32(ExtIncompatOffset) & ExtIncompatExt4) != 0          ? "ext4"
           : (u32(ExtCompatOffset) & ExtCompatHasJournal) != 0      ? "ext3"
                                                                    : "ext2";
    p.Uuid = UuidText(s.subspan(ExtUuidOffset, UuidSize));
    p.VolumeLabel = ByteLabel(s.subspan(ExtLabelOffset, ExtLabelSize));
    return true;
}

} // namespace

bool HasProtectiveEntry(const PartitionTable& mbr) {
    return std::ranges::any_of(mbr.Partitions,
                               [](const TPartition& p) { return p.Type == ProtectiveMbrType; });
}

std::optional<GptDisk> ReadGpt(DriveBus& bus, const HDD& drive, const PartitionTable& mbr) {
    if (!HasProtectiveEntry(mbr))
        return std::nullopt;
    GptDisk gpt;
    TableTry table = ReadTable(bus, drive, PrimaryGptHeaderLba);
    gpt.Source = GptSource::Primary;
    gpt.HeaderLba = PrimaryGptHeaderLba;
    if (!table.Header) {
        gpt.Notes.push_back("primary header at LBA 1: " + table.Problem);
        if (drive.Sectors <= 1) {
            gpt.Notes.push_back("no backup header: the drive reports no last sector");
            gpt.Source = GptSource::Damaged;
            return gpt;
        }
        gpt.HeaderLba = static_cast<uint64_t>(drive.Sectors - 1);
        table = ReadTable(bus, drive, gpt.HeaderLba);
        gpt.Source = GptSource::Backup;
        if (!table.Header) {
            gpt.Notes.push_back("backup header at LBA " + std::to_string(gpt.HeaderLba) + ": " +
                                table.Problem);
            gpt.Source = GptSource::Damaged;
            return gpt;
        }
    }
    const GptHeader& h = *table.Header;
    gpt.DiskGuid = h.DiskGuid;
    gpt.Partitions = DecodeGptEntries(h, table.Array, drive.Sectors);
    NoteArrayCap(h, gpt);
    NoteDiskEnd(h, drive, gpt);
    return gpt;
}

void ProbeGptVolume(DriveBus& bus, const HDD& drive, GptPartition& p) {
    // Sector `offset` of the partition, when it lies inside the partition
    // and the drive.
    auto read = [&](uint64_t offset) -> std::optional<DiskSector> {
        if (offset >= p.Sectors())
            return std::nullopt;
        const uint64_t lba = p.FirstLba + offset;
        if (drive.Sectors > 0 && lba >= static_cast<uint64_t>(drive.Sectors))
            return std::nullopt;
        return ReadDiskSector(bus, drive, lba, true);
    };
    if (const auto first = read(0); first && ApplyFirstSector(p, *first)) {
        if (p.FS != NtfsName)
            return;
        // The $Volume record: label, version and dirty flag.
        const auto s = std::span<const uint8_t>(*first);
        const uint64_t mft = ReadLittleEndian(s, NtfsMftClusterOffset, 8).value_or(0);
        const uint64_t cluster = p.ClusterSize;
        constexpr uint64_t Max = std::numeric_limits<uint64_t>::max();
        if (cluster == 0 || mft > (Max - NtfsVolumeRecordOffset) / cluster)
            return;
        if (const auto record = read(mft * cluster + NtfsVolumeRecordOffset)) {
            TPartition volume;
            ApplyNtfsVolumeRecord(volume, *record);
            p.VolumeLabel = volume.VolumeLabel;
            p.FSVersion = volume.FSVersion;
            p.Dirty = volume.Dirty;
        }
        return;
    }
    if (const auto ext = read(ExtSuperblockSector); ext && ApplyExtSuperblock(p, *ext))
        return;
    const auto btrfs = read(BtrfsSuperblockSector);
    if (!btrfs || !Holds(*btrfs, BtrfsMagicOffset, BtrfsMagic))
        return;
    p.FS = "Btrfs";
    p.Uuid = UuidText(std::span<const uint8_t>(*btrfs).subspan(BtrfsUuidOffset, UuidSize));
    // The label's 256 bytes cross into the next sector; it is read only
    // when the label runs that far.
    std::vector<uint8_t> label(btrfs->begin() + BtrfsLabelOffset, btrfs->end());
    if (std::ranges::find(label, uint8_t{0}) == label.end())
        if (const auto next = read(BtrfsSuperblockSector + 1))
            label.insert(label.end(), next->begin(),
                         next->begin() + (BtrfsLabelSize - label.size()));
    p.VolumeLabel = ByteLabel(label);
}

void ProbeGptPartitions(DriveBus& bus, const HDD& drive, const VolumeNames& names, GptDisk& gpt) {
    for (auto& p : gpt.Partitions) {
        ProbeGptVolume(bus, drive, p);
        p.MountPoints = names.MountPoints(drive.DriveNumber, static_cast<int>(p.Number));
    }
}

} // namespace quorvane
