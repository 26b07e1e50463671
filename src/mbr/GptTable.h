// The GUID partition table: its header, its entry array and the names of
// the partition types, decoded from bytes. Reading the sectors is
// GptReading's part; nothing here touches a drive.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace quorvane {

// The MBR partition type of the one entry that covers a GPT disk.
inline constexpr uint8_t ProtectiveMbrType = 0xEE;
// The primary header's sector; the backup is the disk's last sector.
inline constexpr uint64_t PrimaryGptHeaderLba = 1;
// At most this much of an entry array is read, whatever the header claims:
// the 128 entries of 128 bytes every partitioning tool writes. A larger
// array's entries beyond it are not shown and its CRC32 is not checked.
inline constexpr size_t GptMaxEntries = 128;
inline constexpr size_t GptArrayBytesRead = GptMaxEntries * 128;

// The attribute bits of a partition entry that are shown by name.
inline constexpr uint64_t GptAttributeRequired = 1ull << 0;
inline constexpr uint64_t GptAttributeNoBlockIo = 1ull << 1;
inline constexpr uint64_t GptAttributeLegacyBootable = 1ull << 2;

struct GptHeader {
    uint32_t Revision = 0;
    uint32_t HeaderSize = 0;
    uint64_t MyLba = 0;
    uint64_t AlternateLba = 0;
    uint64_t FirstUsableLba = 0;
    uint64_t LastUsableLba = 0;
    std::string DiskGuid;
    uint64_t EntriesLba = 0;
    uint32_t EntryCount = 0;
    uint32_t EntrySize = 0;
    uint32_t EntriesCrc = 0;

    // The array's size as the header gives it, and the part of it read.
    uint64_t ArrayBytes() const { return uint64_t{EntryCount} * EntrySize; }
    size_t ArrayBytesToRead() const;
    // The entries that lie wholly inside the part read (at most 128).
    size_t EntriesToDecode() const;
};

// A header sector checked: the header, or why it cannot be used.
struct GptHeaderCheck {
    std::optional<GptHeader> Header;
    std::string Problem;
};

// Checks a header sector read from `lba`: the "EFI PART" signature,
// revision 1.x, a header size from 92 to 512 bytes, its CRC32 (taken with
// the CRC field as zeros), that it names `lba` as its own place, an entry
// size that is a multiple of 128 no larger than the part of the array that
// is read, and an array that lies neither in sector 0 nor on the header.
GptHeaderCheck CheckGptHeader(std::span<const uint8_t, 512> sector, uint64_t lba);

// The GUID of 16 bytes as stored (the first three fields little-endian):
// "C12A7328-F81F-11D2-BA4B-00A0C93EC93B".
std::string GuidText(std::span<const uint8_t> bytes);
// 16 bytes in their order as a UUID, as blkid writes a file system's:
// "0f1e2d3c-...".
std::string UuidText(std::span<const uint8_t> bytes);

// The name of a partition type GUID ("EFI System"), or the GUID itself.
std::string GptTypeName(const std::string& typeGuid);

// One used entry of the array, completed by the volume probe.
struct GptPartition {
    uint32_t Number = 0; // the entry's place from 1: the system's partition number
    std::string TypeGuid;
    std::string TypeName;
    std::string UniqueGuid;
    uint64_t FirstLba = 0;
    uint64_t LastLba = 0;
    uint64_t Attributes = 0;
    std::string Name; // UTF-8, control characters and bad code units as '?'
    bool PastDiskEnd = false; // the partition reaches beyond the drive's last sector
    // What the first sectors hold: "NTFS", "FAT12", "FAT16", "FAT32",
    // "ext2", "ext3", "ext4", "XFS", "Btrfs", or empty when none of them.
    std::string FS;
    std::string FSVersion; // " 3.1" for NTFS 3.1
    std::string VolumeLabel;
    std::string Serial; // FAT and NTFS: hexadecimal digits, bytes as stored
    std::string Uuid;   // ext, XFS and Btrfs
    uint32_t ClusterSize = 0; // FAT and NTFS, in 512-byte sectors
    bool Dirty = false;       // NTFS
    std::vector<std::string> MountPoints;

    // Sectors from first to last; 0 for an entry that ends before it starts.
    uint64_t Sectors() const { return LastLba >= FirstLba ? LastLba - FirstLba + 1 : 0; }
};

// Which header the partitions come from; Damaged when neither the primary
// nor the backup header with its array could be used.
enum class GptSource { Primary, Backup, Damaged };

// A GPT disk as read: the header used and its partitions, and notes on what
// was wrong or left out (a damaged primary, an array larger than what is
// read, a disk smaller than the header says).
struct GptDisk {
    GptSource Source = GptSource::Damaged;
    uint64_t HeaderLba = 0; // where the header used lies
    std::string DiskGuid;
    std::vector<GptPartition> Partitions;
    std::vector<std::string> Notes;
    bool Used() const { return Source != GptSource::Damaged; }
};

// "required, no block IO, legacy BIOS bootable, other 1000000000000000h";
// "none" when no bit is set.
std::string GptAttributesText(uint64_t attributes);

// The used entries (type GUID not all zero) of the array bytes read, in
// array order, at most header.EntriesToDecode(). Partitions reaching past
// diskSectors (when above 0) are marked.
std::vector<GptPartition> DecodeGptEntries(const GptHeader& header,
                                           std::span<const uint8_t> array, int64_t diskSectors);

} // namespace quorvane
