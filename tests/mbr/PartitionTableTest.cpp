// Sector reads through the command layer and the decoding of sector 0.
#include <gtest/gtest.h>

#include "common/TestDrives.h"
#include "ata/SimulatedBus.h"
#include "mbr/MbrReading.h"
#include "mbr/PartitionTable.h"

namespace quorvane {
namespace {

struct Entry {
    uint8_t Boot = 0, Type = 0;
    uint32_t Start = 0, Count = 0;
};

void Put32(DiskSector& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

DiskSector Mbr(std::initializer_list<Entry> entries, uint32_t diskSignature = 0,
               bool bootSignature = true) {
    DiskSector s{};
    Put32(s, 440, diskSignature);
    size_t at = 446;
    for (const Entry& e : entries) {
        s[at] = e.Boot;
        s[at + 1] = 0xFE; // CHS fields, not used
        s[at + 4] = e.Type;
        Put32(s, at + 8, e.Start);
        Put32(s, at + 12, e.Count);
        at += 16;
    }
    if (bootSignature) {
        s[510] = 0x55;
        s[511] = 0xAA;
    }
    return s;
}

TEST(PartitionTypeName, NamesTheKnownCodesAndDotsTheRest) {
    const std::pair<uint8_t, const char*> named[] = {
        {0x00, "Empty"},        {0x01, "FAT12 CHS"},        {0x04, "FAT16 CHS <32M"},
        {0x05, "Extended CHS"}, {0x06, "BIGDOS FAT16 CHS"}, {0x07, "IFS"},
        {0x0B, "FAT32 CHS"},    {0x0C, "FAT32 LBA"},        {0x0E, "BIGDOS FAT16 LBA"},
        {0x0F, "Extended LBA"}, {0x42, "Dynamic disk"},     {0x82, "Linux swap"},
        {0x83, "Linux"},        {0x85, "Linux extended"}};
    int namedCount = 0;
    for (int code = 0; code < 256; ++code) {
        const std::string name = PartitionTypeName(static_cast<uint8_t>(code));
        if (name != "...")
            ++namedCount;
    }
    EXPECT_EQ(namedCount, 14);
    for (const auto& [code, name] : named)
        EXPECT_EQ(PartitionTypeName(code), name) << int{code};
    for (uint8_t code : {0x02, 0x03, 0x08, 0x09, 0x0A, 0xEE, 0xEF, 0xFF})
        EXPECT_EQ(PartitionTypeName(code), "...") << int{code};
}

TEST(DecodePartitionTable, AllZeroSector) {
    const auto table = DecodePartitionTable(DiskSector{});
    EXPECT_EQ(table.VolumeID, "00000000");
    EXPECT_EQ(table.Signature, "0000h");
    for (const auto& p : table.Partitions) {
        EXPECT_FALSE(p.Active);
        EXPECT_EQ(p.FS, "Empty");
        EXPECT_EQ(p.Start, 0u);
        EXPECT_EQ(p.Count, 0u);
        EXPECT_EQ(p.Volume, 0u);
    }
}

TEST(DecodePartitionTable, TextsAndEntries) {
    const auto table = DecodePartitionTable(Mbr({{0x80, 0x07, 63, 2097151},
                                                 {0x81, 0x0C, 2097214, 2097152},
                                                 {0x01, 0xEE, 1, 0xFFFFFFFF},
                                                 {0x00, 0x83, 0xFFFFFFFF, 0x00200001}},
                                                0x12345678));
    EXPECT_EQ(table.VolumeID, "12345678"); // stored 78 56 34 12
    EXPECT_EQ(table.Signature, "AA55h");
    const auto& p = table.Partitions;
    EXPECT_TRUE(p[0].Active);
    EXPECT_FALSE(p[1].Active); // 0x81
    EXPECT_FALSE(p[2].Active); // 0x01
    EXPECT_EQ(p[0].FS, "IFS");
    EXPECT_EQ(p[1].FS, "FAT32 LBA");
    EXPECT_EQ(p[2].FS, "...");
    EXPECT_EQ(p[0].Start, 63u);
    EXPECT_EQ(p[3].Start, 0xFFFFFFFFu);
    EXPECT_EQ(p[0].Volume, 0u); // 2,097,151 sectors
    EXPECT_EQ(p[1].Volume, 1u); // 2,097,152 sectors
    EXPECT_EQ(p[2].Volume, 2047u);
    EXPECT_EQ(p[3].Volume, 1u);
    EXPECT_EQ(p[0].Serial, "");
    EXPECT_EQ(p[0].ClusterSize, 0u);
}

TEST(DecodePartitionTable, TextsKeepLeadingZerosAndAnyBootSignature) {
    auto sector = Mbr({}, 0x000000AB, false);
    sector[510] = 0x34;
    sector[511] = 0x12;
    const auto table = DecodePartitionTable(sector);
    EXPECT_EQ(table.VolumeID, "000000AB");
    EXPECT_EQ(table.Signature, "1234h"); // decoded all the same
}

// A drive directory whose disk.img holds sectors numbered in their first
// four bytes.
class SectorReadTest : public ::testing::Test {
protected:
    void AddDrive(unsigned n, const std::string& name, uint32_t sectors,
                  const std::string& ini = "") {
        dir.AddRealDrive(n, name, ini);
        std::vector<uint8_t> image(sectors * 512u);
        for (uint32_t s = 0; s < sectors; ++s)
            for (int i = 0; i < 4; ++i)
                image[s * 512u + static_cast<uint32_t>(i)] = static_cast<uint8_t>(s >> (8 * i));
        dir.WriteBytes(n, "disk.img", image);
    }
    SimulatedBus& Bus() {
        if (!bus)
            bus = std::make_unique<SimulatedBus>(dir.Path());
        return *bus;
    }
    const SimulatedBus::SentCommand& Last() { return Bus().SentCommands().back(); }
    static uint32_t Number(const DiskSector& s) {
        return s[0] | s[1] << 8 | s[2] << 16 | static_cast<uint32_t>(s[3]) << 24;
    }

    test::DriveDir dir;
    std::unique_ptr<SimulatedBus> bus;
};

TEST_F(SectorReadTest, Lba48DrivesReadWithReadSectorsExt) {
    AddDrive(2, "ST9160821AS--3.CLH", 40);
    HDD drive;
    drive.DriveNumber = 2;
    drive.LBA48 = true;
    const auto sector = ReadDiskSector(Bus(), drive, 37, true);
    ASSERT_TRUE(sector);
    EXPECT_EQ(Number(*sector), 37u);
    EXPECT_EQ(Last().TaskFile.Command, 0x24);
    EXPECT_EQ(Last().Flags, 0x0B);
    EXPECT_EQ(Last().TaskFile.Device, 0x40);
    EXPECT_EQ(Last().TaskFile.SectorCount, 1);

    // Address bits 24-31 travel in the previous LBA Low register.
    EXPECT_FALSE(ReadDiskSector(Bus(), drive, 0xA1B2C3D4, true)); // outside the image
    const auto& tf = Last().TaskFile;
    EXPECT_EQ(tf.LbaLow, 0xD4);
    EXPECT_EQ(tf.LbaMid, 0xC3);
    EXPECT_EQ(tf.LbaHigh, 0xB2);
    EXPECT_EQ(tf.Device, 0x40);
    EXPECT_EQ(Last().PreviousTaskFile.LbaLow, 0xA1);
    EXPECT_EQ(Last().PreviousTaskFile.LbaMid, 0);
    EXPECT_EQ(Bus().OpenHandles(), 0);
}

TEST_F(SectorReadTest, OtherDrivesReadWithReadSectorsAndTheHighBitsInTheDeviceByte) {
    AddDrive(1, "IBM_IC25N020ATCS04-0", 8);
    HDD drive;
    drive.DriveNumber = 1;
    drive.LBA48 = false;
    ASSERT_TRUE(ReadDiskSector(Bus(), drive, 5, true));
    EXPECT_EQ(Last().TaskFile.Command, 0x20);
    EXPECT_EQ(Last().Flags, 0x03);
    EXPECT_EQ(Last().TaskFile.Device, 0x50); // odd drive number

    EXPECT_FALSE(ReadDiskSector(Bus(), drive, 0x0A345678, true));
    EXPECT_EQ(Last().TaskFile.Device, 0x5A);
    EXPECT_EQ(Last().TaskFile.LbaHigh, 0x34);
    EXPECT_EQ(Last().PreviousTaskFile, AtaRegisters{});

    // 28 bits cannot reach this sector: nothing is sent rather than reading
    // the sector the address wraps to.
    const size_t sent = Bus().SentCommands().size();
    EXPECT_FALSE(ReadDiskSector(Bus(), drive, 0x10000005, false));
    EXPECT_EQ(Bus().SentCommands().size(), sent);
}

TEST_F(SectorReadTest, StatusTestDecidesWhetherAnAbortedReadFails) {
    AddDrive(0, "ST9160821AS--3.CLH", 4, "abort = read-sectors");
    HDD drive;
    drive.LBA48 = true;
    EXPECT_FALSE(ReadDiskSector(Bus(), drive, 1, true));
    EXPECT_TRUE(ReadDiskSector(Bus(), drive, 1, false)); // the request itself went through
}

TEST_F(SectorReadTest, PartitionTableNeedsSectorZero) {
    HDD drive;
    drive.LBA48 = true;
    // No such drive.
    EXPECT_FALSE(ReadPartitionTable(Bus(), drive));
    // A drive without disk.img aborts the read: no table, not an empty one.
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    bus.reset();
    EXPECT_FALSE(ReadPartitionTable(Bus(), drive));
    // A request that fails.
    AddDrive(1, "ST9160821AS--3.CLH", 4, "fail = read-sectors");
    drive.DriveNumber = 1;
    bus.reset();
    EXPECT_FALSE(ReadPartitionTable(Bus(), drive));
    EXPECT_EQ(Bus().OpenHandles(), 0);
}

TEST_F(SectorReadTest, ReadMbrReadsNoDriveOutsideTheTable) {
    AddDrive(0, "ST9160821AS--3.CLH", 4);
    ProgramData data;
    data.DriveCount = 1;
    data.Drives[1].LBA48 = true;
    const NoVolumeNames names;
    EXPECT_TRUE(ReadMbr(Bus(), data, 1, names));
    const size_t sent = Bus().SentCommands().size();
    for (int slot : {0, 2, 6, 7, -1})
        EXPECT_FALSE(ReadMbr(Bus(), data, slot, names)) << slot;
    EXPECT_EQ(Bus().SentCommands().size(), sent);
}

} // namespace
} // namespace quorvane
