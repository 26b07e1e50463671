// quorvane-cli scan, run as a user runs it, on simulated drives.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <sys/wait.h>
#include <unistd.h>

#include "common/RunCli.h"
#include "common/TestDrives.h"

namespace quorvane {
namespace {

using test::CliRun;
using test::RunCli;

// Writes text as an ATA string into IDENTIFY words first.. (high byte first).
void PutAtaString(std::vector<uint8_t>& page, int firstWord, int words, std::string text) {
    text.resize(static_cast<size_t>(words) * 2, ' ');
    for (int i = 0; i < words; ++i) {
        const auto at = static_cast<size_t>(2 * (firstWord + i));
        page[at] = static_cast<uint8_t>(text[static_cast<size_t>(2 * i + 1)]);
        page[at + 1] = static_cast<uint8_t>(text[static_cast<size_t>(2 * i)]);
    }
}

TEST(ScanCli, PrintsTheSimulatedDrivesAsATableAndAsJson) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    dir.AddRealDrive(3, "SAMSUNG_HD501LJ--CR100-12", "native-max = 976977967");
    dir.AddRealDrive(5, "INTEL_SSDSA2CW120G3--4PC10302");
    // An NVMe controller with no namespace 1: its size is not known.
    dir.AddRealNvme(6, "ADATA_FALCON--V9002s94");
    std::filesystem::remove(dir.Folder(6) / "identify-ns.bin");
    std::filesystem::remove(dir.Folder(6) / "identify-ctrl.bin");
    // The same drive again without its total capacity either.
    auto ctrl = test::ReadBytes(test::DriveDir::NvmeDir() / "ADATA_FALCON--V9002s94" / "identify-ctrl.bin");
    std::fill(ctrl.begin() + 280, ctrl.begin() + 296, 0);
    dir.WriteBytes(6, "identify-ctrl.bin", ctrl);

    CliRun run = RunCli(dir.Path(), "scan");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(run.Out.rfind("Running on simulated drives in " + dir.Path(), 0), 0u) << run.Out;
    const std::string table =
        "Slot Drive Model                                    Serial               Firmware Size "
        "GB LBA48 S.M.A.R.T. HPA Security HPA MB\n"
        "1    0     ST9160821AS                              5MAC2QTA             3.CLH        "
        "149 yes   yes        yes no       0\n"
        "2    3     SAMSUNG HD501LJ                          S0MUJ1NQ110060       CR100-12     "
        "466 yes   yes        yes no       100\n"
        "3    5     INTEL SSDSA2CW120G3                      CVPR109301UZ120LGN   4PC10302     "
        "112 yes   yes        yes yes      0\n"
        "4    nvme0 ADATA FALCON                             QV8735C0EF4AE4       V9002s94     "
        "... ---   yes        --- ---      ---\n";
    EXPECT_EQ(run.Out.substr(run.Out.find('\n') + 1), table);

    run = RunCli(dir.Path(), "scan --json");
    EXPECT_EQ(run.Status, 0);
    // Each drive's members in order: slot, device, model, serial, firmware,
    // vendor code, user_capacity, size_gb, smart_support, ata_lba48, hpa,
    // ata_security; an NVMe drive without a size has none of the ATA ones.
    EXPECT_EQ(test::JsonField(run.Out, "'\\n'.join(str(tuple(x.values())) for x in d['drives'])"),
              "(1, {'name': 'sda', 'type': 'ata', 'number': 0}, 'ST9160821AS', '5MAC2QTA', "
              "'3.CLH', 'S', {'blocks': 312581808, 'bytes': 160041885696}, 149, {'enabled': True}, "
              "True, {'supported': True, 'size_bytes': 0, 'size_mb': 0}, {'enabled': False})\n"
              "(2, {'name': 'sdd', 'type': 'ata', 'number': 3}, 'SAMSUNG HD501LJ', "
              "'S0MUJ1NQ110060', 'CR100-12', 'M', {'blocks': 976773168, 'bytes': 500107862016}, "
              "466, {'enabled': True}, True, {'supported': True, 'size_bytes': 104857600, "
              "'size_mb': 100}, {'enabled': False})\n"
              "(3, {'name': 'sdf', 'type': 'ata', 'number': 5}, 'INTEL SSDSA2CW120G3', "
              "'CVPR109301UZ120LGN', '4PC10302', None, {'blocks': 234441648, 'bytes': "
              "120034123776}, 112, {'enabled': True}, True, {'supported': True, 'size_bytes': 0, "
              "'size_mb': 0}, {'enabled': True})\n"
              "(4, {'name': 'nvme0', 'type': 'nvme', 'number': 0}, 'ADATA FALCON', "
              "'QV8735C0EF4AE4', 'V9002s94', None, None, None, {'enabled': True}, None, None, "
              "None)\n");
}

TEST(ScanCli, ADrivesFolderThatIsNotThereIsNamed) {
    test::DriveDir dir;
    const std::string missing = dir.Path() + "/nowhere";
    CliRun run = RunCli(missing, "scan");
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Out, "");
    EXPECT_EQ(run.Err, "quorvane-cli: --drives " + missing + ": no such directory\n");
    dir.WriteFile(0, "file", "x");
    const std::string file = (dir.Folder(0) / "file").string();
    run = RunCli(file, "smart 1");
    EXPECT_EQ(run.Status, 2);
    EXPECT_EQ(run.Err, "quorvane-cli: --drives " + file + ": not a directory\n");
}

