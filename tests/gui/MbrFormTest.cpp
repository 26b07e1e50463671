// The MBR window: its controls and their layout, the colour keys and the
// diagram frame, readings of the sample drive and of a disk whose four slots
// the real tools filled, the bars as painted, a failed reading, and what a
// second reading leaves of the first.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>
#include <fstream>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "gui/MbrForm.h"
#include "mbr/ToolDisk.h"

namespace quorvane {
namespace {

using test::Quote;
using test::Rgb;
using test::Run;

constexpr uint32_t Black = 0x000000, White = 0xFFFFFF;
constexpr uint32_t Red = 0x0000FF, Yellow = 0x00FFFF, Green = 0x008000, Blue = 0xFF0000;
constexpr uint64_t MiB = 1024 * 1024;
// ST9160821AS, the drive of the sample and of the tool-made disk.
constexpr uint64_t DiskSectors = 312581808;

QImage Picture(const QLabel* label) {
    return label->pixmap().toImage();
}

uint32_t LittleEndian32(const std::filesystem::path& file, uint64_t offset) {
    std::ifstream in(file, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    uint8_t b[4] = {};
    in.read(reinterpret_cast<char*>(b), 4);
    return uint32_t{b[0]} | uint32_t{b[1]} << 8 | uint32_t{b[2]} << 16 | uint32_t{b[3]} << 24;
}

// The columns of row 10 of the diagram that hold a colour.
std::vector<int> ColumnsOf(const QImage& image, uint32_t color) {
    std::vector<int> columns;
    for (int x = 0; x < image.width(); ++x)
        if (image.pixelColor(x, 10) == Rgb(color))
            columns.push_back(x);
    return columns;
}

std::vector<int> Range(int first, int last) {
    std::vector<int> columns;
    for (int x = first; x <= last; ++x)
        columns.push_back(x);
    return columns;
}

// True when some pixel of a label is clearly red (its text is smoothed, so
// few pixels are pure red); grey text has none.
bool DrawnInRed(QLabel* label) {
    const QImage image = label->grab().toImage();
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() >= 200 && c.green() <= 100 && c.blue() <= 100)
                return true;
        }
    }
    return false;
}

// Sets the dirty flag of $VOLUME_INFORMATION in the $Volume record (record
// 3 of $MFT) and in its mirror, as a volume that was not shut down cleanly
// has it.
void MarkNtfsDirty(const std::filesystem::path& file) {
    std::vector<uint8_t> fs = test::ReadBytes(file);
    auto u16 = [&](size_t at) { return size_t{fs.at(at)} | size_t{fs.at(at + 1)} << 8; };
    auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
    const size_t clusterBytes = fs.at(13) * size_t{512};
    std::fstream out(file, std::ios::in | std::ios::out | std::ios::binary);
    for (size_t lcnAt : {48u, 56u}) {
        const size_t record = u32(lcnAt) * clusterBytes + 3 * 1024;
        size_t attribute = record + u16(record + 20);
        while (fs.at(attribute) != 0x70)
            attribute += u32(attribute + 4);
        const size_t flags = attribute + u16(attribute + 20) + 10;
        out.seekp(static_cast<std::streamoff>(flags));
        out.put(static_cast<char>(fs[flags] | 1));
    }
}

