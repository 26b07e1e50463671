// Drive letters and mount points of partitions.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include <map>

#include "common/TestDrives.h"
#include "ata/SimulatedBus.h"
#include "mbr/MbrReading.h"
#include "mbr/VolumeNames.h"

namespace quorvane {
namespace {

std::string Fixture() {
    std::ifstream file(std::string(QUORVANE_TEST_DATA) + "/mbr/mountinfo");
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

using Points = std::vector<std::string>;

TEST(MountPoints, BySourceDevice) {
    const std::string info = Fixture();
    ASSERT_FALSE(info.empty());
    EXPECT_EQ(MountPointsOf(info, "/dev/sda1", std::nullopt), Points{"/boot/efi"});
    // A bind mount of the same device is a second mount point.
    EXPECT_EQ(MountPointsOf(info, "/dev/sda2", std::nullopt), (Points{"/", "/srv/data"}));
    EXPECT_EQ(MountPointsOf(info, "/dev/sdb1", std::nullopt), Points{"/media/user/My Disk"});
    // btrfs reports an anonymous device number; the source still names it.
    EXPECT_EQ(MountPointsOf(info, "/dev/sdc1", std::pair{8u, 33u}), Points{"/home"});
    EXPECT_EQ(MountPointsOf(info, "/dev/sda3", std::pair{8u, 3u}), Points{});
    EXPECT_EQ(MountPointsOf("", "/dev/sda1", std::nullopt), Points{});
}

TEST(MountPoints, ByDeviceNumber) {
    const std::string info = Fixture();
    // Mounted by label: only the device number tells.
    EXPECT_EQ(MountPointsOf(info, "/dev/sdb5", std::pair{8u, 21u}), Points{"/mnt/tab\tand\\slash"});
    EXPECT_EQ(MountPointsOf(info, "/dev/sdb5", std::nullopt), Points{});
    // sda10 is not sda1, by name or by number; the cut line 8:18 is skipped.
    EXPECT_EQ(MountPointsOf(info, "/dev/sda1", std::pair{8u, 1u}), Points{"/boot/efi"});
    EXPECT_EQ(MountPointsOf(info, "/dev/sdb2", std::pair{8u, 18u}), Points{});
}

TEST(MountPoints, LinuxPortReadsTheMountTableAndGivesNoLetters) {
    EXPECT_EQ(PartitionDeviceName(1, 1), "sdb1");
    EXPECT_EQ(PartitionDeviceName(15, 4), "sdp4");
    const LinuxVolumeNames dev(std::string(QUORVANE_TEST_DATA) + "/mbr/mountinfo", "/dev");
    EXPECT_EQ(dev.MountPoints(0, 1), Points{"/boot/efi"});
    EXPECT_EQ(dev.MountPoints(0, 2), (Points{"/", "/srv/data"}));
    EXPECT_EQ(dev.MountPoints(0, 0), Points{});
    EXPECT_EQ(dev.MountPoints(16, 1), Points{});
    for (int s = 1; s <= 4; ++s)
        EXPECT_EQ(FindDosLetter(dev, 0, s), ' ');
    const LinuxVolumeNames missing("/nonexistent/mountinfo", "/dev");
    EXPECT_EQ(missing.MountPoints(0, 1), Points{});
}

// A platform that does give letters.
struct LetterTable final : VolumeNames {
    std::map<int, char> Letters;
    char DosLetter(unsigned, int s) const override {
        const auto it = Letters.find(s);
        return it == Letters.end() ? ' ' : it->second;
    }
    Points MountPoints(unsigned, int s) const override {
        return s == 2 ? Points{"/media/E"} : Points{};
    }
};

TEST(DosLetter, OnlyLettersAToZCount) {
    LetterTable table;
    table.Letters = {{1, 'C'}, {2, 'e'}, {3, '\0'}, {4, 'Z'}};
    EXPECT_EQ(FindDosLetter(table, 0, 1), 'C');
    EXPECT_EQ(FindDosLetter(table, 0, 2), ' ');
    EXPECT_EQ(FindDosLetter(table, 0, 3), ' ');
    EXPECT_EQ(FindDosLetter(table, 0, 4), 'Z');
}

TEST(DosLetter, EverySlotGetsItsLetterAndMountPointsEmptyOnesToo) {
    LetterTable table;
    table.Letters = {{1, 'C'}, {3, 'F'}};
    PartitionTable mbr;
    for (auto& p : mbr.Partitions) {
        p.FS = "Empty";
        p.DosLetter = '#';
    }
    test::DriveDir dir;
    SimulatedBus bus(dir.Path());
    ProbePartitions(bus, HDD{}, table, mbr);
    EXPECT_EQ(mbr.Partitions[0].DosLetter, 'C');
    EXPECT_EQ(mbr.Partitions[1].DosLetter, ' ');
    EXPECT_EQ(mbr.Partitions[1].MountPoints, Points{"/media/E"});
    EXPECT_EQ(mbr.Partitions[2].DosLetter, 'F');
    EXPECT_TRUE(bus.SentCommands().empty()); // "Empty" slots are not read
    EXPECT_EQ(NoVolumeNames{}.DosLetter(0, 1), ' ');
}

} // namespace
} // namespace quorvane