TEST(SmartCliErrors, AFailedPageReadSaysWhichPage) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH", "fail = smart-read-data");
    dir.AddRealDrive(1, "ST9160821AS--3.CLH", "fail = smart-read-thresholds");
    CliRun run = RunCli(dir.Path(), "smart 1");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "quorvane-cli: slot 1: the S.M.A.R.T. data could not be read\n");
    // No status caption over an empty grid: the drive's status command went
    // through, but nothing of the read is shown as if it were the drive's health.
    EXPECT_EQ(run.Out, "Running on simulated drives in " + dir.Path() + " (not real hardware)\n");
    run = RunCli(dir.Path(), "smart 2 --json");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "quorvane-cli: slot 2: the S.M.A.R.T. thresholds could not be read\n");
    EXPECT_EQ(test::JsonField(run.Out, "d['slot'], d['error']"),
              "2 {'kind': 'read_failed', 'message': 'the S.M.A.R.T. thresholds could not be read', "
              "'page': 'smart-thresholds'}\n");
    run = RunCli(dir.Path(), "report 2 '" + dir.Path() + "/r.txt'");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "quorvane-cli: slot 2: the S.M.A.R.T. thresholds could not be read; "
                       "no report written\n");

    // A drive whose IDENTIFY says S.M.A.R.T. is off is not read at all.
    auto identify = test::PageOf("ST9160821AS--3.CLH", "identify");
    identify[85 * 2] &= 0xFE;
    dir.WriteBytes(1, "identify.bin", identify);
    run = RunCli(dir.Path(), "smart 2 --json");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "quorvane-cli: slot 2: S.M.A.R.T. is not enabled on the drive\n");
    EXPECT_EQ(test::JsonField(run.Out, "d['slot'], d['error']"),
              "2 {'kind': 'smart_disabled', 'message': 'S.M.A.R.T. is not enabled on the drive'}\n");
}

TEST(ScanCli, NoDriveIsExitStatusOne) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH", "abort = identify");
    CliRun run = RunCli(dir.Path(), "scan");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(run.Err, "quorvane-cli: using simulated drives in " + dir.Path() +
                           "\nS.M.A.R.T. HDD(s) not found!\n");
    run = RunCli(dir.Path(), "scan --json");
    EXPECT_EQ(run.Status, 1);
    EXPECT_EQ(test::JsonField(run.Out, "d['json_format_version'], d['quorvane']['simulated'], d['drives']"),
              "[1, 0] True []\n");
    EXPECT_EQ(RunCli(dir.Path(), "scan --xml").Status, 2);
}

TEST(ScanCli, ASizeBeyond32BitsPrintsWhole) {
    // A real 1 TB page whose word 103 says 0x0010: 2^52 more sectors.
    auto identify = test::PageOf("Hitachi_HDS721010CLA632", "identify");
    identify[206] = 0x10;
    test::DriveDir dir;
    dir.AddRealDrive(0, "Hitachi_HDS721010CLA632");
    dir.WriteBytes(0, "identify.bin", identify);

    CliRun run = RunCli(dir.Path(), "scan --json");
    EXPECT_EQ(run.Status, 0);
    EXPECT_EQ(test::JsonField(run.Out, "d['drives'][0]['user_capacity'], d['drives'][0]['size_gb']"),
              "{'blocks': 4503601580895664, 'bytes': 2305844009418579968} 2147484580\n");
    run = RunCli(dir.Path(), "scan");
    EXPECT_EQ(run.Status, 0);
    EXPECT_NE(run.Out.find(" JP4OA41A 2147484580 yes "), std::string::npos) << run.Out;
    EXPECT_EQ(run.Out.find("-2147482716"), std::string::npos) << run.Out;
}

// A drive's strings are 8-bit characters, whatever bytes it sends.
class ScanCliOddBytes : public ::testing::Test {
protected:
    void SetUp() override {
        auto identify = test::PageOf("ST9160821AS--3.CLH", "identify");
        PutAtaString(identify, 10, 10,
                     std::string("AB\xE9\nC\x01"
                                 "D\x1B[2J"));
        PutAtaString(identify, 27, 20, "ST\xFF\r\xB5");
        dir.AddRealDrive(0, "ST9160821AS--3.CLH");
        dir.WriteBytes(0, "identify.bin", identify);
    }
    test::DriveDir dir;
};

TEST_F(ScanCliOddBytes, JsonStaysValidUtf8) {
    CliRun run = RunCli(dir.Path(), "scan --json");
    EXPECT_EQ(run.Status, 0);
    // Every control character escaped, the 8-bit ones as UTF-8.
    EXPECT_NE(run.Out.find("\"model_name\": \"ST\xC3\xBF\\r\xC2\xB5\""), std::string::npos)
        << run.Out;
    EXPECT_NE(run.Out.find("\"serial_number\": \"AB\xC3\xA9\\nC\\u0001D\\u001b[2J\""),
              std::string::npos)
        << run.Out;
}

TEST_F(ScanCliOddBytes, EachTableRowStaysOneLine) {
    CliRun run = RunCli(dir.Path(), "scan");
    EXPECT_EQ(run.Status, 0);
    // The simulated-drives line, the column titles and one row; no control
    // character reaches the terminal.
    EXPECT_EQ(std::count(run.Out.begin(), run.Out.end(), '\n'), 3) << run.Out;
    EXPECT_EQ(run.Out.find('\x1B'), std::string::npos);
    EXPECT_EQ(run.Out.find('\r'), std::string::npos);
    EXPECT_NE(run.Out.find("ST\xC3\xBF?\xC2\xB5"), std::string::npos) << run.Out;
    EXPECT_NE(run.Out.find("AB\xC3\xA9?C?D?[2J"), std::string::npos) << run.Out;
}

} // namespace
} // namespace quorvane