// Drive 0: a 160 GB disk whose four slots the tools filled.
//   1  NTFS "System", active, 30 GiB in the MBR (a 4 MiB volume)
//   2  FAT32 LBA "DATA", 40 GiB
//   3  Linux, 16 MiB
//   4  NTFS "Scratch", marked dirty, from the Linux partition to the end
// Drive 1: the sample drive (NTFS and FAT32 in slots 1 and 2 only).
// Drive 2: a drive without a disk image.
class FourSlotDisk {
public:
    FourSlotDisk() {
        disk.Partition(DiskSectors, "label-id: 0x0C0FFEE0\n"
                                    "start=2048, size=62914560, type=7, bootable\n"
                                    "start=62916608, size=83886080, type=c\n"
                                    "start=146802688, size=32768, type=83\n"
                                    "start=146835456, size=165746352, type=7\n");
        disk.Format("system", 4 * MiB,
                    "mkntfs -F -Q -q -c 4096 -L System {} && "
                    "ntfslabel -q --new-serial=51F3C0D86BA14E2F {}",
                    2048);
        // Only the head of the FAT32 volume goes into the image: its boot
        // sector and the start of its first FAT.
        const auto fat = disk.Work("data");
        Run("truncate -s " + std::to_string(83886080 * 512ull) + " " + Quote(fat));
        Run("mkfs.fat -F 32 -s 64 -i 1C2D3E4F -n DATA " + Quote(fat) + " >/dev/null");
        Run("dd if=" + Quote(fat) + " of=" + Quote(disk.Image()) +
            " bs=512 seek=62916608 count=2048 conv=notrunc status=none");
        FatCount = LittleEndian32(fat, 32);
        const auto scratch = disk.Format("scratch", 4 * MiB,
                                         "mkntfs -F -Q -q -c 8192 -L Scratch {} && "
                                         "ntfslabel -q --new-serial=0123456789ABCDEF {}",
                                         146835456);
        MarkNtfsDirty(scratch);
        EXPECT_NE(test::Capture("ntfsinfo -f -m " + Quote(scratch) + " 2>&1").find("DIRTY"),
                  std::string::npos);
        Run("dd if=" + Quote(scratch) + " of=" + Quote(disk.Image()) +
            " bs=512 seek=146835456 conv=notrunc status=none");

        const auto sample = std::filesystem::path(test::SampleDrives()) / "drive0";
        const auto copy = disk.Dir().Folder(1);
        std::filesystem::create_directories(copy);
        for (const auto& file : std::filesystem::directory_iterator(sample))
            std::filesystem::copy_file(file.path(), copy / file.path().filename());
        const auto bare = disk.Dir().Folder(2);
        std::filesystem::create_directories(bare);
        for (const char* page : {"identify.bin", "smart-data.bin", "smart-thresholds.bin"})
            std::filesystem::copy_file(sample / page, bare / page);
    }
    std::string Path() const { return disk.Dir().Path(); }

    test::ToolDisk disk;
    uint32_t FatCount = 0;
};

// The label texts of group n by their names without the "PartN" prefix.
using GroupMap = std::map<std::string, std::string>;

GroupMap GroupTexts(const TMBRForm& form, int n) {
    const size_t i = static_cast<size_t>(n - 1);
    return {{"FSL", form.PartNFSL[i]->text().toStdString()},
            {"DosLabelL", form.PartNDosLabelL[i]->text().toStdString()},
            {"VolumeLabelL", form.PartNVolumeLabelL[i]->text().toStdString()},
            {"SerialL", form.PartNSerialL[i]->text().toStdString()},
            {"ClusterSizeL", form.PartNClusterSizeL[i]->text().toStdString()},
            {"StartL", form.PartNStartL[i]->text().toStdString()},
            {"CountL", form.PartNCountL[i]->text().toStdString()},
            {"VolumeL", form.PartNVolumeL[i]->text().toStdString()}};
}

GroupMap Texts(std::string fs, std::string label, std::string serial, std::string cluster,
               std::string start, std::string count, std::string volume, std::string letter = "") {
    return {{"FSL", fs},         {"DosLabelL", letter},     {"VolumeLabelL", label},
            {"SerialL", serial}, {"ClusterSizeL", cluster}, {"StartL", start},
            {"CountL", count},   {"VolumeL", volume}};
}

const auto EmptyGroup = Texts("Empty", "...", "...", "...", "...", "...", "...", "...");

// Runs a click of the main window's Get MBR button; true when the MBR
// window came up modally (it is closed again at once).
bool GetMbr(TMainForm& main) {
    bool shown = false;
    test::WhenModal([&] {
        shown = main.MBRForm->isVisible() && main.MBRForm->isModal();
        main.MBRForm->close();
    });
    QTest::mouseClick(main.MBRReadSB, Qt::LeftButton);
    // Lets the check run in this test when no window came up.
    QCoreApplication::processEvents();
    return shown;
}

