// The MBR reading on disks made by the real tools, checked against what the
// tools were told and what blkid and ntfsinfo report.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "mbr/BootSector.h"
#include "mbr/MbrWindow.h"
#include "mbr/ToolDisk.h"

namespace quorvane {
namespace {

using test::Blkid;
using test::Capture;
using test::NtfsInfoField;
using test::Quote;
using test::ToolDisk;

constexpr uint64_t MiB = 1024 * 1024;
constexpr uint32_t SectorsPerMiB = 2048;

// blkid writes a FAT serial as "1234-ABCD" and an NTFS one as the 64-bit
// value; the boot sector stores both least significant byte first, and the
// serial text gives the bytes as stored.
std::string StoredOrder(std::string value) {
    value.erase(std::remove(value.begin(), value.end(), '-'), value.end());
    std::string out;
    for (size_t i = value.size(); i >= 2; i -= 2)
        out += value.substr(i - 2, 2);
    return out;
}

bool WasRead(const ToolDisk& disk, uint64_t lba) {
    const auto lbas = disk.SectorsRead();
    return std::find(lbas.begin(), lbas.end(), lba) != lbas.end();
}

TEST(ToolImage, FatVolumesGiveSerialLabelClusterAndTheirOwnCount) {
    ToolDisk disk;
    // Slot 3 is a 1 GiB partition holding a 40 MiB FAT32 volume: the count
    // comes from the volume, the size in GB from the MBR.
    disk.Partition(2200000, "label-id: 0x0BADCAFE\n"
                            "start=2048, size=4096, type=1, bootable\n"
                            "start=6144, size=32768, type=4\n"
                            "start=38912, size=2097152, type=c\n"
                            "start=2136064, size=8192, type=b\n");
    const auto fat12 =
        disk.Format("fat12", 2 * MiB, "mkfs.fat -F 12 -s 4 -i 0A1B2C3D -n FAT12VOL {}", 2048);
    const auto fat16 =
        disk.Format("fat16", 16 * MiB, "mkfs.fat -F 16 -s 2 -i 44A55B66 -n 'MY DISK' {}", 6144);
    const auto fat32 =
        disk.Format("fat32", 40 * MiB, "mkfs.fat -F 32 -s 1 -i DEADBEEF -n BIGDATA {}", 38912);
    // No label: mkfs.fat writes "NO NAME" and four spaces.
    const auto fat32Small =
        disk.Format("fat32s", 4 * MiB, "mkfs.fat -F 32 -s 1 -i 01020304 {}", 2136064);

    const auto table = disk.Read();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->VolumeID, "0BADCAFE");
    EXPECT_EQ(table->Signature, "AA55h");
    const auto& p = table->Partitions;

    EXPECT_TRUE(p[0].Active);
    EXPECT_EQ(p[0].FS, "FAT12 CHS");
    EXPECT_EQ(p[0].Serial, StoredOrder(Blkid(fat12)["UUID"]));
    EXPECT_EQ(p[0].Serial, "3D2C1B0A");
    EXPECT_EQ(p[0].VolumeLabel, Blkid(fat12)["LABEL"]);
    EXPECT_EQ(p[0].ClusterSize, 4u);
    EXPECT_EQ(p[0].Count, 2 * SectorsPerMiB); // 16-bit count of the volume

    EXPECT_EQ(p[1].FS, "FAT16 CHS <32M");
    EXPECT_EQ(p[1].Serial, StoredOrder(Blkid(fat16)["UUID"]));
    EXPECT_EQ(p[1].VolumeLabel, "MY DISK");
    EXPECT_EQ(p[1].ClusterSize, 2u);
    EXPECT_EQ(p[1].Count, 16 * SectorsPerMiB);

    EXPECT_EQ(p[2].FS, "FAT32 LBA");
    EXPECT_EQ(p[2].Serial, "EFBEADDE");
    EXPECT_EQ(p[2].Serial, StoredOrder(Blkid(fat32)["UUID"]));
    EXPECT_EQ(p[2].VolumeLabel, Blkid(fat32)["LABEL"]);
    EXPECT_EQ(p[2].Count, 40 * SectorsPerMiB); // from bytes 32-35, 19-20 being 0
    EXPECT_EQ(p[2].Volume, 1u);                // from the MBR's 2,097,152 sectors
    EXPECT_EQ(p[2].Start, 38912u);

