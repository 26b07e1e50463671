// Sector reads through the drive command layer and the master boot record.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ata/DriveBus.h"
#include "app/DriveTable.h"
#include "mbr/GptTable.h"

namespace quorvane {

using DiskSector = std::array<uint8_t, 512>;

inline constexpr int PartitionSlots = 4;
inline constexpr const char* EmptyPartitionName = "Empty";
inline constexpr const char* UnknownPartitionName = "...";

// One primary partition slot of the master boot record, completed by the
// boot-sector probe.
struct TPartition {
    bool Active = false; // boot indicator 0x80
    uint8_t Type = 0;    // the type code; EEh covers a GPT disk
    std::string FS;      // type name; "IFS" becomes "NTFS" for an NTFS boot sector
    uint32_t Start = 0;  // first sector
    uint32_t Count = 0;  // sectors; a FAT volume's own count once probed
    uint32_t Volume = 0; // the MBR's count in GiB, truncated
    std::string Serial;  // hexadecimal digits, bytes in the order stored
    // Cluster size in 512-byte sectors. Wider than the byte it is read from:
    // NTFS stores clusters of 128 KiB and more as a negative power of two.
    uint32_t ClusterSize = 0;
    uint64_t MFTCluster = 0;
    std::string VolumeLabel;
    std::string FSVersion; // " 3.1" for NTFS 3.1, empty otherwise
    bool Dirty = false;
    char DosLetter = ' '; // 'A'..'Z', or a space when the partition has no letter
    // Where the system has the partition mounted (Linux gives no letters);
    // the drive-letter label shows them as its tooltip.
    std::vector<std::string> MountPoints;
};

struct PartitionTable {
    std::string VolumeID;  // disk signature at 440: "12345678"
    std::string Signature; // boot signature at 510: "AA55h"
    std::array<TPartition, PartitionSlots> Partitions{};
    // Read when an entry has type EEh.
    std::optional<GptDisk> Gpt;
};

// The name of a partition type code ("..." for codes without one).
std::string PartitionTypeName(uint8_t code);

// Upper-case hexadecimal digits of the bytes in the order given.
std::string HexBytes(std::span<const uint8_t> bytes);

// Decodes sector 0: the two texts and the four primary entries. Any 512
// bytes are decoded; nothing is checked.
PartitionTable DecodePartitionTable(const DiskSector& sector);

// Reads one sector of a slot's drive: READ SECTOR(S) EXT on drives with
// 48-bit addressing, READ SECTOR(S) otherwise. With checkStatus a drive that
// ends the command with ERR counts as a failed read. A drive without 48-bit
// addressing cannot reach sectors from 2^28 on; such a read fails without a
// command being sent; so does one from 2^48 on.
std::optional<DiskSector> ReadDiskSector(DriveBus& bus, const HDD& drive, uint64_t lba,
                                         bool checkStatus);

// Reads sector 0 of the drive and decodes it; nothing when the sector could
// not be read (the drive cannot be opened, the request fails or the drive
// answers with ERR).
std::optional<PartitionTable> ReadPartitionTable(DriveBus& bus, const HDD& drive);

} // namespace quorvane
