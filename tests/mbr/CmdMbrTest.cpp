// quorvane-cli mbr on simulated drives.
#include <gtest/gtest.h>

#include "common/RunCli.h"
#include "mbr/ToolDisk.h"

namespace quorvane {
namespace {

using test::Capture;
using test::Quote;

struct CliResult {
    int Status = -1;
    std::string Out;
};

CliResult Cli(const std::string& drives, const std::string& args) {
    CliResult r;
    r.Out = Capture(std::string(QUORVANE_CLI) + " --drives " + Quote(drives) + " " + args +
                        " 2>/dev/null",
                    &r.Status);
    test::ExpectValidJson(args, r.Out);
    return r;
}

using test::JsonField;

TEST(CmdMbr, UsageErrors) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    for (const char* args : {"mbr", "mbr 0", "mbr 7", "mbr x", "mbr 1 2", "mbr 1 --xml"}) {
        const auto r = Cli(dir.Path(), args);
        EXPECT_EQ(r.Status, 2) << args;
        EXPECT_EQ(r.Out, "") << args;
    }
    // A slot beyond the drives found.
    EXPECT_EQ(Cli(dir.Path(), "mbr 2").Status, 2);
}

TEST(CmdMbr, UnreadableSectorZeroIsReported) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH"); // no disk.img: the drive aborts the read
    dir.AddRealDrive(1, "ST9160821AS--3.CLH", "fail = read-sectors");
    dir.WriteBytes(1, "disk.img", std::vector<uint8_t>(4096));
    for (const char* slot : {"1", "2"}) {
        const auto text = test::RunCli(dir.Path(), std::string("mbr ") + slot);
        EXPECT_EQ(text.Status, 1) << slot;
        EXPECT_EQ(text.Out, "") << slot;
        EXPECT_EQ(text.Err,
                  std::string("quorvane-cli: slot ") + slot + ": sector 0 could not be read\n");
        const auto r = Cli(dir.Path(), std::string("mbr ") + slot + " --json");
        EXPECT_EQ(r.Status, 1) << slot;
        EXPECT_EQ(JsonField(r.Out, "d['slot'], d['error']"),
                  std::string(slot) + " {'kind': 'read_failed', 'message': 'sector 0 could not "
                                      "be read', 'page': 'sector 0'}\n");
    }
    // No drives at all.
    test::DriveDir none;
    EXPECT_EQ(Cli(none.Path(), "mbr 1 --json").Status, 1);
}

TEST(CmdMbr, JsonOfALinuxPartition) {
    test::ToolDisk disk;
    disk.Partition(8192, "label-id: 0x0000BEEF\nstart=2048, size=2048, type=83, bootable\n");
    const auto r = Cli(disk.Dir().Path(), "mbr 1 --json");
    ASSERT_EQ(r.Status, 0);
    // The entry sfdisk wrote (start=2048, size=2048, type=83, bootable) and
    // three empty ones; the window's captions beside them.
    EXPECT_EQ(JsonField(r.Out, "d['mbr']['disk_signature'], d['mbr']['boot_signature'], "
                               "[tuple(p.values()) for p in d['mbr']['partitions']]"),
              "0000BEEF AA55h [(1, True, 131, 'Linux', 2048, 2048, 0, None, None, None, None, None, "
              "False, None, []), (2, False, 0, 'Empty', 0, 0, 0, None, None, None, None, None, "
              "False, None, []), (3, False, 0, 'Empty', 0, 0, 0, None, None, None, None, None, "
              "False, None, []), (4, False, 0, 'Empty', 0, 0, 0, None, None, None, None, None, "
              "False, None, [])]\n");
    EXPECT_EQ(JsonField(r.Out, "list(d['window']['groups'][0].values()), "
                               "list(d['window']['groups'][3].values()), d['window']['bars']"),
              "[True, False, 'Linux', '', '...', '...', '...', '2048', '2048', '0 GB'] "
              "[False, False, 'Empty', '...', '...', '...', '...', '...', '...', '...'] "
              "[{'left': 1, 'right': 0}, {'left': 1, 'right': 0}, {'left': 1, 'right': 0}, "
              "{'left': 1, 'right': 0}]\n");
}

TEST(CmdMbr, SampleDriveShowsNtfsAndFat32) {
    const std::string samples = std::string(QUORVANE_SOURCE_DIR) + "/samples/drives";
    const auto json = Cli(samples, "mbr 1 --json");
    ASSERT_EQ(json.Status, 0);
    EXPECT_EQ(JsonField(json.Out, "[p['type_name'] for p in d['mbr']['partitions']]"),
              "['NTFS', 'FAT32 LBA', 'Empty', 'Empty']\n");
    EXPECT_EQ(
        JsonField(json.Out, "d['window']['groups'][0]['Part1FSL'], "
                            "d['window']['groups'][1]['Part2VolumeLabelL']"),
        "NTFS 3.1 DATA\n");
    EXPECT_EQ(JsonField(json.Out, "d['window']['bars'][1]['right'] > 100"), "True\n");

    const auto text = Cli(samples, "mbr 1");
    ASSERT_EQ(text.Status, 0);
    EXPECT_EQ(text.Out.rfind("Running on simulated drives in ", 0), 0u) << text.Out;
    for (const char* line : {"Filesystem:    NTFS 3.1", "Filesystem:    FAT32 LBA",
                             "Volume Label:  System", "Volume ID: 5A3C9E17", "Signature: AA55h"})
        EXPECT_NE(text.Out.find(line), std::string::npos) << line << "\n" << text.Out;
}