    EXPECT_EQ(p[3].FS, "FAT32 CHS");
    EXPECT_EQ(p[3].VolumeLabel, "NO NAME");
    EXPECT_EQ(p[3].Serial, StoredOrder(Blkid(fat32Small)["UUID"]));
    for (const auto& part : p) {
        EXPECT_FALSE(part.Dirty);
        EXPECT_EQ(part.FSVersion, "");
    }

    const auto window = MbrWindowFor(*table, disk.Data().Drives[1].Sectors);
    EXPECT_EQ(window.Groups[0].FSL, "FAT12 CHS");
    EXPECT_EQ(window.Groups[0].ClusterSizeL, "2 K");
    EXPECT_EQ(window.Groups[2].ClusterSizeL, "512 B");
    EXPECT_EQ(window.Groups[2].CountL, "81920");
    EXPECT_EQ(window.Groups[2].VolumeL, "1 GB");
    EXPECT_EQ(window.Groups[2].SerialL, "EFBEADDE");
    EXPECT_TRUE(window.Groups[0].ActiveLEnabled);
    EXPECT_FALSE(window.Groups[1].ActiveLEnabled);
}

TEST(ToolImage, BigdosTypesAreReadButNotDecoded) {
    ToolDisk disk;
    disk.Partition(80000, "start=2048, size=32768, type=6\n"
                          "start=34816, size=32768, type=e\n");
    disk.Format("fat16a", 16 * MiB, "mkfs.fat -F 16 -i 11111111 -n BIGDOS1 {}", 2048);
    disk.Format("fat16b", 16 * MiB, "mkfs.fat -F 16 -i 22222222 -n BIGDOS2 {}", 34816);
    const auto table = disk.Read();
    ASSERT_TRUE(table);
    for (int i : {0, 1}) {
        const auto& part = table->Partitions[static_cast<size_t>(i)];
        EXPECT_EQ(part.FS, i == 0 ? "BIGDOS FAT16 CHS" : "BIGDOS FAT16 LBA");
        EXPECT_EQ(part.Serial, "");
        EXPECT_EQ(part.VolumeLabel, "");
        EXPECT_EQ(part.ClusterSize, 0u);
        EXPECT_EQ(part.Count, 32768u); // the MBR's
        EXPECT_TRUE(WasRead(disk, part.Start)) << "slot " << i + 1 << " is still read";
    }
    const auto group = FillPartitionGroup(table->Partitions[0]);
    EXPECT_EQ(group.SerialL, "...");
    EXPECT_EQ(group.ClusterSizeL, "...");
}

struct NtfsCase {
    uint32_t ClusterBytes;
    const char* Label;
    const char* SerialTold;
    const char* ClusterText;
};

void PrintTo(const NtfsCase& c, std::ostream* os) {
    *os << c.ClusterBytes << "-byte clusters, label \"" << c.Label << "\"";
}

class NtfsToolImage : public ::testing::TestWithParam<NtfsCase> {};

TEST_P(NtfsToolImage, SerialClusterLabelVersionAsTheToolsSay) {
    const NtfsCase c = GetParam();
    ToolDisk disk;
    disk.Partition(40000, "start=2048, size=32768, type=7, bootable\n");
    const std::string label = c.Label[0] ? std::string(" -L '") + c.Label + "'" : "";
    const auto ntfs =
        disk.Format("ntfs", 16 * MiB,
                    "mkntfs -F -Q -q -c " + std::to_string(c.ClusterBytes) + label +
                        " {} && ntfslabel -q " + "--new-serial=" + c.SerialTold + " {}",
                    2048);
    const std::string info = Capture("ntfsinfo -m " + Quote(ntfs) + " 2>&1");
    const auto table = disk.Read();
    ASSERT_TRUE(table);
    const TPartition& p = table->Partitions[0];
    EXPECT_EQ(p.FS, "NTFS");
    // The 64-bit serial told, as its bytes are stored: least significant first.
    EXPECT_EQ(p.Serial, StoredOrder(c.SerialTold));
    EXPECT_EQ(p.Serial, StoredOrder(Blkid(ntfs)["UUID"]));
    EXPECT_EQ(p.ClusterSize, c.ClusterBytes / 512);
    EXPECT_EQ(NtfsInfoField(info, "Cluster Size"), std::to_string(c.ClusterBytes));
    EXPECT_EQ(std::to_string(p.MFTCluster),
              NtfsInfoField(info, "LCN of Data Attribute for FILE_MFT"));
    EXPECT_EQ(p.VolumeLabel, c.Label);
    EXPECT_EQ(p.VolumeLabel, NtfsInfoField(info, "Volume Name"));
    EXPECT_EQ(p.FSVersion, " " + NtfsInfoField(info, "Volume Version"));
    EXPECT_EQ(p.FSVersion, " 3.1");
    EXPECT_FALSE(p.Dirty);
    EXPECT_EQ(p.Count, 32768u);
    EXPECT_TRUE(WasRead(disk, NtfsVolumeSector(p)));

    const auto group = FillPartitionGroup(p);
    EXPECT_EQ(group.FSL, "NTFS 3.1");
    EXPECT_EQ(group.ClusterSizeL, c.ClusterText);
    EXPECT_EQ(group.VolumeLabelL, c.Label);
    EXPECT_TRUE(group.ActiveLEnabled);
}

INSTANTIATE_TEST_SUITE_P(ClusterSizes, NtfsToolImage,
                         ::testing::Values(NtfsCase{512, "Small Clusters", "1122334455667788",
                                                    "512 B"},
                                           NtfsCase{4096, "Data", "00000000000000FF", "4 K"},
                                           NtfsCase{65536, "ABCDEFGHIJKLMNOPQRSTUVWXYZ012345",
                                                    "0102030405060708", "64 K"},
                                           NtfsCase{4096, "", "A0B0C0D0E0F00010", "4 K"},
                                           // Stored as 0xF8: 2^8 sectors. The $Volume record is
                                           // found only when the byte is read as a negative power.
                                           NtfsCase{131072, "Wide", "1111111111111111", "128 K"}),
                         [](const ::testing::TestParamInfo<NtfsCase>& info) {
                             return "Clusters" + std::to_string(info.param.ClusterBytes) +
                                    (info.param.Label[0] ? "" : "NoLabel");
                         });

// Sets the dirty flag of $VOLUME_INFORMATION in the $Volume record and its
// mirror, as a volume that was not shut down cleanly has it.
void MarkNtfsDirty(const std::filesystem::path& file) {
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    std::vector<uint8_t> head(std::filesystem::file_size(file));
    f.read(reinterpret_cast<char*>(head.data()), static_cast<std::streamsize>(head.size()));
    auto u16 = [&](size_t at) { return static_cast<size_t>(head.at(at) | head.at(at + 1) << 8); };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    const size_t cluster = head[13] * 512u;
    for (size_t lcnAt : {48u, 56u}) { // $MFT and $MFTMirr
        const size_t record = u32(lcnAt) * cluster + 3 * 1024;
        size_t attr = record + u16(record + 20);
        while (head.at(attr) != 0x70)
            attr += u32(attr + 4);
        const size_t flags = attr + u16(attr + 20) + 10;
        head.at(flags) |= 1;
        f.seekp(static_cast<std::streamoff>(flags));
        f.put(static_cast<char>(head[flags]));
    }
}

TEST(ToolImage, DirtyNtfsVolume) {
    ToolDisk disk;
    disk.Partition(40000, "start=2048, size=8192, type=7\n");
    const auto ntfs = disk.Format("ntfs", 4 * MiB, "mkntfs -F -Q -q -c 4096 -L Dirty {}", 2048);
    MarkNtfsDirty(ntfs);
    test::Run("dd if=" + Quote(ntfs) + " of=" + Quote(disk.Image()) +
              " bs=512 seek=2048 conv=notrunc status=none");
    ASSERT_NE(Capture("ntfsinfo -f -m " + Quote(ntfs) + " 2>&1").find("0x0001 DIRTY"),
              std::string::npos);
    const auto table = disk.Read();
    ASSERT_TRUE(table);
    EXPECT_TRUE(table->Partitions[0].Dirty);
    EXPECT_EQ(table->Partitions[0].VolumeLabel, "Dirty");
    EXPECT_TRUE(FillPartitionGroup(table->Partitions[0]).DirtyLEnabled);
}

TEST(ToolImage, OtherFileSystemsKeepTheirTypeNames) {
    ToolDisk disk;
    disk.Partition(200000, "start=2048, size=16384, type=7\n"
                           "start=18432, size=8192, type=82\n"
                           "start=26624, size=16384, type=83\n"
                           "start=43008, size=100000, type=5\n"
                           "start=45056, size=8192, type=83\n");
    const auto exfat = disk.Format("exfat", 8 * MiB, "mkfs.exfat -L EXVOL {}", 2048);
    disk.Format("swap", 4 * MiB, "mkswap -L SWAP {}", 18432);
    disk.Format("ext4", 8 * MiB, "mkfs.ext4 -q -L root {}", 26624);
    ASSERT_EQ(Blkid(exfat)["TYPE"], "exfat");

    const auto table = disk.Read();
    ASSERT_TRUE(table);
    const auto& p = table->Partitions;
    // exFAT also uses type 0x07, but its OEM name is not NTFS.
    EXPECT_EQ(p[0].FS, "IFS");
    EXPECT_EQ(p[0].Serial, "");
    EXPECT_EQ(p[0].ClusterSize, 0u);
    EXPECT_EQ(p[0].VolumeLabel, "");
    EXPECT_EQ(p[1].FS, "Linux swap");
    EXPECT_EQ(p[2].FS, "Linux");
    EXPECT_EQ(p[3].FS, "Extended CHS");
    EXPECT_EQ(p[3].Count, 100000u);
    // Every slot but "Empty" is read, the extended one too; its logical
    // partition is not followed.
    for (const auto& part : p)
        EXPECT_TRUE(WasRead(disk, part.Start)) << part.FS;
    EXPECT_FALSE(WasRead(disk, 45056));

    for (int i = 0; i < 4; ++i) {
        const auto g = FillPartitionGroup(p[static_cast<size_t>(i)]);
        EXPECT_EQ(g.SerialL, "...");
        EXPECT_EQ(g.ClusterSizeL, "...");
        EXPECT_EQ(g.VolumeLabelL, "...");
        EXPECT_EQ(g.StartL, std::to_string(p[static_cast<size_t>(i)].Start));
        EXPECT_EQ(g.VolumeL, "0 GB");
    }
    EXPECT_EQ(FillPartitionGroup(p[2]).FSL, "Linux");
}

TEST(ToolImage, ExtendedLbaLinuxExtendedAndUnnamedTypes) {
    // sfdisk allows one extended partition per table.
    ToolDisk disk;
    disk.Partition(100000, "start=2048, size=8192, type=f\n"
                           "start=10240, size=8192, type=42\n"
                           "start=18432, size=8192, type=a\n");
    auto table = disk.Read();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->Partitions[0].FS, "Extended LBA");
    EXPECT_EQ(table->Partitions[1].FS, "Dynamic disk");
    EXPECT_EQ(table->Partitions[2].FS, "...");
    EXPECT_EQ(table->Partitions[3].FS, "Empty");

