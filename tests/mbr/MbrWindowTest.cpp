// The MBR window's texts, bars and pictures.
#include <gtest/gtest.h>

#include <set>

#include "mbr/MbrWindow.h"

namespace quorvane {
namespace {

TPartition Part(const char* fs, uint32_t start, uint32_t count) {
    TPartition p;
    p.FS = fs;
    p.Start = start;
    p.Count = count;
    p.Volume = count >> 21;
    return p;
}

TEST(MbrWindow, ClusterSizeTexts) {
    EXPECT_EQ(ClusterSizeText(8), "4 K");
    EXPECT_EQ(ClusterSizeText(128), "64 K");
    EXPECT_EQ(ClusterSizeText(256), "128 K");
    EXPECT_EQ(ClusterSizeText(3), "1 K");
    EXPECT_EQ(ClusterSizeText(2), "1 K");
    EXPECT_EQ(ClusterSizeText(1), "512 B");
    EXPECT_EQ(ClusterSizeText(0), "0 B");
}

TEST(MbrWindow, NtfsGroup) {
    TPartition p = Part("NTFS", 63, 976768002);
    p.Active = true;
    p.FSVersion = " 3.1";
    p.Serial = "1122334455667788";
    p.ClusterSize = 8;
    p.VolumeLabel = "System";
    p.Dirty = true;
    p.DosLetter = 'C';
    const PartitionGroup g = FillPartitionGroup(p);
    EXPECT_TRUE(g.ActiveLEnabled);
    EXPECT_TRUE(g.DirtyLEnabled);
    EXPECT_EQ(g.FSL, "NTFS 3.1");
    EXPECT_EQ(g.StartL, "63");
    EXPECT_EQ(g.CountL, "976768002");
    EXPECT_EQ(g.VolumeL, "465 GB");
    EXPECT_EQ(g.DosLabelL, "C:");
    EXPECT_EQ(g.SerialL, "1122334455667788");
    EXPECT_EQ(g.ClusterSizeL, "4 K");
    EXPECT_EQ(g.VolumeLabelL, "System");
}

TEST(MbrWindow, FatGroupWithFailedProbeShowsEmptyFields) {
    TPartition p = Part("FAT32 LBA", 2048, 4000000);
    const PartitionGroup g = FillPartitionGroup(p);
    EXPECT_EQ(g.FSL, "FAT32 LBA");
    EXPECT_EQ(g.SerialL, "");
    EXPECT_EQ(g.VolumeLabelL, "");
    EXPECT_EQ(g.ClusterSizeL, "0 B");
    EXPECT_FALSE(g.ActiveLEnabled);
    EXPECT_EQ(g.DosLabelL, ""); // a space shows nothing
}

TEST(MbrWindow, LinuxGroupShowsPlaceAndSizeButNoVolumeFields) {
    TPartition p = Part("Linux", 4196352, 0xFFFFFFFF);
    p.MountPoints = {"/", "/mnt/bind"};
    const PartitionGroup g = FillPartitionGroup(p);
    EXPECT_EQ(g.FSL, "Linux");
    EXPECT_EQ(g.SerialL, "...");
    EXPECT_EQ(g.ClusterSizeL, "...");
    EXPECT_EQ(g.VolumeLabelL, "...");
    EXPECT_EQ(g.StartL, "4196352");
    EXPECT_EQ(g.CountL, "4294967295");
    EXPECT_EQ(g.VolumeL, "2047 GB");
    EXPECT_EQ(g.DosLabelL, "");
    EXPECT_EQ(g.DosLabelLHint, "/\n/mnt/bind");
}

TEST(MbrWindow, EmptyGroupShowsDotsAndDisablesBothIndicators) {
    TPartition p = Part("IFS", 2048, 0);
    p.Active = true; // an active entry with no sectors
    p.Dirty = true;
    p.DosLetter = 'E';
    p.MountPoints = {"/media/x"};
    const PartitionGroup g = FillPartitionGroup(p);
    EXPECT_TRUE(g.ActiveLEnabled);
    EXPECT_FALSE(g.DirtyLEnabled);
    EXPECT_EQ(g.StartL, "...");
    EXPECT_EQ(g.CountL, "...");
    EXPECT_EQ(g.VolumeL, "...");
    EXPECT_EQ(g.DosLabelL, "...");
    EXPECT_EQ(g.DosLabelLHint, "");
    EXPECT_EQ(g.FSL, "IFS");
    EXPECT_EQ(g.SerialL, "...");

    // Every group, not only the first, disables Dirty when empty.
    PartitionTable table;
    for (auto& part : table.Partitions) {
        part = p;
        part.FS = "Empty";
    }
    const auto window = MbrWindowFor(table, 1000);
    for (const auto& group : window.Groups)
        EXPECT_FALSE(group.DirtyLEnabled);
}

TEST(MbrWindow, LabelTextsByControlName) {
    PartitionTable table;
    table.VolumeID = "12345678";
    table.Signature = "AA55h";
    table.Partitions[1] = Part("NTFS", 63, 204800);
    table.Partitions[1].FSVersion = " 3.1";
    const auto window = MbrWindowFor(table, 976773168);
    EXPECT_EQ(window.PartVolumeIDL, "12345678");
    EXPECT_EQ(window.PartSignatureL, "AA55h");
    const auto texts = GroupLabelTexts(2, window.Groups[1]);
    ASSERT_EQ(texts.size(), 8u);
    EXPECT_EQ(texts[0], (std::pair<std::string, std::string>{"Part2FSL", "NTFS 3.1"}));
    EXPECT_EQ(texts[5], (std::pair<std::string, std::string>{"Part2StartL", "63"}));
    const auto states = GroupLabelStates(2, window.Groups[1]);
    EXPECT_EQ(states[0].first, "Part2ActiveL");
    EXPECT_EQ(states[1].first, "Part2DirtyL");

    // Every name given to the window is a label of its layout.
    std::set<std::string> labels;
    for (const auto& c : MbrFormControls())
        if (c.Kind == MbrControlKind::Label)
            labels.insert(c.Name);
    for (int group = 1; group <= 4; ++group) {
        for (const auto& [name, text] : GroupLabelTexts(group, window.Groups[0]))
            EXPECT_TRUE(labels.count(name)) << name;
        for (const auto& [name, enabled] : GroupLabelStates(group, window.Groups[0]))
            EXPECT_TRUE(labels.count(name)) << name;
    }
    EXPECT_TRUE(labels.count("PartVolumeIDL"));
    EXPECT_TRUE(labels.count("PartSignatureL"));
}

TEST(MbrWindow, RoundHalfEven) {
    EXPECT_EQ(RoundHalfEven(0.5), 0);
    EXPECT_EQ(RoundHalfEven(1.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5), 2);
    EXPECT_EQ(RoundHalfEven(2.5000001), 3);
    EXPECT_EQ(RoundHalfEven(406.49), 406);
}

PartitionTable Table(std::initializer_list<TPartition> parts) {
    PartitionTable table;
    size_t i = 0;
    for (const auto& p : parts)
        table.Partitions[i++] = p;
    return table;
}

TEST(MbrWindow, BarsOfATypicalDisk) {
    const int64_t total = 976773168;
    const auto bars = ComputePartitionBars(
        Table({Part("NTFS", 63, 204800), Part("NTFS", 204863, total - 204863)}), total);
    ASSERT_TRUE(bars);
    // The small partition is no visible bar; the next one runs to the end.
    EXPECT_EQ((*bars)[0], (PartitionBar{1, 1, 0, 18, 0x0000FF}));
    EXPECT_EQ((*bars)[1], (PartitionBar{1, 1, 407, 18, 0x00FFFF}));
    // Empty slots: left 1 and right 0.
    EXPECT_EQ((*bars)[2], (PartitionBar{1, 1, 0, 18, 0x008000}));
    EXPECT_EQ((*bars)[3], (PartitionBar{1, 1, 0, 18, 0xFF0000}));

    const auto image = DrawPartImage(bars);
    EXPECT_EQ(image.At(0, 5), MbrBlack);
    EXPECT_EQ(image.At(1, 5), PartitionColors[1]);
    EXPECT_EQ(image.At(406, 5), PartitionColors[1]);
    EXPECT_EQ(image.At(407, 5), MbrBlack); // the frame's right edge
    EXPECT_EQ(image.At(408, 5), MbrWhite);
    EXPECT_EQ(image.At(200, 0), MbrBlack);
    EXPECT_EQ(image.At(200, 1), PartitionColors[1]);
    EXPECT_EQ(image.At(200, 17), PartitionColors[1]);
    EXPECT_EQ(image.At(200, 18), MbrBlack);
    EXPECT_EQ(image.At(200, 19), MbrWhite);
}

TEST(MbrWindow, BarRoundingAndOrder) {
    // 1/4 of 407 = 101.75 -> 102; 1/2 -> 203.5 -> 204 (even); 3/4 -> 305.25.
    const int64_t total = 4000;
    const auto bars = ComputePartitionBars(
        Table({Part("Linux", 0, 1000), Part("Linux", 1000, 1000), Part("Linux", 500, 2500)}),
        total);
    ASSERT_TRUE(bars);
    EXPECT_EQ((*bars)[0].Right, 102);
    EXPECT_EQ((*bars)[1].Left, 103);
    EXPECT_EQ((*bars)[1].Right, 204);
    EXPECT_EQ((*bars)[2].Left, RoundHalfEven(500.0 / 4000 * 407) + 1);
    EXPECT_EQ((*bars)[2].Right, 305);
    // A later slot paints over an earlier one.
    const auto image = DrawPartImage(bars);
    EXPECT_EQ(image.At(50, 5), PartitionColors[0]);
    EXPECT_EQ(image.At(150, 5), PartitionColors[2]);
    EXPECT_EQ(image.At(320, 5), MbrWhite);

    // Halves go to the even neighbour: on a 10-pixel image (S = 8) of 16
    // sectors, 5 sectors end at 2.5 -> 2 and 3 sectors at 1.5 -> 2.
    const auto down = ComputePartitionBars(Table({Part("Linux", 0, 5)}), 16, 10, 6);
    EXPECT_EQ((*down)[0].Right, 2);
    const auto up = ComputePartitionBars(Table({Part("Linux", 0, 3)}), 16, 10, 6);
    EXPECT_EQ((*up)[0].Right, 2);
    EXPECT_EQ((*up)[0].Bottom, 4);
}

TEST(MbrWindow, BarsDoNotWrapTheEndSector) {
    // Start + Count beyond 32 bits stays a large value, not a small one.
    const int64_t total = 5000000000;
    const auto bars = ComputePartitionBars(Table({Part("Linux", 0xFFFFFF00, 0xFFFFFFFF)}), total);
    ASSERT_TRUE(bars);
    EXPECT_EQ((*bars)[0].Left, RoundHalfEven(4294967040.0 / 5e9 * 407) + 1);
    EXPECT_EQ((*bars)[0].Right, RoundHalfEven(8589934335.0 / 5e9 * 407));
    EXPECT_GT((*bars)[0].Right, 407);
}

TEST(MbrWindow, WholeDiskFillsColumnsOneTo406) {
    const auto bars = ComputePartitionBars(Table({Part("Linux", 0, 312581808)}), 312581808);
    const auto image = DrawPartImage(bars);
    EXPECT_EQ(image.At(0, 10), MbrBlack);
    for (int x = 1; x <= 406; ++x)
        ASSERT_EQ(image.At(x, 10), PartitionColors[0]) << x;
    EXPECT_EQ(image.At(407, 10), MbrBlack);
}

TEST(MbrWindow, NoSectorsNoBars) {
    const auto table = Table({Part("Linux", 0, 1000)});
    EXPECT_FALSE(ComputePartitionBars(table, 0));
    EXPECT_FALSE(ComputePartitionBars(table, -1));
    EXPECT_FALSE(MbrWindowFor(table, 0).Bars);
    // Tiny disk, huge partition: the values are large but drawing stays in
    // the image.
    const auto bars = ComputePartitionBars(Table({Part("Linux", 0xFFFFFFFF, 0xFFFFFFFF)}), 1);
    ASSERT_TRUE(bars);
    const auto image = DrawPartImage(bars);
    EXPECT_EQ(image.At(200, 5), MbrWhite);
}

TEST(MbrWindow, EachReadingStartsFromAWhiteDiagram) {
    // The bars of a first drive do not remain under the second's.
    const auto first = DrawPartImage(ComputePartitionBars(Table({Part("Linux", 0, 1000)}), 1000));
    EXPECT_EQ(first.At(300, 5), PartitionColors[0]);
    const auto second = DrawPartImage(ComputePartitionBars(Table({Part("Linux", 0, 100)}), 1000));
    EXPECT_EQ(second.At(300, 5), MbrWhite);
    const auto none = DrawPartImage(std::nullopt);
    EXPECT_EQ(none.At(300, 5), MbrWhite);
    EXPECT_EQ(none.At(0, 5), MbrBlack);
    EXPECT_EQ(none.Width, 409);
    EXPECT_EQ(none.Height, 20);
}

TEST(MbrWindow, ColourKeys) {
    for (int slot = 1; slot <= 4; ++slot) {
        const auto key = DrawColourKey(slot);
        ASSERT_EQ(key.Width, 10);
        EXPECT_EQ(key.At(0, 0), MbrBlack);
        EXPECT_EQ(key.At(8, 4), MbrBlack);
        EXPECT_EQ(key.At(4, 8), MbrBlack);
        EXPECT_EQ(key.At(1, 1), PartitionColors[static_cast<size_t>(slot - 1)]);
        EXPECT_EQ(key.At(7, 7), PartitionColors[static_cast<size_t>(slot - 1)]);
        EXPECT_EQ(key.At(9, 9), MbrWhite);
        EXPECT_EQ(key.At(9, 0), MbrWhite);
    }
    EXPECT_EQ(PartitionColors[0], 0x0000FFu); // red in 0x00BBGGRR
    EXPECT_EQ(PartitionColors[3], 0xFF0000u); // blue
}

} // namespace
} // namespace quorvane
