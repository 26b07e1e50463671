// Boot-sector decoding and the walk over the $Volume record, on sectors
// built byte by byte: the cases the tools cannot make.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "mbr/BootSector.h"

namespace quorvane {
namespace {

void Put(DiskSector& s, size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        s.at(at + static_cast<size_t>(i)) = static_cast<uint8_t>(v >> (8 * i));
}

void PutText(DiskSector& s, size_t at, const char* text, size_t size) {
    std::memcpy(s.data() + at, text, size);
}

TPartition Slot(const char* fs, uint32_t start = 2048, uint32_t count = 4096000) {
    TPartition p;
    p.FS = fs;
    p.Start = start;
    p.Count = count;
    p.Volume = count >> 21;
    return p;
}

DiskSector NtfsBoot(uint8_t sectorsPerCluster = 8, uint64_t mftCluster = 786432) {
    DiskSector s{};
    PutText(s, 3, "NTFS    ", 8);
    s[13] = sectorsPerCluster;
    Put(s, 48, mftCluster, 8);
    const uint8_t serial[] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88};
    std::memcpy(s.data() + 72, serial, 8);
    return s;
}

TEST(BootSector, NtfsBootSectorTurnsIfsIntoNtfs) {
    TPartition p = Slot("IFS");
    ApplyBootSector(p, NtfsBoot(8, 0x0000000100000004));
    EXPECT_EQ(p.FS, "NTFS");
    EXPECT_EQ(p.Serial, "1122334455667788");
    EXPECT_EQ(p.ClusterSize, 8u);
    EXPECT_EQ(p.MFTCluster, 0x0000000100000004u);
    EXPECT_EQ(p.Count, 4096000u); // the MBR's count stays
    EXPECT_EQ(p.VolumeLabel, "");

    // The NTFS name counts only in an "IFS" slot.
    TPartition linux = Slot("Linux");
    ApplyBootSector(linux, NtfsBoot());
    EXPECT_EQ(linux.FS, "Linux");
    EXPECT_EQ(linux.Serial, "");
}

TEST(BootSector, OtherOemNamesLeaveIfsUnchanged) {
    for (const char* oem : {"EXFAT   ", "NTFS   \0", "ntfs    ", "MSDOS5.0"}) {
        DiskSector s = NtfsBoot();
        PutText(s, 3, oem, 8);
        TPartition p = Slot("IFS");
        ApplyBootSector(p, s);
        EXPECT_EQ(p.FS, "IFS") << oem;
        EXPECT_EQ(p.Serial, "");
        EXPECT_EQ(p.ClusterSize, 0u);
        EXPECT_EQ(p.MFTCluster, 0u);
    }
}

TEST(BootSector, NtfsClusterByteAbove0x80IsANegativePowerOfTwo) {
    EXPECT_EQ(NtfsClusterSectors(1), 1u);
    EXPECT_EQ(NtfsClusterSectors(0x80), 128u);  // 64 KiB
    EXPECT_EQ(NtfsClusterSectors(0xF8), 256u);  // 128 KiB
    EXPECT_EQ(NtfsClusterSectors(0xF4), 4096u); // 2 MiB
    EXPECT_EQ(NtfsClusterSectors(0xE1), 0x80000000u);
    EXPECT_EQ(NtfsClusterSectors(0xE0), 0u); // 2^32 does not fit
    EXPECT_EQ(NtfsClusterSectors(0x81), 0u);

    TPartition p = Slot("IFS");
    ApplyBootSector(p, NtfsBoot(0xF8, 2));
    EXPECT_EQ(p.ClusterSize, 256u);
    // $Volume lies at cluster 2 x 256 sectors + 6, not 2 x 248 + 6.
    EXPECT_EQ(NtfsVolumeSector(p), 2048u + 512u + 6u);
}

TEST(BootSector, VolumeSectorWrapsIn32Bits) {
    TPartition p = Slot("NTFS", 2048);
    p.ClusterSize = 8;
    p.MFTCluster = 786432;
    EXPECT_EQ(NtfsVolumeSector(p), 2048u + 786432u * 8u + 6u);
    p.Start = 0xFFFFFF00;
    p.MFTCluster = 0x0000000500000010; // only the low 32 bits count
    p.ClusterSize = 16;
    EXPECT_EQ(NtfsVolumeSector(p), 6u);
}

DiskSector FatBoot(bool fat32, uint16_t total16, uint32_t total32, const char* label) {
    DiskSector s{};
    PutText(s, 3, "mkfs.fat", 8);
    s[13] = fat32 ? 8 : 4;
    Put(s, 19, total16, 2);
    Put(s, 32, total32, 4);
    const size_t serialAt = fat32 ? 67 : 39;
    Put(s, serialAt, 0x1234ABCD, 4); // stored CD AB 34 12
    PutText(s, serialAt + 4, label, 11);
    // The other layout's fields hold something else.
    Put(s, fat32 ? 39 : 67, 0xFFFFFFFF, 4);
    return s;
}

TEST(BootSector, Fat32TakesCountSerialAndLabelFromItsLayout) {
    TPartition p = Slot("FAT32 LBA", 2048, 4200000);
    ApplyBootSector(p, FatBoot(true, 0, 4194304, "NO NAME    "));
    EXPECT_EQ(p.FS, "FAT32 LBA");
    EXPECT_EQ(p.Count, 4194304u);
    EXPECT_EQ(p.Volume, 2u); // the MBR's
    EXPECT_EQ(p.Serial, "CDAB3412");
    EXPECT_EQ(p.VolumeLabel, "NO NAME");
    EXPECT_EQ(p.ClusterSize, 8u);
    EXPECT_FALSE(p.Dirty);
    EXPECT_EQ(p.MFTCluster, 0u);

    // A 16-bit count wins over the 32-bit one.
    TPartition chs = Slot("FAT32 CHS");
    ApplyBootSector(chs, FatBoot(true, 8192, 99999, "SMALL      "));
    EXPECT_EQ(chs.Count, 8192u);
}

TEST(BootSector, Fat16AndFat12TakeTheShortLayout) {
    for (const char* fs : {"FAT16 CHS <32M", "FAT12 CHS"}) {
        TPartition p = Slot(fs);
        ApplyBootSector(p, FatBoot(false, 20000, 0, "\0 MY  DISK\x1F"));
        EXPECT_EQ(p.Count, 20000u) << fs;
        EXPECT_EQ(p.Serial, "CDAB3412") << fs;
        // Codes of 32 and below go at both ends, not inside.
        EXPECT_EQ(p.VolumeLabel, "MY  DISK") << fs;
        EXPECT_EQ(p.ClusterSize, 4u);
    }
}

TEST(BootSector, FatLabelIsReadInTheAnsiCodePage) {
    TPartition p = Slot("FAT32 LBA");
    ApplyBootSector(p, FatBoot(true, 0, 1, "CAF\xC9 \x80 5  "));
    EXPECT_EQ(p.VolumeLabel, "CAF\xC3\x89 \xE2\x82\xAC 5");
}

TEST(BootSector, BigdosTypesAreNotDecoded) {
    for (const char* fs : {"BIGDOS FAT16 CHS", "BIGDOS FAT16 LBA"}) {
        TPartition p = Slot(fs, 63, 1000000);
        ApplyBootSector(p, FatBoot(false, 20000, 0, "LABEL      "));
        EXPECT_EQ(p.Count, 1000000u);
        EXPECT_EQ(p.Serial, "");
        EXPECT_EQ(p.VolumeLabel, "");
        EXPECT_EQ(p.ClusterSize, 0u);
    }
}

// A $Volume record's first sector, attribute by attribute.
class VolumeRecord {
public:
    explicit VolumeRecord(uint16_t first = 56) : at_(first) {
        PutText(s_, 0, "FILE", 4);
        Put(s_, 20, first, 2);
    }
    // The next attribute goes `advance` bytes further (the length unless a
    // broken length is wanted).
    VolumeRecord& Attribute(uint32_t type, uint32_t length, size_t advance = 0) {
        Put(s_, at_, type, 4);
        Put(s_, at_ + 4, length, 4);
        last_ = at_;
        at_ += advance ? advance : length;
        return *this;
    }
    // A resident attribute with its value right after a 24-byte header.
    VolumeRecord& Resident(uint32_t type, const std::vector<uint8_t>& value) {
        const auto length = static_cast<uint32_t>((24 + value.size() + 7) / 8 * 8);
        const size_t start = at_;
        Attribute(type, length);
        Put(s_, start + 16, value.size(), 4);
        Put(s_, start + 20, 24, 2);
        std::copy(value.begin(), value.end(), s_.begin() + static_cast<long>(start) + 24);
        return *this;
    }
    VolumeRecord& Name(const std::u16string& name) {
        std::vector<uint8_t> bytes;
        for (char16_t c : name) {
            bytes.push_back(static_cast<uint8_t>(c));
            bytes.push_back(static_cast<uint8_t>(c >> 8));
        }
        return Resident(0x60, bytes);
    }
    VolumeRecord& Information(uint8_t major, uint8_t minor, uint8_t flags) {
        std::vector<uint8_t> value(12);
        value[8] = major;
        value[9] = minor;
        value[10] = flags;
        return Resident(0x70, value);
    }
    VolumeRecord& End() {
        Put(s_, at_, 0xFFFFFFFF, 4);
        at_ += 8;
        return *this;
    }
    size_t Offset() const { return at_; }
    size_t LastAttribute() const { return last_; }
    DiskSector& Sector() { return s_; }

private:
    DiskSector s_{};
    size_t at_;
    size_t last_ = 0;
};

TPartition Walked(DiskSector sector, TPartition p = Slot("NTFS")) {
    ApplyNtfsVolumeRecord(p, sector);
    return p;
}

TEST(NtfsVolumeRecord, LabelVersionAndDirtyFlag) {
    VolumeRecord r;
    r.Attribute(0x10, 0x60).Attribute(0x30, 0x68).Name(u"Data Disk").Information(3, 1, 0x01);
    r.Attribute(0x80, 0x18).End();
    const TPartition p = Walked(r.Sector());
    EXPECT_EQ(p.VolumeLabel, "Data Disk");
    EXPECT_EQ(p.FSVersion, " 3.1");
    EXPECT_TRUE(p.Dirty);

    VolumeRecord clean;
    clean.Information(1, 2, 0xFE).Name(u"").Attribute(0x80, 0x18);
    TPartition labelled = Slot("NTFS");
    labelled.VolumeLabel = "old";
    labelled.Dirty = true;
    labelled = Walked(clean.Sector(), labelled);
    EXPECT_EQ(labelled.VolumeLabel, ""); // a value of length 0
    EXPECT_EQ(labelled.FSVersion, " 1.2");
    EXPECT_FALSE(labelled.Dirty);
}

TEST(NtfsVolumeRecord, LabelIsUtf16AndNotTrimmed) {
    VolumeRecord r;
    r.Name(u" Gr\u00F6\u00DFe \U0001F600 ").Attribute(0x80, 0x18);
    EXPECT_EQ(Walked(r.Sector()).VolumeLabel, " Gr\xC3\xB6\xC3\x9F"
                                              "e \xF0\x9F\x98\x80 ");
    VolumeRecord lone;
    lone.Name(std::u16string(u"A") + char16_t{0xD800} + u"B").Attribute(0x80, 0x18);
    EXPECT_EQ(Walked(lone.Sector()).VolumeLabel, "A?B");
}

TEST(NtfsVolumeRecord, WalkStopsAtDataByTheLowByteOfTheType) {
    VolumeRecord r;
    r.Attribute(0x180, 0x18).Information(3, 1, 1);
    const TPartition p = Walked(r.Sector());
    EXPECT_EQ(p.FSVersion, "");
    EXPECT_FALSE(p.Dirty);
}

// However the record is broken, the walk ends inside the sector and leaves
// what it did not reach unchanged.
TEST(NtfsVolumeRecord, HostileRecordsEndTheWalkInsideTheSector) {
    TPartition before = Slot("NTFS");
    before.VolumeLabel = "kept";
    before.FSVersion = " 9.9";
    auto unchanged = [&](DiskSector s, const char* what) {
        const TPartition p = Walked(s, before);
        EXPECT_EQ(p.VolumeLabel, "kept") << what;
        EXPECT_EQ(p.FSVersion, " 9.9") << what;
        EXPECT_FALSE(p.Dirty) << what;
    };
    {
        VolumeRecord r(600); // first attribute outside the sector
        unchanged(r.Sector(), "first offset 600");
    }
    {
        VolumeRecord r(508); // type fits, length would not
        r.Sector()[508] = 0x70;
        unchanged(r.Sector(), "header cut by the sector end");
    }
    {
        VolumeRecord r;
        r.Attribute(0x10, 0, 0x60).Information(3, 1, 1);
        unchanged(r.Sector(), "zero length");
    }
    {
        VolumeRecord r;
        r.End().Information(3, 1, 1);
        unchanged(r.Sector(), "end marker");
    }
    {
        VolumeRecord r;
        r.Attribute(0x10, 0x1000, 0x60).Information(3, 1, 1);
        unchanged(r.Sector(), "length beyond the sector");
    }
    {
        VolumeRecord r(456); // $VOLUME_INFORMATION reaching past byte 511
        r.Information(3, 1, 1);
        Put(r.Sector(), 456 + 4, 64, 4);
        unchanged(r.Sector(), "attribute leaving the sector");
    }
    {
        VolumeRecord r;
        r.Attribute(0x10, 0xFFFFFFF8, 0x60).Information(3, 1, 1);
        unchanged(r.Sector(), "length that wraps");
    }
    {
        // The last eight bytes hold a $VOLUME_INFORMATION header with no room
        // for its value.
        VolumeRecord r(504);
        r.Attribute(0x70, 8);
        unchanged(r.Sector(), "attribute too short for a value");
    }
}

TEST(NtfsVolumeRecord, ValuesOutsideTheirAttributeAreNotTaken) {
    VolumeRecord r;
    r.Name(u"Label");
    const size_t nameAt = r.LastAttribute();
    r.Information(3, 1, 0);
    const size_t infoAt = r.LastAttribute();
    r.Attribute(0x80, 0x18);
    DiskSector huge = r.Sector();
    Put(huge, nameAt + 16, 0xFFFFFFF0, 4); // value length
    Put(huge, infoAt + 20, 0xFFF0, 2);     // value offset
    TPartition before = Slot("NTFS");
    before.VolumeLabel = "kept";
    const TPartition p = Walked(huge, before);
    EXPECT_EQ(p.VolumeLabel, "kept");
    EXPECT_EQ(p.FSVersion, "");

    // The walk goes on past a value it could not take.
    DiskSector odd = r.Sector();
    Put(odd, nameAt + 16, 0x7FFF, 4);
    EXPECT_EQ(Walked(odd).FSVersion, " 3.1");
}

} // namespace
} // namespace quorvane