TEST(MbrForm, ControlsSitWhereTheLayoutPutsThemAndCaptionsFitTheirColumns) {
    TMBRForm form(nullptr);
    EXPECT_EQ(form.windowTitle(), "MBR");
    EXPECT_EQ(form.size(), QSize(417, 332));
    EXPECT_EQ(form.minimumSize(), form.maximumSize());
    EXPECT_TRUE(form.isModal());
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowMaximizeButtonHint);
    EXPECT_FALSE(form.windowIcon().isNull());

    const auto layout = MbrFormControls();
    EXPECT_EQ(layout.size(), 4u * 18 + 5);
    for (const MbrControl& c : layout) {
        SCOPED_TRACE(c.Name);
        auto* widget = form.findChild<QWidget*>(QString::fromStdString(c.Name));
        ASSERT_NE(widget, nullptr);
        EXPECT_EQ(widget->parentWidget()->objectName().toStdString(),
                  c.Parent.empty() ? "MBRForm" : c.Parent);
        EXPECT_EQ(widget->pos(), QPoint(c.Left, c.Top));
        if (c.Width > 0) {
            EXPECT_EQ(widget->size(), QSize(c.Width, c.Height));
        }
        EXPECT_EQ(widget->isEnabled(), c.Enabled);
        EXPECT_EQ(widget->cursor().shape(),
                  c.HandCursor ? Qt::PointingHandCursor : Qt::ArrowCursor);
        // Nothing reaches outside its group or the window.
        EXPECT_TRUE(widget->parentWidget()->rect().contains(widget->geometry()));
        if (auto* box = qobject_cast<QGroupBox*>(widget)) {
            EXPECT_EQ(box->title().toStdString(), c.Caption);
        } else if (c.Kind == MbrControlKind::Label) {
            EXPECT_EQ(static_cast<QLabel*>(widget)->text().toStdString(), c.Caption);
        }
    }
    EXPECT_EQ(form.PartNGB[2], form.findChild<QGroupBox*>("Part3GB"));
    EXPECT_EQ(form.PartNCountL[3], form.findChild<QLabel*>("Part4CountL"));
    EXPECT_EQ(form.PartImage, form.findChild<QLabel*>("PartImage"));

    // Every caption ends before the next column starts, and so do the
    // widest values: 16 serial digits, the largest count, "2047 GB".
    // (A serial of sixteen wide digits, all D, would need 4 pixels more.)
    MbrWindowState widest;
    widest.PartVolumeIDL = "DDDDDDDD";
    widest.PartSignatureL = "DDDDh";
    for (auto& g : widest.Groups) {
        g.FSL = "BIGDOS FAT16 CHS";
        g.SerialL = "2F4EA16BD8C0F351";
        g.ClusterSizeL = "1024 K";
        g.StartL = g.CountL = "4294967295";
        g.VolumeL = "2047 GB";
        g.DosLabelL = "W:";
    }
    form.ShowReading(widest);
    auto right = [](const QWidget* w) { return w->x() + w->width(); };
    EXPECT_LE(right(form.PartVolumeIDNL), form.PartVolumeIDL->x());
    EXPECT_LE(right(form.PartSignatureNL), form.PartSignatureL->x());
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i + 1);
        EXPECT_LE(right(form.PartNActiveL[i]), form.PartNFSNL[i]->x());
        EXPECT_LE(right(form.PartNFSNL[i]), form.PartNFSL[i]->x());
        EXPECT_LE(right(form.PartNVolumeLabelNL[i]), form.PartNDosLabelL[i]->x());
        EXPECT_LE(right(form.PartNDosLabelL[i]), form.PartNVolumeLabelL[i]->x());
        EXPECT_LE(right(form.PartNSerialNL[i]), form.PartNSerialL[i]->x());
        EXPECT_LE(right(form.PartNFSL[i]), form.PartNClusterSizeNL[i]->x());
        EXPECT_LE(right(form.PartNSerialL[i]), form.PartNCountNL[i]->x());
        EXPECT_LE(right(form.PartNClusterSizeNL[i]), form.PartNClusterSizeL[i]->x());
        EXPECT_LE(right(form.PartNStartNL[i]), form.PartNStartL[i]->x());
        EXPECT_LE(right(form.PartNCountNL[i]), form.PartNCountL[i]->x());
        EXPECT_LE(right(form.PartNCountL[i]), form.PartNVolumeL[i]->x());
        // The group's frame is its last column.
        EXPECT_LT(right(form.PartNVolumeL[i]), form.PartNGB[i]->width());
        EXPECT_LT(right(form.PartNClusterSizeL[i]), form.PartNGB[i]->width());
        EXPECT_LE(form.PartNDirtyL[i]->geometry().bottom(), form.PartNGB[i]->height());
    }
}

