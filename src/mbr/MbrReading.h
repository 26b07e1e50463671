// One complete reading of a drive's master boot record, as the MBR window's
// read action does it before anything is shown.
#pragma once

#include <optional>

#include "ata/DriveBus.h"
#include "app/DriveTable.h"
#include "mbr/PartitionTable.h"
#include "mbr/VolumeNames.h"

namespace quorvane {

// For each slot 1..4 in order: the drive letter and mount points, then,
// unless the slot is "Empty", the boot sector and, for NTFS, the $Volume
// record.
void ProbePartitions(DriveBus& bus, const HDD& drive, const VolumeNames& names,
                     PartitionTable& table);

// Reads and decodes the master boot record of the drive in a slot and
// probes its partitions; on a disk with a protective entry (EEh) also the
// GUID partition table and its partitions. Nothing when the slot holds no drive of the last
// scan (then nothing is read) or when sector 0 cannot be read.
std::optional<PartitionTable> ReadMbr(DriveBus& bus, const ProgramData& data, int slot,
                                      const VolumeNames& names);

} // namespace quorvane
