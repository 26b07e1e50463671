// The GPT reading on disks partitioned by sgdisk with volumes made by the
// mkfs tools, checked against what sgdisk and blkid report: 1, 4, 5 and 128
// partitions, names beyond ASCII, and tables damaged or stretched the ways a
// disk can come: a bad primary header or array (the backup is used), both
// headers bad, a header claiming 100000 entries or entries of 0 or 4096
// bytes, a disk smaller than its table.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <sstream>

#include "mbr/Crc32.h"
#include "mbr/MbrWindow.h"
#include "mbr/ToolDisk.h"

namespace quorvane {
namespace {

using test::Blkid;
using test::Capture;
using test::Quote;
using test::Run;
using test::ToolDisk;

constexpr uint64_t MiB = 1024 * 1024;
// ST9160821AS, the drive ToolDisk simulates.
constexpr uint64_t DriveSectors = 312581808;
constexpr uint64_t BackupLba = DriveSectors - 1;

// "Key: value" lines of `sgdisk -i N`.
std::map<std::string, std::string> SgdiskInfo(const ToolDisk& disk, uint32_t n) {
    std::map<std::string, std::string> info;
    std::istringstream lines(Capture("sgdisk -i " + std::to_string(n) + " " + Quote(disk.Image())));
    for (std::string line; std::getline(lines, line);)
        if (const auto colon = line.find(": "); colon != std::string::npos)
            info[line.substr(0, colon)] = line.substr(colon + 2);
    return info;
}

// Rewrites a header field (little-endian) and, with fixCrc, the header's
// CRC32, so only the field tells the header apart from a good one.
void PatchHeader(const ToolDisk& disk, uint64_t lba, size_t offset, uint64_t value, size_t size,
                 bool fixCrc) {
    std::fstream f(disk.Image(), std::ios::in | std::ios::out | std::ios::binary);
    std::array<uint8_t, 512> s{};
    f.seekg(static_cast<std::streamoff>(lba * 512));
    f.read(reinterpret_cast<char*>(s.data()), 512);
    for (size_t i = 0; i < size; ++i)
        s[offset + i] = static_cast<uint8_t>(value >> (8 * i));
    if (fixCrc) {
        std::fill_n(s.begin() + 16, 4, uint8_t{0});
        const uint32_t crc = Crc32(std::span(s).first(92));
        for (size_t i = 0; i < 4; ++i)
            s[16 + i] = static_cast<uint8_t>(crc >> (8 * i));
    }
    f.seekp(static_cast<std::streamoff>(lba * 512));
    f.write(reinterpret_cast<const char*>(s.data()), 512);
}

void CopyIn(const ToolDisk& disk, const std::filesystem::path& file, uint64_t start) {
    Run("dd if=" + Quote(file) + " of=" + Quote(disk.Image()) +
        " bs=512 seek=" + std::to_string(start) + " conv=notrunc,sparse status=none");
}

std::string Lower(std::string text) {
    for (auto& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A volume the disk's partition n holds, and what blkid says of it.
struct Volume {
    uint32_t Number;
    std::string FS;
    std::map<std::string, std::string> Blkid;
};

struct GptCase {
    const char* Name;
    uint64_t ImageSectors;
    std::string Sgdisk;
    // Makes the volumes and damages the table; returns the volumes made.
    std::function<std::vector<Volume>(ToolDisk&)> Prepare;
    GptSource Source;
    size_t Partitions;
    std::vector<const char*> Notes; // each in some note
    // sgdisk, refusing the header, shows the backup's entry (n - 1) x stride + 1.
    uint32_t SgdiskStride = 1;
};

std::vector<Volume> NoVolumes(ToolDisk&) {
    return {};
}

// Makes a volume at partition n's first sector as sgdisk placed it.
Volume Make(ToolDisk& disk, uint32_t n, const char* fs, uint64_t bytes, const std::string& mkfs) {
    const uint64_t first = std::stoull(SgdiskInfo(disk, n)["First sector"]);
    const auto file = disk.Work("fs" + std::to_string(n));
    Run("truncate -s " + std::to_string(bytes) + " " + Quote(file));
    Run(mkfs + " " + Quote(file) + " >/dev/null");
    CopyIn(disk, file, first);
    return {n, fs, Blkid(file)};
}

const std::string FourParts = "-n 1:2048:+40M -t 1:ef00 -c 1:'EFI system partition' "
                              "-n 2:0:+16M -t 2:0c01 -n 3:0:+16M -t 3:0700 -c 3:'Basic data' "
                              "-n 4:0:+16M -t 4:8300 -A 4:set:2 -A 4:set:0";

std::string Sequential(int n) {
    std::string args;
    for (int i = 1; i <= n; ++i)
        args += " -n " + std::to_string(i) + ":0:+1M";
    return args;
}

const GptCase Cases[] = {
    {"OnePartition", DriveSectors, "-n 1:2048:+64M -t 1:8300 -c 1:root",
     [](ToolDisk& d) { return std::vector{Make(d, 1, "ext4", 64 * MiB, "mkfs.ext4 -q -L root")}; },
     GptSource::Primary, 1, {}},
    {"FourPartitions", DriveSectors, FourParts,
     [](ToolDisk& d) {
         return std::vector{Make(d, 1, "FAT32", 40 * MiB, "mkfs.fat -F 32 -s 1 -n EFI"),
                            Make(d, 3, "NTFS", 16 * MiB, "mkntfs -F -Q -q -L Windows"),
                            Make(d, 4, "ext2", 16 * MiB, "mkfs.ext2 -q -L boot")};
     },
     GptSource::Primary, 4, {}},
    {"FivePartitionsNamedBeyondAscii", DriveSectors,
     "-n 1:2048:+300M -t 1:8302 -c 1:'Données' -n 2:0:+128M -t 2:8304 -c 2:'日本語のルート' "
     "-n 3:0:+8M -t 3:8200 -c 3:'Ελληνικά' -n 4:0:+8M -t 4:a503 -c 4:'💾 disk' "
     "-n 5:0:+16M -t 5:8301 -c 5:ext3",
     [](ToolDisk& d) {
         return std::vector{Make(d, 1, "XFS", 300 * MiB, "mkfs.xfs -q -L maison"),
                            Make(d, 2, "Btrfs", 128 * MiB, "mkfs.btrfs -q -L systeme"),
                            Make(d, 5, "ext3", 16 * MiB, "mkfs.ext3 -q -L old")};
     },
     GptSource::Primary, 5, {}},
    {"All128Entries", DriveSectors, Sequential(128), NoVolumes, GptSource::Primary, 128,
     {}},
    {"DamagedPrimaryHeaderUsesTheBackup", DriveSectors, "-n 1:2048:+64M -t 1:8300",
     [](ToolDisk& d) {
         PatchHeader(d, 1, 24, 7, 1, false); // its own LBA, CRC left as it was
         return std::vector{Make(d, 1, "ext4", 64 * MiB, "mkfs.ext4 -q -L backup")};
     },
     GptSource::Backup, 1, {"primary header at LBA 1: header CRC32"}},
    {"BothHeadersDamaged", DriveSectors, "-n 1:2048:+64M -t 1:8300",
     [](ToolDisk& d) {
         PatchHeader(d, 1, 0, 'X', 1, true);
         PatchHeader(d, BackupLba, 12, 80, 4, true);
         return std::vector<Volume>{};
     },
     GptSource::Damaged, 0,
     {"primary header at LBA 1: no \"EFI PART\" signature",
      "backup header at LBA 312581807: header size 80 is not 92 to 512 bytes"}},
    {"ArrayCrcMismatchUsesTheBackup", DriveSectors, "-n 1:2048:+64M -t 1:8300 -c 1:good",
     [](ToolDisk& d) {
         PatchHeader(d, 2, 56, 'b', 1, false); // the first entry's name
         return std::vector<Volume>{};
     },
     GptSource::Backup, 1, {"primary header at LBA 1: the CRC32 of its entry array"}},
    {"HeaderClaims100000Entries", DriveSectors, Sequential(3),
     [](ToolDisk& d) {
         PatchHeader(d, 1, 80, 100000, 4, true);
         return std::vector<Volume>{};
     },
     GptSource::Primary, 3,
     {"lists 100000 entries of 128 bytes; only the first 16384 bytes (128 entries) were read"}},
    {"EntrySize0UsesTheBackup", DriveSectors, Sequential(2),
     [](ToolDisk& d) {
         PatchHeader(d, 1, 84, 0, 4, true);
         return std::vector<Volume>{};
     },
     GptSource::Backup, 2, {"entry size 0 is not a multiple of 128"}},
    {"EntrySize4096", DriveSectors, "-n 1:2048:+1M -n 2:0:+1M -n 33:0:+1M",
     [](ToolDisk& d) {
         PatchHeader(d, 1, 84, 4096, 4, true);
         return std::vector<Volume>{};
     },
     // Entries 1 and 2 of 4096 bytes begin at the 128-byte entries 1 and 33.
     GptSource::Primary, 2,
     {"lists 128 entries of 4096 bytes; only the first 16384 bytes (4 entries) were read"}, 32},
    {"DiskSmallerThanItsTable", 2 * DriveSectors, "-n 1:2048:+64M -n 2:312000000:+1G",
     NoVolumes, GptSource::Primary, 2,
     {"the header's last usable LBA 625163582 lies beyond the drive's 312581808 sectors",
      "partitions reaching beyond the drive's last sector: 2"}},
};

bool HasNote(const GptDisk& gpt, const std::string& text) {
    for (const auto& note : gpt.Notes)
        if (note.find(text) != std::string::npos)
            return true;
    return false;
}

TEST(GptToolImage, TablesAsSgdiskWroteThemAndEveryDamage) {
    EXPECT_EQ(Crc32(std::span(reinterpret_cast<const uint8_t*>("123456789"), 9)), 0xCBF43926u);
    for (const GptCase& c : Cases) {
        SCOPED_TRACE(c.Name);
        ToolDisk disk;
        disk.PartitionGpt(c.ImageSectors, c.Sgdisk);
        const auto volumes = c.Prepare(disk);
        const auto table = disk.Read();
        ASSERT_TRUE(table);
        ASSERT_TRUE(table->Gpt);
        const GptDisk& gpt = *table->Gpt;
        EXPECT_EQ(gpt.Source, c.Source);
        for (const char* note : c.Notes)
            EXPECT_TRUE(HasNote(gpt, note)) << note << "\n" << ::testing::PrintToString(gpt.Notes);
        if (c.Notes.empty()) {
            EXPECT_EQ(gpt.Notes, std::vector<std::string>{});
        }
        ASSERT_EQ(gpt.Partitions.size(), c.Partitions);

        // Bounded reads: a header and at most 32 array sectors for each
        // table tried, and LBA 1 once more as the protective entry's first
        // sector; all else is inside a partition's first 130 sectors.
        size_t tableReads = 0;
        for (uint64_t lba : disk.SectorsRead()) {
            const bool inPartition = std::ranges::any_of(gpt.Partitions, [&](const auto& p) {
                return lba >= p.FirstLba && lba < p.FirstLba + 130;
            });
            if (lba != 0 && !inPartition)
                ++tableReads;
            EXPECT_TRUE(lba < 34 || lba >= BackupLba - 32 || inPartition) << lba;
        }
        EXPECT_LE(tableReads, c.Source == GptSource::Primary ? 34u : 67u);

        const auto window = MbrWindowFor(*table, disk.Data().Drives[1].Sectors);
        ASSERT_TRUE(window.Gpt);
        if (c.Source == GptSource::Damaged) {
            // The protective MBR, as the window showed it before.
            EXPECT_EQ(window.Gpt->CaptionL, "GPT damaged");
            EXPECT_EQ(window.PartVolumeIDL, "00000000");
            EXPECT_EQ(window.Groups[0].FSL, "...");
            EXPECT_EQ(window.Groups[0].StartL, "1");
            EXPECT_TRUE(window.Gpt->Rows.empty());
            continue;
        }
        const std::string count = std::to_string(c.Partitions) +
                                  (c.Partitions == 1 ? " partition" : " partitions");
        EXPECT_EQ(window.Gpt->CaptionL,
                  "GPT: " + count +
                      (c.Source == GptSource::Backup ? ", from the backup header at LBA 312581807"
                                                     : ""));
        EXPECT_EQ(window.PartVolumeIDL, gpt.DiskGuid);
        EXPECT_NE(Capture("sgdisk -p " + Quote(disk.Image())).find(gpt.DiskGuid),
                  std::string::npos);
        ASSERT_TRUE(window.Gpt->Bars);
        EXPECT_EQ(window.Gpt->Bars->size(), c.Partitions);
        EXPECT_EQ(window.Gpt->Rows.size(), c.Partitions);

        // Every partition as sgdisk reports it (the 128 spot-checked).
        for (size_t i = 0; i < gpt.Partitions.size(); i += c.Partitions > 8 ? 31 : 1) {
            const GptPartition& p = gpt.Partitions[i];
            SCOPED_TRACE(p.Number);
            auto info = SgdiskInfo(disk, (p.Number - 1) * c.SgdiskStride + 1);
            auto number = [&](const char* key) { return info[key].substr(0, info[key].find(' ')); };
            EXPECT_EQ(p.TypeGuid, info["Partition GUID code"].substr(0, 36));
            // Linux reserved (8301) has no name of its own.
            EXPECT_EQ(p.TypeName == p.TypeGuid,
                      info["Partition GUID code"].find("Linux reserved") != std::string::npos)
                << p.TypeName;
            EXPECT_EQ(p.UniqueGuid, info["Partition unique GUID"]);
            EXPECT_EQ(std::to_string(p.FirstLba), number("First sector"));
            EXPECT_EQ(std::to_string(p.LastLba), number("Last sector"));
            EXPECT_EQ(p.Attributes, std::stoull(info["Attribute flags"], nullptr, 16));
            // sgdisk writes a character beyond U+FFFF as bytes that are
            // not UTF-8.
            if (info["Partition name"].find("\xF0\xFF") == std::string::npos)
                EXPECT_EQ("'" + p.Name + "'", info["Partition name"]);
            else
                EXPECT_EQ(p.Name, "\xF0\x9F\x92\xBE disk");
            if (i < 4) {
                const PartitionGroup& g = window.Groups[i];
                EXPECT_EQ(g.StartL, std::to_string(p.FirstLba));
                EXPECT_EQ(g.CountL, std::to_string(p.LastLba - p.FirstLba + 1));
                EXPECT_EQ(g.ActiveLEnabled, (p.Attributes & 4) != 0);
            }
        }
        if (c.Partitions == 128) {
            EXPECT_EQ(gpt.Partitions.back().Number, 128u);
        }
        if (std::string(c.Name) == "DiskSmallerThanItsTable") {
            EXPECT_FALSE(gpt.Partitions[0].PastDiskEnd);
            EXPECT_TRUE(gpt.Partitions[1].PastDiskEnd);
        }
        // What the probe found, as blkid finds it.
        for (const Volume& v : volumes) {
            SCOPED_TRACE(v.FS);
            const auto it = std::ranges::find(gpt.Partitions, v.Number, &GptPartition::Number);
            ASSERT_NE(it, gpt.Partitions.end());
            EXPECT_EQ(it->FS, v.FS);
            EXPECT_EQ(Lower(it->FS), v.Blkid.at("TYPE") == "vfat" ? "fat32" : v.Blkid.at("TYPE"));
            EXPECT_EQ(it->VolumeLabel, v.Blkid.at("LABEL"));
            if (v.FS == "NTFS") {
                EXPECT_EQ(it->FSVersion, " 3.1");
                EXPECT_EQ(it->ClusterSize, 8u);
            } else if (v.FS == "FAT32") {
                std::string uuid = v.Blkid.at("UUID"); // "1234-ABCD", stored from the low byte
                uuid.erase(4, 1);
                EXPECT_EQ(it->Serial, uuid.substr(6, 2) + uuid.substr(4, 2) + uuid.substr(2, 2) +
                                          uuid.substr(0, 2));
            } else {
                EXPECT_EQ(it->Uuid, v.Blkid.at("UUID"));
            }
            const PartitionGroup g = FillGptGroup(*it);
            EXPECT_EQ(g.FSL, it->FS + it->FSVersion);
            EXPECT_EQ(g.VolumeLabelL, it->VolumeLabel);
        }
    }
}

} // namespace
} // namespace quorvane