TEST(MbrForm, ColourKeysAndAnEmptyFrameAreDrawnAtCreation) {
    TMBRForm form(nullptr);
    const uint32_t colours[] = {Red, Yellow, Green, Blue};
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i + 1);
        const QImage key = Picture(form.PartNColI[i]);
        ASSERT_EQ(key.size(), QSize(10, 10));
        // A black outline on pixels 0..8, the colour on 1..7, white beyond.
        EXPECT_EQ(key.pixelColor(0, 0), Rgb(Black));
        EXPECT_EQ(key.pixelColor(8, 4), Rgb(Black));
        EXPECT_EQ(key.pixelColor(4, 8), Rgb(Black));
        EXPECT_EQ(key.pixelColor(1, 1), Rgb(colours[i]));
        EXPECT_EQ(key.pixelColor(7, 7), Rgb(colours[i]));
        EXPECT_EQ(key.pixelColor(9, 9), Rgb(White));
        EXPECT_EQ(key.pixelColor(9, 4), Rgb(White));
    }
    const QImage frame = Picture(form.PartImage);
    ASSERT_EQ(frame.size(), QSize(409, 20));
    for (int x : {0, 200, 407})
        EXPECT_EQ(frame.pixelColor(x, 0), Rgb(Black)) << x;
    EXPECT_EQ(frame.pixelColor(200, 18), Rgb(Black));
    EXPECT_EQ(frame.pixelColor(0, 10), Rgb(Black));
    EXPECT_EQ(frame.pixelColor(407, 10), Rgb(Black));
    EXPECT_EQ(frame.pixelColor(408, 10), Rgb(White));
    EXPECT_EQ(frame.pixelColor(200, 19), Rgb(White));
    std::vector<int> white = Range(1, 406);
    white.push_back(408);
    EXPECT_EQ(ColumnsOf(frame, White), white);
}