    ToolDisk linux;
    linux.Partition(100000, "start=2048, size=8192, type=85\n");
    table = linux.Read();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->Partitions[0].FS, "Linux extended");
}

TEST(ToolImage, GptProtectiveMbr) {
    // A disk of more than 2 TiB: the protective entry counts 0xFFFFFFFF.
    ToolDisk disk("WDC_WD20EARS-00MVWB0");
    const uint64_t sectors = 2200ull * 1024 * 1024 * 2;
    test::Run("truncate -s " + std::to_string(sectors * 512) + " " + Quote(disk.Image()));
    test::Run("echo 'label: gpt' | sfdisk -q " + Quote(disk.Image()));
    // No GPT header to read: the primary is wiped, and the backup lies at
    // the image's end, beyond the 2 TB drive's last sector. The window shows
    // the protective entry as any MBR's.
    test::Run("dd if=/dev/zero of=" + Quote(disk.Image()) +
              " bs=512 seek=1 count=1 conv=notrunc status=none");
    const auto table = disk.Read();
    ASSERT_TRUE(table);
    const TPartition& p = table->Partitions[0];
    EXPECT_EQ(p.FS, "...");
    EXPECT_EQ(p.Start, 1u);
    EXPECT_EQ(p.Count, 0xFFFFFFFFu);
    EXPECT_EQ(p.Volume, 2047u);
    EXPECT_EQ(table->VolumeID, "00000000");
    ASSERT_TRUE(table->Gpt);
    EXPECT_EQ(table->Gpt->Source, GptSource::Damaged);
    const auto window = MbrWindowFor(*table, disk.Data().Drives[1].Sectors);
    ASSERT_TRUE(window.Gpt);
    EXPECT_EQ(window.Gpt->CaptionL, "GPT damaged");
    EXPECT_EQ(window.Groups[0].VolumeL, "2047 GB");
    EXPECT_EQ(window.Groups[0].FSL, "...");
    EXPECT_EQ(window.Groups[0].SerialL, "...");
    // The entry reaches past the end of the 2 TB drive: the bar is clipped
    // when drawn, and nothing is drawn outside the image.
    ASSERT_TRUE(window.Bars);
    EXPECT_EQ((*window.Bars)[0].Left, 1);
    EXPECT_GT((*window.Bars)[0].Right, PartImageWidth);
    const auto image = DrawPartImage(window.Bars);
    EXPECT_EQ(image.At(PartImageWidth - 1, 1), PartitionColors[0]);
    EXPECT_EQ(image.At(PartImageWidth - 1, PartImageHeight - 1), MbrWhite);
}