// Replaces every copy of `from` in the image by `to` (of the same length).
void PatchImage(const std::filesystem::path& image, const std::string& from,
                const std::string& to) {
    auto bytes = test::ReadBytes(image);
    std::string text(bytes.begin(), bytes.end());
    size_t copies = 0;
    for (auto at = text.find(from); at != std::string::npos; at = text.find(from, at + 1), ++copies)
        text.replace(at, to.size(), to);
    ASSERT_GT(copies, 0u) << from;
    std::ofstream(image, std::ios::binary) << text;
}

TEST(CmdMbr, VolumeLabelsReachTheTerminalWithoutTheirControlCharacters) {
    constexpr uint64_t MiB = 1024 * 1024;
    test::ToolDisk disk;
    disk.Partition(80000, "start=2048, size=32768, type=4\nstart=34816, size=32768, type=7\n");
    disk.Format("fat16", 16 * MiB, "mkfs.fat -F 16 -n LBLFATABCDE {}", 2048);
    disk.Format("ntfs", 16 * MiB, "mkntfs -F -Q -q -L LBLNTFSxyz {}", 34816);
    // FAT: 11 bytes of the OEM code page; NTFS: UTF-16LE in the $Volume record.
    PatchImage(disk.Image(), "LBLFATABCDE",
               "L\x1B[2JF\x07\x9B"
               "DEF");
    const auto utf16 = [](const std::string& ascii) {
        std::string out;
        for (char c : ascii)
            out += std::string{c, '\0'};
        return out;
    };
    PatchImage(disk.Image(), utf16("LBLNTFSxyz"),
               utf16("N\x1B]0;t") + std::string("\x07\0\x9B\0\r\0\n\0", 8));

    const auto r = Cli(disk.Dir().Path(), "mbr 1");
    ASSERT_EQ(r.Status, 0) << r.Out;
    EXPECT_EQ(r.Out.find('\x1B'), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.find('\x07'), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.find('\r'), std::string::npos) << r.Out;
    EXPECT_EQ(r.Out.find("\xC2\x9B"), std::string::npos) << r.Out;
    // 0x9B is a printable character in the FAT label's code page (a closing
    // guillemet); in the NTFS label it is U+009B, a control.
    EXPECT_NE(r.Out.find("Volume Label:  L?[2JF?\xE2\x80\xBA"
                         "DEF "),
              std::string::npos)
        << r.Out;
    EXPECT_NE(r.Out.find("Volume Label:  N?]0;t???? "), std::string::npos) << r.Out;
}

} // namespace
} // namespace quorvane

namespace quorvane {
namespace {

TEST(CmdMbr, SampleGptDriveListsEveryPartition) {
    // scripts/make-sample-gpt-disk.sh: seven partitions on drive 1 (slot 2).
    const std::string samples = std::string(QUORVANE_SOURCE_DIR) + "/samples/drives";
    const auto json = Cli(samples, "mbr 2 --json");
    ASSERT_EQ(json.Status, 0);
    EXPECT_EQ(JsonField(json.Out, "d['gpt']['source'], d['gpt']['disk_guid'], d['gpt']['caption']"),
              "primary 5EC7A2D1-4B9F-4E3A-9C61-2F0D8B7E6A15 GPT: 7 partitions\n");
    EXPECT_EQ(JsonField(json.Out, "[(p['number'], p['file_system'], p['volume_label']) for p in "
                                  "d['gpt']['partitions']]"),
              "[(1, None, None), (2, 'FAT16', 'EFI'), (3, 'NTFS', 'Windows'), (4, None, None), "
              "(5, 'ext4', 'boot'), (6, 'Btrfs', 'debian'), (7, None, None)]\n");
    EXPECT_EQ(JsonField(json.Out, "d['gpt']['partitions'][6]['name'], "
                                  "d['gpt']['partitions'][4]['attributes']['string'], "
                                  "d['gpt']['partitions'][5]['uuid']"),
              "Persönliche Dateien legacy BIOS bootable 3f5a7c9e-1b2d-4f60-8a9b-c0d1e2f3a4b5\n");
    // The groups show the first four, the bars all seven; the MBR's own
    // entry stays in "partitions".
    EXPECT_EQ(JsonField(json.Out, "[g['Part%dFSL' % (i + 1)] for i, g in "
                                  "enumerate(d['window']['groups'])], len(d['gpt']['bars']), "
                                  "d['mbr']['partitions'][0]['start_lba']"),
              "['BIOS boot', 'FAT16', 'NTFS 3.1', 'Linux swap'] 7 1\n");

    const auto text = Cli(samples, "mbr 2");
    ASSERT_EQ(text.Status, 0);
    for (const char* line : {"Volume ID: 5EC7A2D1-4B9F-4E3A-9C61-2F0D8B7E6A15\n",
                             "GPT: 7 partitions\nGPT partition 1\n", "  Name:          "
                             "Persönliche Dateien\n", "  Size:          200 GiB\n",
                             " 6: 1-43 7: 45-406\n"})
        EXPECT_NE(text.Out.find(line), std::string::npos) << line << "\n" << text.Out;
    // The MBR-only output has no GPT key.
    EXPECT_EQ(JsonField(Cli(samples, "mbr 1 --json").Out, "'gpt' in d"), "False\n");
}

} // namespace
} // namespace quorvane