TEST(MbrForm, GetMbrShowsTheSampleDrivesNtfsAndFat32VolumesWithTheirBar) {
    test::FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    ASSERT_EQ(f->SelectedSlot(), 1);
    EXPECT_TRUE(GetMbr(*f.Form));
    TMBRForm& form = *f->MBRForm;

    // As scripts/make-sample-disk.sh made it: disk signature 5A3C9E17, an
    // NTFS volume with serial 0x51F3C0D86BA14E2F (stored from its low byte
    // on), a FAT32 volume with 64 sectors a cluster and serial 1C2D3E4F.
    EXPECT_EQ(form.PartVolumeIDL->text(), "5A3C9E17");
    EXPECT_EQ(form.PartSignatureL->text(), "AA55h");
    EXPECT_EQ(GroupTexts(form, 1),
              Texts("NTFS 3.1", "System", "2F4EA16BD8C0F351", "4 K", "2048", "8192", "0 GB"));
    const auto image = std::filesystem::path(test::SampleDrives()) / "drive0/disk.img";
    const uint32_t fatCount = LittleEndian32(image, 10240 * 512 + 32);
    EXPECT_EQ(GroupTexts(form, 2), Texts("FAT32 LBA", "DATA", "4F3E2D1C", "32 K", "10240",
                                         std::to_string(fatCount), "64 GB"));
    EXPECT_EQ(GroupTexts(form, 3), EmptyGroup);
    EXPECT_EQ(GroupTexts(form, 4), EmptyGroup);
    EXPECT_TRUE(form.PartNActiveL[0]->isEnabled());
    EXPECT_FALSE(form.PartNActiveL[1]->isEnabled());
    for (QLabel* dirty : form.PartNDirtyL)
        EXPECT_FALSE(dirty->isEnabled());

    // The NTFS bar ends before column 1 (2048 + 8192 sectors of 312,581,808
    // are 0.01 of 407 columns). The FAT32 one ends at
    // round((10240 + count) / 312581808 x 407) = 175: columns 1 to 174.
    ASSERT_EQ(fatCount, 134217720u);
    const QImage bars = Picture(form.PartImage);
    EXPECT_TRUE(ColumnsOf(bars, Red).empty());
    EXPECT_EQ(ColumnsOf(bars, Yellow), Range(1, 174));
    EXPECT_EQ(bars.pixelColor(100, 0), Rgb(Black));
    EXPECT_EQ(bars.pixelColor(100, 1), Rgb(Yellow));
    EXPECT_EQ(bars.pixelColor(100, 17), Rgb(Yellow));
    EXPECT_EQ(bars.pixelColor(100, 18), Rgb(Black));
    EXPECT_EQ(bars.pixelColor(0, 10), Rgb(Black));
    EXPECT_EQ(bars.pixelColor(407, 10), Rgb(Black));

    // The indicators: red while enabled, grey when disabled.
    EXPECT_TRUE(DrawnInRed(form.PartNActiveL[0]));
    EXPECT_FALSE(DrawnInRed(form.PartNActiveL[1]));
}

