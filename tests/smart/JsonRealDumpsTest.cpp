// quorvane-cli's --json on the real drives of tests/data: every document
// valid against its schema (RunCli checks each), and the typed values equal
// to what independent decoders made of the same pages: the hand-decoded
// grid files, the values smartctl printed for the NVMe drives, and the
// IDENTIFY words read here in Python.
#include <gtest/gtest.h>

#include <filesystem>

#include "common/FeatureDumps.h"
#include "common/RunCli.h"
#include "smart/SmartTestData.h"

namespace quorvane {
namespace {

using test::CliRun;
using test::JsonField;
using test::RunCli;

std::vector<std::string> NvmeDrives() {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(test::DriveDir::NvmeDir()))
        if (std::filesystem::exists(entry.path() / "expected.json"))
            names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The attribute table as grid.txt lines: the seven cells with the raw value
// as the document's raw string, then the raw number in decimal.
constexpr const char* TableAsGrid =
    "'\\n'.join('|'.join(['(%02Xh) %s' % (a['id'], a['name']), str(a['value']), str(a['worst']), "
    "a['raw']['string'], str(a['thresh']), a['flags']['string'], a['verdict'], "
    "str(a['raw']['value'])]) for a in d['ata_smart_attributes']['table'])";

std::string GridLines(const std::string& drive, bool dec) {
    const auto grid = test::ReadExpectedGrid(drive);
    std::string lines;
    for (size_t r = 0; r < grid.Rows.size(); ++r) {
        SmartGridRow row = grid.Rows[r];
        if (dec)
            row[SmartColRaw] = grid.DecimalRaw[r];
        for (const std::string& cell : row)
            lines += cell + "|";
        lines += grid.DecimalRaw[r] + "\n";
    }
    return lines;
}

TEST(JsonRealDumps, AtaAttributesAndHealthAsTheGridFilesAndStatusPages) {
    const auto& drives = test::SmartTestDrives;
    for (size_t first = 0; first < drives.size(); first += 6) {
        test::DriveDir dir;
        const size_t count = std::min<size_t>(6, drives.size() - first);
        for (size_t i = 0; i < count; ++i) {
            // The status page: 1 = no threshold exceeded.
            const auto status = test::PageOf(drives[first + i], "smart-status");
            const bool ok = status.size() == 4 && status[3] == 1;
            dir.AddRealDrive(static_cast<unsigned>(i), drives[first + i],
                             ok ? "status = ok" : "status = exceeded");
        }
        const CliRun scan = RunCli(dir.Path(), "scan --json");
        ASSERT_EQ(scan.Status, 0) << scan.Err;
        for (size_t i = 0; i < count; ++i) {
            const std::string& drive = drives[first + i];
            const std::string slot = std::to_string(i + 1);
            const auto status = test::PageOf(drive, "smart-status");
            const bool ok = status.size() == 4 && status[3] == 1;
            for (const bool dec : {false, true}) {
                const CliRun run =
                    RunCli(dir.Path(), "smart " + slot + (dec ? " --dec" : "") + " --json");
                EXPECT_EQ(run.Status, ok ? 0 : 1) << drive << "\n" << run.Err;
                EXPECT_EQ(JsonField(run.Out, TableAsGrid), GridLines(drive, dec)) << drive;
                EXPECT_EQ(JsonField(run.Out, "d['smart_status']['passed']"),
                          ok ? "True\n" : "False\n")
                    << drive;
            }
            // The model and the size against IDENTIFY read here: words 27-46
            // byte-swapped, blanks and controls trimmed; words 100-103 (or
            // 60-61) little-endian.
            const std::string identify = (test::PagesDir() / (drive + ".identify.bin")).string();
            EXPECT_EQ(JsonField(scan.Out,
                                "(lambda x, p: (x['model_name'] == bytes(p[54 + (i ^ 1)] for i in "
                                "range(40)).decode('latin-1').strip(''.join(map(chr, range(33)))), "
                                "x['user_capacity']['blocks'] "
                                "== (int.from_bytes(p[200:208], 'little') if p[167] & 4 else "
                                "int.from_bytes(p[120:124], 'little'))))(d['drives'][" +
                                    std::to_string(i) + "], open('" + identify + "', 'rb').read())"),
                      "(True, True)\n")
                << drive;
        }
    }
}

TEST(JsonRealDumps, HpaAndAamLevelsAsTheIdentifyWords) {
    test::DriveDir dir;
    // The hidden area: READ NATIVE MAX ADDRESS EXT answers the drive.ini
    // value; the user sectors are IDENTIFY words 100-103.
    dir.AddRealDrive(0, test::SamsungAamOff, "native-max = 976977967");
    dir.AddRealDrive(1, test::Samsung);
    dir.AddRealDrive(2, test::MaxtorApmOff);
    dir.AddRealDrive(3, test::HitachiNeither);
    const std::string identify =
        (test::PagesDir() / (std::string(test::SamsungAamOff) + ".identify.bin")).string();
    const CliRun scan = RunCli(dir.Path(), "scan --json");
    EXPECT_EQ(JsonField(scan.Out, "d['drives'][0]['hpa']['size_bytes'] == (976977967 + 1 - "
                                  "int.from_bytes(open('" +
                                      identify + "', 'rb').read()[200:208], 'little')) * 512, "
                                                 "d['drives'][0]['hpa']['size_mb'], "
                                                 "d['drives'][3]['hpa']"),
              "True 100 {'supported': False, 'size_bytes': None, 'size_mb': None}\n");
    // AAM: word 83 bit 9 supported, word 86 bit 9 enabled, word 94 current
    // level (low byte) and recommended (high byte).
    const std::string aam =
        "(lambda a, p, w=lambda p, n: p[2 * n] | p[2 * n + 1] << 8: (a['supported'] == bool(w(p, 83) & 0x200), a['enabled'] == bool(w(p, 86) & "
        "0x200), a['level'] == (w(p, 94) & 0xFF if a['supported'] else None), "
        "a['recommended_level'] == (w(p, 94) >> 8 if a['supported'] else None)))(d['ata_aam'], "
        "open('%s', 'rb').read())";
    const char* drives[] = {test::SamsungAamOff, test::Samsung, test::MaxtorApmOff,
                            test::HitachiNeither};
    for (int slot = 1; slot <= 4; ++slot) {
        const CliRun run = RunCli(dir.Path(), "aam " + std::to_string(slot) + " --json");
        EXPECT_EQ(run.Status, 0) << run.Err;
        std::string expression = aam;
        expression.replace(expression.find("%s"), 2,
                           (test::PagesDir() / (std::string(drives[slot - 1]) + ".identify.bin"))
                               .string());
        EXPECT_EQ(JsonField(run.Out, expression), "(True, True, True, True)\n") << drives[slot - 1];
    }
}

TEST(JsonRealDumps, NvmeHealthAsSmartctlPrintedIt) {
    const auto drives = NvmeDrives();
    ASSERT_EQ(drives.size(), 10u);
    // smartctl's values in expected.json beside ours, by name (temperatures
    // there in kelvin); the counters compared as Python integers, every digit.
    const std::string compare =
        "(lambda h, e: [k for k, ours, theirs in ["
        "('critical_warning', h['critical_warning'], e['critical_warning']),"
        "('temperature', h['temperature'], e['temperature_kelvin'] - 273),"
        "('current', d['temperature']['current'], e['temperature_kelvin'] - 273),"
        "('op_limit_max', d['temperature']['op_limit_max'], e['wctemp_kelvin'] - 273 if "
        "e.get('wctemp_kelvin') else None),"
        "('passed', d['smart_status']['passed'], e['critical_warning'] == 0),"
        "('sensors', [t for t in h['temperature_sensors'] if t is not None], [t - 273 for t in "
        "e.get('temperature_sensors_kelvin', [])]),"
        "('host_reads', h['host_reads'], e['host_read_commands']),"
        "('host_writes', h['host_writes'], e['host_write_commands'])] + [(k, h[k], e.get(k, 0)) "
        "for k in ['available_spare', 'available_spare_threshold', 'percentage_used', "
        "'data_units_read', 'data_units_written', 'controller_busy_time', 'power_cycles', "
        "'power_on_hours', 'unsafe_shutdowns', 'media_errors', 'num_err_log_entries', "
        "'warning_temp_time', 'critical_comp_time']] if ours != theirs])"
        "(d['nvme_smart_health_information_log'], json.load(open('%s')))";
    for (size_t first = 0; first < drives.size(); first += 6) {
        test::DriveDir dir;
        const size_t count = std::min<size_t>(6, drives.size() - first);
        for (size_t i = 0; i < count; ++i)
            dir.AddRealNvme(static_cast<unsigned>(i), drives[first + i]);
        EXPECT_EQ(RunCli(dir.Path(), "scan --json").Status, 0);
        for (size_t i = 0; i < count; ++i) {
            const std::string& drive = drives[first + i];
            const std::string slot = std::to_string(i + 1);
            const CliRun run = RunCli(dir.Path(), "smart " + slot + " --json");
            EXPECT_EQ(run.Status, 0) << drive << "\n" << run.Err;
            std::string expression = compare;
            expression.replace(expression.find("%s"), 2,
                               (test::DriveDir::NvmeDir() / drive / "expected.json").string());
            EXPECT_EQ(JsonField(run.Out, expression), "[]\n") << drive;
            // The error log has no pages here: a read_failed error document.
            const CliRun log = RunCli(dir.Path(), "log " + slot + " error --json");
            EXPECT_EQ(JsonField(log.Out, "d.get('error', {}).get('kind'), "
                                         "len(d.get('nvme_error_information_log', {}).get('table', []))"),
                      log.Status == 0 ? "None 0\n" : "read_failed 0\n")
                << drive << log.Out;
        }
    }
}

// The ATA logs, on a self-test log page written here by the layout drives
// use (21 entries of 24 bytes from byte 2, the newest at index byte 508,
// checksum byte 511): an extended test that failed reading LBA 0x12345 at
// 556 h after a short one that passed at 500 h; and the error log page left
// out, which reads as an empty log.
TEST(JsonRealDumps, AtaSelfTestLogAsItsPage) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    std::vector<uint8_t> page(512, 0);
    page[0] = 1;
    auto entry = [&](int n, uint8_t subcommand, uint8_t status, uint16_t hours, uint32_t lba) {
        uint8_t* e = &page[2 + 24 * static_cast<size_t>(n - 1)];
        e[0] = subcommand;
        e[1] = status;
        e[2] = hours & 0xFF;
        e[3] = hours >> 8;
        for (int i = 0; i < 4; ++i)
            e[5 + i] = static_cast<uint8_t>(lba >> (8 * i));
    };
    entry(1, 0x01, 0x00, 500, 0xFFFFFFFF);
    entry(2, 0x02, 0x73, 556, 0x12345);
    page[508] = 2;
    unsigned sum = 0;
    for (size_t i = 0; i < 511; ++i)
        sum += page[i];
    page[511] = static_cast<uint8_t>(-sum);
    dir.WriteBytes(0, "selftest-log.bin", page);
    CliRun run = RunCli(dir.Path(), "log 1 selftest --json");
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(JsonField(run.Out, "[(e['type']['value'], e['status']['value'], e['status']['passed'], "
                                 "e['status']['remaining_percent'], e['lifetime_hours'], e['lba']) "
                                 "for e in d['ata_smart_self_test_log']['standard']['table']]"),
              "[(2, 7, False, 30, 556, 74565), (1, 0, True, 0, 500, None)]\n");
    run = RunCli(dir.Path(), "log 1 error --json");
    EXPECT_EQ(JsonField(run.Out, "d['ata_smart_error_log']"), "{'summary': {'count': 0, 'table': []}}\n");
}

} // namespace
} // namespace quorvane
