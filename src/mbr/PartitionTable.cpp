#include "mbr/PartitionTable.h"

#include <cstdio>

#include "platform/LittleEndian.h"

namespace quorvane {
namespace {

// Master boot record layout.
constexpr size_t DiskSignatureOffset = 440;
constexpr size_t FirstEntryOffset = 446;
constexpr size_t EntrySize = 16;
constexpr size_t BootSignatureOffset = 510;
constexpr uint8_t ActiveIndicator = 0x80;
constexpr unsigned GiBShift = 21; // 2^21 sectors of 512 bytes

// The highest sector READ SECTOR(S) can address with its 28 bits.
constexpr uint64_t MaxLba28 = 0x0FFFFFFF;
// And READ SECTOR(S) EXT with its 48.
constexpr uint64_t MaxLba48 = (uint64_t{1} << 48) - 1;

uint32_t U32(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<uint32_t>(ReadLittleEndian(bytes, offset, 4).value_or(0));
}

std::string Hex(uint64_t value, int digits) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%0*llX", digits, static_cast<unsigned long long>(value));
    return buf;
}

} // namespace

std::string PartitionTypeName(uint8_t code) {
    switch (code) {
    case 0x00:
        return EmptyPartitionName;
    case 0x01:
        return "FAT12 CHS";
    case 0x04:
        return "FAT16 CHS <32M";
    case 0x05:
        return "Extended CHS";
    case 0x06:
        return "BIGDOS FAT16 CHS";
    case 0x07:
        return "IFS";
    case 0x0B:
        return "FAT32 CHS";
    case 0x0C:
        return "FAT32 LBA";
    case 0x0E:
        return "BIGDOS FAT16 LBA";
    case 0x0F:
        return "Extended LBA";
    case 0x42:
        return "Dynamic disk";
    case 0x82:
        return "Linux swap";
    case 0x83:
        return "Linux";
    case 0x85:
        return "Linux extended";
    default:
        return UnknownPartitionName;
    }
}

std::string HexBytes(std::span<const uint8_t> bytes) {
    std::string text;
    for (uint8_t b : bytes)
        text += Hex(b, 2);
    return text;
}

PartitionTable DecodePartitionTable(const DiskSector& sector) {
    const std::span<const uint8_t> bytes(sector);
    PartitionTable table;
    table.VolumeID = Hex(U32(bytes, DiskSignatureOffset), 8);
    table.Signature = Hex(ReadU16Le(bytes, BootSignatureOffset).value_or(0), 4) + "h";
    for (int slot = 0; slot < PartitionSlots; ++slot) {
        const auto entry =
            bytes.subspan(FirstEntryOffset + EntrySize * static_cast<size_t>(slot), EntrySize);
        TPartition& p = table.Partitions[static_cast<size_t>(slot)];
        p.Active = entry[0] == ActiveIndicator;
        p.Type = entry[4];
        p.FS = PartitionTypeName(entry[4]);
        p.Start = U32(entry, 8);
        p.Count = U32(entry, 12);
        p.Volume = p.Count >> GiBShift;
    }
    return table;
}

std::optional<DiskSector> ReadDiskSector(DriveBus& bus, const HDD& drive, uint64_t lba,
                                         bool checkStatus) {
    // Sectors are read with ATA commands; an NVMe drive answers none.
    if (drive.IsNvme())
        return std::nullopt;
    if (lba > (drive.LBA48 ? MaxLba48 : MaxLba28))
        return std::nullopt; // the command would read another sector
    AtaCommand cmd = drive.LBA48 ? AtaCommand::ReadSectorsExt(drive.DriveNumber, lba)
                                 : AtaCommand::ReadSectors(drive.DriveNumber,
                                                           static_cast<uint32_t>(lba));
    const bool sent = SendOnce(bus, drive.DriveNumber, cmd);
    if (!sent || (checkStatus && !AtaSucceeded(sent, cmd)))
        return std::nullopt;
    return cmd.Data;
}

std::optional<PartitionTable> ReadPartitionTable(DriveBus& bus, const HDD& drive) {
    // Sector 0 is read with the status test too: a drive that aborts the read
    // returns no sector, and decoding the empty buffer would show a disk
    // without partitions.
    const auto sector = ReadDiskSector(bus, drive, 0, true);
    if (!sector)
        return std::nullopt;
    return DecodePartitionTable(*sector);
}

} // namespace quorvane