TEST(MbrForm, FourFilledSlotsAndWhatASecondReadingLeavesOfThem) {
    FourSlotDisk disk;
    test::FormUnderTest f(disk.Path());
    ASSERT_TRUE(f->StartupSequence());
    ASSERT_EQ(f.App->Data().Drives[1].Sectors, static_cast<int64_t>(DiskSectors));
    TMBRForm& form = *f->MBRForm;
    EXPECT_TRUE(GetMbr(*f.Form));

    EXPECT_EQ(form.PartVolumeIDL->text(), "0C0FFEE0");
    EXPECT_EQ(form.PartSignatureL->text(), "AA55h");
    // NTFS serials and the FAT32 serial are written from their low byte on.
    EXPECT_EQ(GroupTexts(form, 1),
              Texts("NTFS 3.1", "System", "2F4EA16BD8C0F351", "4 K", "2048", "62914560", "30 GB"));
    EXPECT_EQ(GroupTexts(form, 2), Texts("FAT32 LBA", "DATA", "4F3E2D1C", "32 K", "62916608",
                                         std::to_string(disk.FatCount), "40 GB"));
    EXPECT_EQ(GroupTexts(form, 3),
              Texts("Linux", "...", "...", "...", "146802688", "32768", "0 GB"));
    // 165,746,352 sectors are 79.03 GiB.
    EXPECT_EQ(GroupTexts(form, 4), Texts("NTFS 3.1", "Scratch", "EFCDAB8967452301", "8 K",
                                         "146835456", "165746352", "79 GB"));
    EXPECT_TRUE(form.PartNActiveL[0]->isEnabled());
    for (size_t i : {1u, 2u, 3u})
        EXPECT_FALSE(form.PartNActiveL[i]->isEnabled()) << i;
    for (size_t i : {0u, 1u, 2u})
        EXPECT_FALSE(form.PartNDirtyL[i]->isEnabled()) << i;
    EXPECT_TRUE(form.PartNDirtyL[3]->isEnabled());
    EXPECT_TRUE(DrawnInRed(form.PartNDirtyL[3]));
    // Of 407 columns: slot 1 ends at round(62916608 / 312581808 x 407) = 82,
    // slot 2 runs from round(81.92) + 1 = 83 to round(191.15) = 191, the
    // Linux partition is narrower than a column (left 192, right 191) and
    // slot 4 runs from 192 to the end, 407. Columns 82 and 191 stay white.
    // mkfs.fat leaves a few sectors of the 40 GiB unused; that moves no
    // column.
    ASSERT_GT(disk.FatCount, 83886080u - 2048);
    ASSERT_LE(disk.FatCount, 83886080u);
    QImage bars = Picture(form.PartImage);
    EXPECT_EQ(ColumnsOf(bars, Red), Range(1, 81));
    EXPECT_EQ(ColumnsOf(bars, Yellow), Range(83, 190));
    EXPECT_TRUE(ColumnsOf(bars, Green).empty());
    EXPECT_EQ(ColumnsOf(bars, Blue), Range(192, 406));
    EXPECT_EQ(bars.pixelColor(82, 10), Rgb(White));
    EXPECT_EQ(bars.pixelColor(191, 10), Rgb(White));

    // The sample drive next: its empty slots 3 and 4 disable their Dirty
    // labels, and no bar of the first disk remains.
    f->HDDCB->setCurrentIndex(1);
    EXPECT_TRUE(GetMbr(*f.Form));
    EXPECT_EQ(form.PartVolumeIDL->text(), "5A3C9E17");
    EXPECT_EQ(GroupTexts(form, 4), EmptyGroup);
    for (QLabel* dirty : form.PartNDirtyL)
        EXPECT_FALSE(dirty->isEnabled());
    EXPECT_FALSE(DrawnInRed(form.PartNDirtyL[3]));
    bars = Picture(form.PartImage);
    EXPECT_EQ(ColumnsOf(bars, Yellow), Range(1, 174));
    EXPECT_TRUE(ColumnsOf(bars, Red).empty());
    EXPECT_TRUE(ColumnsOf(bars, Blue).empty());
    EXPECT_EQ(ColumnsOf(bars, White).size(), 407u - 174u);

    // A drive without sectors to read: the window does not come up and
    // keeps the sample drive's reading.
    f->HDDCB->setCurrentIndex(2);
    EXPECT_FALSE(GetMbr(*f.Form));
    EXPECT_EQ(form.PartVolumeIDL->text(), "5A3C9E17");
    EXPECT_EQ(form.PartNFSL[1]->text(), "FAT32 LBA");
    EXPECT_TRUE(Picture(form.PartImage) == bars);
}