TEST(ToolImage, VolumeSizeInGibibytesIsTruncated) {
    ToolDisk disk;
    disk.Partition(4200000, "start=2048, size=2097151, type=83\n"
                            "start=2099200, size=2097152, type=83\n");
    const auto table = disk.Read();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->Partitions[0].Count, 2097151u);
    EXPECT_EQ(table->Partitions[0].Volume, 0u);
    EXPECT_EQ(table->Partitions[1].Volume, 1u);
    EXPECT_EQ(FillPartitionGroup(table->Partitions[0]).VolumeL, "0 GB");
    EXPECT_EQ(FillPartitionGroup(table->Partitions[1]).VolumeL, "1 GB");
}

TEST(ToolImage, AllZeroSectorZeroReadsNothingElse) {
    ToolDisk disk;
    test::Run("truncate -s " + std::to_string(1 * MiB) + " " + Quote(disk.Image()));
    const auto table = disk.Read();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->VolumeID, "00000000");
    EXPECT_EQ(table->Signature, "0000h");
    for (const auto& p : table->Partitions) {
        EXPECT_EQ(p.FS, "Empty");
        EXPECT_FALSE(p.Active);
        EXPECT_EQ(p.Start, 0u);
        EXPECT_EQ(p.Count, 0u);
        EXPECT_EQ(p.Volume, 0u);
        EXPECT_EQ(p.DosLetter, ' ');
    }
    // "Empty" slots are never read: sector 0 is the only read.
    EXPECT_EQ(disk.SectorsRead(), std::vector<uint64_t>{0});
}

TEST(ToolImage, DriveWithoutLba48ReadsWithTheShortCommand) {
    ToolDisk disk("IBM_IC25N020ATCS04-0", 3);
    disk.Partition(40000, "label-id: 0x00C0FFEE\nstart=2048, size=32768, type=c\n");
    disk.Format("fat", 16 * MiB, "mkfs.fat -F 32 -s 1 -i 0000ABCD -n SHORT {}", 2048);
    const auto table = disk.Read();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->VolumeID, "00C0FFEE");
    EXPECT_EQ(table->Partitions[0].VolumeLabel, "SHORT");
    for (const auto& c : disk.Bus().SentCommands()) {
        if (c.TaskFile.Command == AtaCmdReadSectorsExt)
            ADD_FAILURE() << "48-bit read sent to a drive without 48-bit addressing";
        if (c.TaskFile.Command == AtaCmdReadSectors) {
            EXPECT_EQ(c.TaskFile.Device, 0x50); // odd drive number, LBA bit
            EXPECT_EQ(c.Flags, 0x03);
        }
    }
    EXPECT_EQ(disk.SectorsRead(), (std::vector<uint64_t>{0, 2048}));
}

} // namespace
} // namespace quorvane
