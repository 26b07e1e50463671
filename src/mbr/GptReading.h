// Reading a GUID partition table through the drive's sector reads: the
// primary header at LBA 1 and its entry array, the backup at the disk's
// last sector when the primary cannot be used, and the first sectors of
// each partition for the file system they hold.
#pragma once

#include <optional>

#include "ata/DriveBus.h"
#include "app/DriveTable.h"
#include "mbr/GptTable.h"
#include "mbr/PartitionTable.h"
#include "mbr/VolumeNames.h"

namespace quorvane {

// True when an entry of the master boot record has type EEh.
bool HasProtectiveEntry(const PartitionTable& mbr);

// The GPT of a disk whose MBR has a protective entry; nothing otherwise
// (then nothing is read). Reads the primary header and at most
// GptArrayBytesRead bytes of its array; when either cannot be used, the
// backup header at the drive's last sector and its array. Every read is
// status-tested.
std::optional<GptDisk> ReadGpt(DriveBus& bus, const HDD& drive, const PartitionTable& mbr);

// The file system on the first sectors of a partition: an NTFS or FAT boot
// sector (as the MBR's partitions are probed, with the NTFS $Volume
// record), an XFS superblock in its first sector, an ext2/3/4 superblock at
// byte 1024, a Btrfs one at 64 KiB. Sectors outside the partition or the
// drive are not read.
void ProbeGptVolume(DriveBus& bus, const HDD& drive, GptPartition& partition);

// Probes every partition and finds its mount points (partition number =
// entry number, as the kernel numbers them).
void ProbeGptPartitions(DriveBus& bus, const HDD& drive, const VolumeNames& names, GptDisk& gpt);

} // namespace quorvane