TEST(MbrForm, GptDiskShowsItsFirstFourPartitionsTheListAndEveryBar) {
    // Sample drive 1 (slot 2): the GPT disk of scripts/make-sample-gpt-disk.sh.
    test::FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    TMBRForm& form = *f->MBRForm;
    EXPECT_FALSE(form.GptList->isVisibleTo(&form));
    f->HDDCB->setCurrentIndex(1);
    EXPECT_TRUE(GetMbr(*f.Form));

    EXPECT_EQ(form.size(), QSize(417, GptFormClientHeight));
    EXPECT_EQ(form.PartVolumeIDL->text(), "5EC7A2D1-4B9F-4E3A-9C61-2F0D8B7E6A15");
    EXPECT_EQ(GroupTexts(form, 1),
              Texts("BIOS boot", "...", "...", "...", "2048", "2048", "0 GB"));
    EXPECT_EQ(GroupTexts(form, 2), Texts("FAT16", "EFI", "1600F15E", "512 B", "4096", "8192", "0 GB"));
    EXPECT_EQ(GroupTexts(form, 3),
              Texts("NTFS 3.1", "Windows", "7E6D5C4B3A2F1E0D", "4 K", "12288", "8192", "0 GB"));
    EXPECT_EQ(GroupTexts(form, 4), Texts("Linux swap", "...", "...", "...", "20480", "2048", "0 GB"));
    ASSERT_TRUE(form.GptCaptionL->isVisibleTo(&form));
    EXPECT_EQ(form.GptCaptionL->text(), "GPT: 7 partitions");
    // Every partition is a row of the list, which scrolls sideways for its
    // columns and stays inside the window.
    ASSERT_EQ(form.GptList->topLevelItemCount(), 7);
    EXPECT_EQ(form.GptList->topLevelItem(6)->text(2), "Persönliche Dateien");
    EXPECT_EQ(form.GptList->topLevelItem(5)->text(7), "Btrfs");
    EXPECT_EQ(form.GptList->topLevelItem(4)->text(6), "legacy BIOS bootable");
    EXPECT_TRUE(form.rect().contains(form.GptList->geometry()));
    EXPECT_GE(form.GptList->y(), form.PartSignatureL->geometry().bottom());
    // Partitions 6 and 7, yellow and green as the second and third keys:
    // round(419457024 / 3907029168 x 407) = 44.
    const QImage bars = Picture(form.PartImage);
    EXPECT_EQ(ColumnsOf(bars, Yellow), Range(1, 43));
    EXPECT_EQ(ColumnsOf(bars, Green), Range(45, 406));

    // An MBR disk next: the window is the MBR layout again.
    f->HDDCB->setCurrentIndex(0);
    EXPECT_TRUE(GetMbr(*f.Form));
    EXPECT_EQ(form.size(), QSize(417, 332));
    EXPECT_FALSE(form.GptList->isVisibleTo(&form));
    EXPECT_FALSE(form.GptCaptionL->isVisibleTo(&form));
    EXPECT_EQ(form.GptList->topLevelItemCount(), 0);
    EXPECT_EQ(form.PartVolumeIDL->text(), "5A3C9E17");
}

TEST(MbrForm, NoDriveSelectedReadsNothing) {
    test::FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    f->HDDCB->setCurrentIndex(-1);
    EXPECT_FALSE(GetMbr(*f.Form));
    EXPECT_EQ(f->MBRForm->PartVolumeIDL->text(), "...");

    SimulatedBus bus(test::SampleDrives());
    for (int slot : {0, 6, 7, -1})
        EXPECT_FALSE(f->MBRForm->ReadDrive(bus, f.App->Data(), slot)) << slot;
    EXPECT_TRUE(bus.SentCommands().empty());
}

TEST(MbrForm, ExitWhileTheWindowIsUpClosesIt) {
    test::FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    bool closed = false;
    test::WhenModal([&] {
        f->Tray->Exit1->trigger();
        closed = !f->MBRForm->isVisible();
    });
    QTest::mouseClick(f->MBRReadSB, Qt::LeftButton);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(f.App->Data().ExitRequested);
}

TEST(MbrForm, TextsFromTheDiskAreShownAsWritten) {
    TMBRForm form(nullptr);
    MbrWindowState state;
    state.Groups[0].VolumeLabelL = "<b>Data</b>";
    state.Groups[0].DosLabelLHint = "/media/<i>usb</i>\n/mnt/Ünï";
    state.Groups[1].DosLabelLHint = "/";
    form.ShowReading(state);
    EXPECT_EQ(form.PartNVolumeLabelL[0]->text(), "<b>Data</b>");
    EXPECT_EQ(form.PartNVolumeLabelL[0]->textFormat(), Qt::PlainText);
    const QString tip = form.PartNDosLabelL[0]->toolTip();
    EXPECT_TRUE(tip.contains("/media/&lt;i&gt;usb&lt;/i&gt;<br>/mnt/Ünï")) << tip.toStdString();
    EXPECT_EQ(form.PartNDosLabelL[1]->toolTip(), "/");
    // With no letter to show the label still has room for its tooltip.
    EXPECT_EQ(form.PartNDosLabelL[1]->text(), "");
    EXPECT_GE(form.PartNDosLabelL[1]->width(), 16);
}

} // namespace
} // namespace quorvane
