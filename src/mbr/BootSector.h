// The boot sectors of the primary partitions (FAT, NTFS) and the NTFS
// $Volume record.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "ata/DriveBus.h"
#include "app/DriveTable.h"
#include "mbr/PartitionTable.h"

namespace quorvane {

inline constexpr const char* NtfsName = "NTFS";
inline constexpr const char* IfsName = "IFS";

// The sectors-per-cluster byte of an NTFS boot sector as a number of
// sectors. Up to 0x80 the byte is the count itself; above it stores a
// negative power of two (0xF8 = -8: 2^8 = 256 sectors, 128 KiB). A power
// too large for 32 bits gives 0.
uint32_t NtfsClusterSectors(uint8_t value);

// Completes a record from the first sector of its partition: an "IFS" slot
// with an NTFS boot sector becomes "NTFS" with serial, cluster size and MFT
// cluster; a slot whose name begins with "FAT" takes cluster size, sector
// count, serial and label. Other slots stay as they are.
void ApplyBootSector(TPartition& partition, const DiskSector& sector);

// The sector where the $Volume record (record 3) begins: Start + MFT
// cluster (low 32 bits) x cluster size + 6, in wrapping 32-bit arithmetic.
uint32_t NtfsVolumeSector(const TPartition& partition);

// Walks the attributes of the first sector of the $Volume record for the
// label ($VOLUME_NAME), the version and the dirty flag
// ($VOLUME_INFORMATION). The walk ends at $DATA (0x80), at the end marker,
// at a zero length or at an attribute that would leave the sector; a value
// that does not lie inside its attribute is not taken. What the walk does
// not reach stays as it was.
void ApplyNtfsVolumeRecord(TPartition& partition, const DiskSector& sector);

// Reads the partition's first sector (status tested) and applies it; the
// record stays unchanged when the read fails.
void ProbeBootSector(DriveBus& bus, const HDD& drive, TPartition& partition);

// For an "NTFS" record: reads the $Volume record's first sector (status
// tested) and applies it; unchanged when the read fails.
void ReadNtfsVolumeInfo(DriveBus& bus, const HDD& drive, TPartition& partition);

// Text conversions for what the volumes store. Both give UTF-8.
// 8-bit characters of the Windows ANSI code page (1252).
std::string AnsiToUtf8(std::span<const uint8_t> bytes);
// count UTF-16LE code units; an unpaired surrogate gives '?'.
std::string Utf16LeToUtf8(std::span<const uint8_t> bytes, size_t count);

} // namespace quorvane
