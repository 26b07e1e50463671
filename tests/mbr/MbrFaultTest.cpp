// The MBR reading with one fault at every position: each open refused, each
// sector read failing and each aborted. Sector 0 lost means nothing to show;
// a lost boot sector or $Volume record leaves that partition as the MBR
// describes it, and the other partitions complete.
#include <gtest/gtest.h>

#include "ToolDisk.h"
#include "common/FaultBus.h"
#include "mbr/MbrWindow.h"

namespace quorvane {
namespace {

using test::Fault;
using test::FaultBus;
using test::FaultName;

void ExpectSame(const TPartition& got, const TPartition& want) {
    EXPECT_EQ(got.FS, want.FS);
    EXPECT_EQ(got.Start, want.Start);
    EXPECT_EQ(got.Count, want.Count);
    EXPECT_EQ(got.Serial, want.Serial);
    EXPECT_EQ(got.ClusterSize, want.ClusterSize);
    EXPECT_EQ(got.MFTCluster, want.MFTCluster);
    EXPECT_EQ(got.VolumeLabel, want.VolumeLabel);
    EXPECT_EQ(got.FSVersion, want.FSVersion);
    EXPECT_EQ(got.Dirty, want.Dirty);
}

TEST(MbrFaults, EachFaultCostsOnlyTheSectorItHits) {
    test::ToolDisk disk;
    disk.Partition(60000, "start=2048, size=8192, type=4\n"
                          "start=10240, size=16384, type=7\n");
    disk.Format("fat16", 4 * 1024 * 1024, "mkfs.fat -F 16 -s 1 -i 1234ABCD -n QFAT {}", 2048);
    disk.Format("ntfs", 8 * 1024 * 1024, "mkntfs -F -Q -q -L Daten {}", 10240);
    const auto baseline = disk.Read();
    ASSERT_TRUE(baseline);
    ASSERT_EQ(baseline->Partitions[0].VolumeLabel, "QFAT");
    ASSERT_EQ(baseline->Partitions[1].FS, "NTFS");
    ASSERT_EQ(baseline->Partitions[1].VolumeLabel, "Daten");
    const ProgramData& data = disk.Data();
    // Sector 0 as decoded, before any boot sector is probed.
    SimulatedBus plain(disk.Dir().Path());
    const auto unprobed = ReadPartitionTable(plain, data.Drives[1]);
    ASSERT_TRUE(unprobed);
    ASSERT_EQ(unprobed->Partitions[1].FS, "IFS");

    SimulatedBus cleanSim(disk.Dir().Path());
    FaultBus clean(cleanSim);
    ASSERT_TRUE(ReadMbr(clean, data, 1, NoVolumeNames{}));
    // Sector 0, both boot sectors and the $Volume record.
    ASSERT_EQ(clean.OpensTried(), 4);
    ASSERT_EQ(clean.Commands().size(), 4u);

    for (const auto& c : test::EveryFault(4, 4)) {
        SCOPED_TRACE(std::string(FaultName(c.Kind)) + " at " + std::to_string(c.Position));
        SimulatedBus sim(disk.Dir().Path());
        FaultBus bus(sim, c.Kind, c.Position);
        const auto table = ReadMbr(bus, data, 1, NoVolumeNames{});
        EXPECT_EQ(bus.OpenHandles(), 0);
        EXPECT_EQ(sim.OpenHandles(), 0);
        const auto& p = table ? table->Partitions : baseline->Partitions;
        switch (c.Position) {
        case 0: // sector 0: the window shows nothing
            EXPECT_FALSE(table);
            EXPECT_EQ(bus.Commands().size(), c.Kind == Fault::OpenRefused ? 0u : 1u);
            break;
        case 1: // the FAT boot sector
            ASSERT_TRUE(table);
            ExpectSame(p[0], unprobed->Partitions[0]);
            ExpectSame(p[1], baseline->Partitions[1]);
            EXPECT_EQ(FillPartitionGroup(p[0]).VolumeLabelL, "");
            EXPECT_EQ(FillPartitionGroup(p[0]).FSL, "FAT16 CHS <32M");
            break;
        case 2: // the NTFS boot sector: no NTFS, so no $Volume record read
            ASSERT_TRUE(table);
            ExpectSame(p[0], baseline->Partitions[0]);
            ExpectSame(p[1], unprobed->Partitions[1]);
            EXPECT_EQ(bus.Commands().size(), c.Kind == Fault::OpenRefused ? 2u : 3u);
            break;
        default: { // the $Volume record: no label, version or dirty flag
            ASSERT_TRUE(table);
            ExpectSame(p[0], baseline->Partitions[0]);
            TPartition want = baseline->Partitions[1];
            want.VolumeLabel.clear();
            want.FSVersion.clear();
            want.Dirty = false;
            ExpectSame(p[1], want);
            EXPECT_EQ(FillPartitionGroup(p[1]).FSL, "NTFS");
            break;
        }
        }
    }
}

} // namespace
} // namespace quorvane
