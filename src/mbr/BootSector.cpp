#include "mbr/BootSector.h"

#include <algorithm>
#include <string_view>

#include "platform/LittleEndian.h"

namespace quorvane {
namespace {

// Boot-sector fields.
constexpr size_t OemNameOffset = 3;
constexpr std::string_view NtfsOemName = "NTFS    ";
constexpr size_t SectorsPerClusterOffset = 13;
constexpr size_t TotalSectors16Offset = 19;
constexpr size_t TotalSectors32Offset = 32;
constexpr size_t Fat16SerialOffset = 39;
constexpr size_t Fat16LabelOffset = 43;
constexpr size_t Fat32SerialOffset = 67;
constexpr size_t Fat32LabelOffset = 71;
constexpr size_t FatSerialSize = 4;
constexpr size_t FatLabelSize = 11;
constexpr size_t NtfsMftClusterOffset = 48;
constexpr size_t NtfsSerialOffset = 72;
constexpr size_t NtfsSerialSize = 8;

// $Volume record: two 512-byte sectors from the start of the MFT's record 3.
constexpr uint32_t VolumeRecordSectorOffset = 6;
constexpr size_t FirstAttributeOffset = 20;
// Attribute header.
constexpr size_t AttributeLengthOffset = 4;
constexpr size_t AttributeHeaderSize = 8; // type and length
constexpr size_t ValueLengthOffset = 16;
constexpr size_t ValueOffsetOffset = 20;
constexpr size_t ResidentHeaderSize = 22; // through the value offset
constexpr uint8_t AttributeVolumeName = 0x60;
constexpr uint8_t AttributeVolumeInformation = 0x70;
constexpr uint8_t AttributeData = 0x80;
constexpr uint32_t AttributeEnd = 0xFFFFFFFF;
// $VOLUME_INFORMATION value.
constexpr size_t MajorVersionOffset = 8;
constexpr size_t MinorVersionOffset = 9;
constexpr size_t VolumeFlagsOffset = 10;
constexpr uint8_t VolumeDirty = 0x01;

uint32_t U32(std::span<const uint8_t> bytes, size_t offset) {
    return static_cast<uint32_t>(ReadLittleEndian(bytes, offset, 4).value_or(0));
}

// Removes every leading and trailing byte of code 32 or below.
std::span<const uint8_t> TrimControls(std::span<const uint8_t> bytes) {
    while (!bytes.empty() && bytes.front() <= 0x20)
        bytes = bytes.subspan(1);
    while (!bytes.empty() && bytes.back() <= 0x20)
        bytes = bytes.first(bytes.size() - 1);
    return bytes;
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Code page 1252 at 0x80..0x9F; the five unassigned positions keep their
// Latin-1 control code. 0xA0..0xFF equal Latin-1.
constexpr uint16_t Cp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

void ApplyNtfsBootSector(TPartition& p, std::span<const uint8_t> s) {
    p.FS = NtfsName;
    p.Serial = HexBytes(s.subspan(NtfsSerialOffset, NtfsSerialSize));
    p.ClusterSize = NtfsClusterSectors(s[SectorsPerClusterOffset]);
    p.MFTCluster = ReadLittleEndian(s, NtfsMftClusterOffset, 8).value_or(0);
}

void ApplyFatBootSector(TPartition& p, std::span<const uint8_t> s) {
    p.ClusterSize = s[SectorsPerClusterOffset];
    const uint16_t total16 = ReadU16Le(s, TotalSectors16Offset).value_or(0);
    p.Count = total16 != 0 ? total16 : U32(s, TotalSectors32Offset);
    const bool fat1x = p.FS.starts_with("FAT16") || p.FS.starts_with("FAT12");
    const size_t serialAt = fat1x ? Fat16SerialOffset : Fat32SerialOffset;
    const size_t labelAt = fat1x ? Fat16LabelOffset : Fat32LabelOffset;
    p.Serial = HexBytes(s.subspan(serialAt, FatSerialSize));
    p.VolumeLabel = AnsiToUtf8(TrimControls(s.subspan(labelAt, FatLabelSize)));
}

} // namespace

uint32_t NtfsClusterSectors(uint8_t value) {
    if (value <= 0x80)
        return value;
    const unsigned power = 256u - value;
    return power < 32 ? (1u << power) : 0;
}

void ApplyBootSector(TPartition& partition, const DiskSector& sector) {
    const std::span<const uint8_t> s(sector);
    if (partition.FS == IfsName) {
        const std::string_view oem(reinterpret_cast<const char*>(s.data()) + OemNameOffset,
                                   NtfsOemName.size());
        if (oem == NtfsOemName)
            ApplyNtfsBootSector(partition, s);
    }
    if (partition.FS.starts_with("FAT"))
        ApplyFatBootSector(partition, s);
}

uint32_t NtfsVolumeSector(const TPartition& partition) {
    return partition.Start + static_cast<uint32_t>(partition.MFTCluster) * partition.ClusterSize +
           VolumeRecordSectorOffset;
}

void ApplyNtfsVolumeRecord(TPartition& partition, const DiskSector& sector) {
    const std::span<const uint8_t> s(sector);
    size_t offset = ReadU16Le(s, FirstAttributeOffset).value_or(0);
    while (FitsIn(s, offset, AttributeHeaderSize)) {
        const uint32_t type = U32(s, offset);
        if ((type & 0xFF) == AttributeData || type == AttributeEnd)
            break;
        const uint32_t length = U32(s, offset + AttributeLengthOffset);
        if (length == 0 || !FitsIn(s, offset, length))
            break;
        const auto attribute = s.subspan(offset, length);
        const uint32_t valueLength = U32(attribute, ValueLengthOffset);
        const size_t valueOffset = ReadU16Le(attribute, ValueOffsetOffset).value_or(0);
        const bool resident = attribute.size() >= ResidentHeaderSize;
        switch (type & 0xFF) {
        case AttributeVolumeName:
            if (resident && FitsIn(attribute, valueOffset, valueLength))
                partition.VolumeLabel =
                    Utf16LeToUtf8(attribute.subspan(valueOffset, valueLength), valueLength / 2);
            break;
        case AttributeVolumeInformation:
            if (resident && FitsIn(attribute, valueOffset, VolumeFlagsOffset + 1)) {
                const auto value = attribute.subspan(valueOffset);
                partition.FSVersion = " " + std::to_string(value[MajorVersionOffset]) + "." +
                                      std::to_string(value[MinorVersionOffset]);
                partition.Dirty = (value[VolumeFlagsOffset] & VolumeDirty) != 0;
            }
            break;
        default:
            break;
        }
        offset += length;
    }
}

void ProbeBootSector(DriveBus& bus, const HDD& drive, TPartition& partition) {
    if (const auto sector = ReadDiskSector(bus, drive, partition.Start, true))
        ApplyBootSector(partition, *sector);
}

void ReadNtfsVolumeInfo(DriveBus& bus, const HDD& drive, TPartition& partition) {
    if (partition.FS != NtfsName)
        return;
    if (const auto sector = ReadDiskSector(bus, drive, NtfsVolumeSector(partition), true))
        ApplyNtfsVolumeRecord(partition, *sector);
}

std::string AnsiToUtf8(std::span<const uint8_t> bytes) {
    std::string out;
    for (uint8_t b : bytes)
        AppendUtf8(out, b >= 0x80 && b < 0xA0 ? Cp1252High[b - 0x80] : b);
    return out;
}

std::string Utf16LeToUtf8(std::span<const uint8_t> bytes, size_t count) {
    std::string out;
    count = std::min(count, bytes.size() / 2);
    auto unit = [&](size_t i) {
        return static_cast<uint32_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    };
    for (size_t i = 0; i < count; ++i) {
        const uint32_t u = unit(i);
        if (u >= 0xD800 && u < 0xDC00 && i + 1 < count && unit(i + 1) >= 0xDC00 &&
            unit(i + 1) < 0xE000) {
            AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(i + 1) - 0xDC00));
            ++i;
        } else if (u >= 0xD800 && u < 0xE000) {
            out += '?';
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

} // namespace quorvane
