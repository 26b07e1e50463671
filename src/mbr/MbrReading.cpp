#include "mbr/MbrReading.h"

#include "mbr/BootSector.h"
#include "mbr/GptReading.h"

namespace quorvane {

void ProbePartitions(DriveBus& bus, const HDD& drive, const VolumeNames& names,
                     PartitionTable& table) {
    for (int slot = 1; slot <= PartitionSlots; ++slot) {
        TPartition& p = table.Partitions[static_cast<size_t>(slot - 1)];
        p.DosLetter = ' ';
        p.DosLetter = FindDosLetter(names, drive.DriveNumber, slot);
        p.MountPoints = names.MountPoints(drive.DriveNumber, slot);
        if (p.FS == EmptyPartitionName)
            continue;
        ProbeBootSector(bus, drive, p);
        if (p.FS == NtfsName)
            ReadNtfsVolumeInfo(bus, drive, p);
    }
}

std::optional<PartitionTable> ReadMbr(DriveBus& bus, const ProgramData& data, int slot,
                                      const VolumeNames& names) {
    if (!data.IsDriveSlot(slot) || !DriveTable::IsSlot(slot))
        return std::nullopt;
    const HDD& drive = data.Drives[slot];
    auto table = ReadPartitionTable(bus, drive);
    if (!table)
        return table;
    ProbePartitions(bus, drive, names, *table);
    table->Gpt = ReadGpt(bus, drive, *table);
    if (table->Gpt && table->Gpt->Used())
        ProbeGptPartitions(bus, drive, names, *table->Gpt);
    return table;
}

} // namespace quorvane
