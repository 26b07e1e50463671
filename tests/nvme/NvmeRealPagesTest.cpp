// The NVMe decoders on the pages of real drives (tests/data/nvme), against
// the values smartctl printed for them, and on the answers no drive should
// give.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/TestDrives.h"
#include "nvme/NvmeHealth.h"
#include "nvme/NvmeIdentify.h"
#include "smart/NvmeHealthGrid.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// The flat expected.json of a drive: numbers and strings as their text,
// lists as their numbers joined by commas.
std::map<std::string, std::string> ReadExpected(const fs::path& path) {
    std::ifstream in(path);
    std::stringstream all;
    all << in.rdbuf();
    const std::string text = all.str();
    std::map<std::string, std::string> values;
    size_t at = 0;
    while ((at = text.find('"', at)) != std::string::npos) {
        const size_t keyEnd = text.find('"', at + 1);
        const std::string key = text.substr(at + 1, keyEnd - at - 1);
        size_t v = text.find_first_not_of(" \n:", keyEnd + 1);
        std::string value;
        if (text[v] == '"') {
            const size_t end = text.find('"', v + 1);
            value = text.substr(v + 1, end - v - 1);
            at = end + 1;
        } else if (text[v] == '[') {
            const size_t end = text.find(']', v);
            for (char c : text.substr(v + 1, end - v - 1))
                if (!std::isspace(static_cast<unsigned char>(c)))
                    value += c;
            at = end + 1;
        } else if (text[v] == '{') {
            at = v + 1; // a nested object: its keys are read as the top's
            continue;
        } else {
            const size_t end = text.find_first_of(",}\n", v);
            value = text.substr(v, end - v);
            at = end;
        }
        values[key] = value;
    }
    return values;
}

std::string RowValue(const SmartGridModel& grid, const std::string& name) {
    for (const auto& row : grid.Rows)
        if (row[SmartColName] == name)
            return row[SmartColRaw];
    return "(no row " + name + ")";
}

TEST(NvmeRealPages, DecodeAsSmartctlPrintedThem) {
    int drives = 0;
    for (const auto& entry : fs::directory_iterator(test::DriveDir::NvmeDir())) {
        if (!fs::exists(entry.path() / "expected.json"))
            continue;
        ++drives;
        SCOPED_TRACE(entry.path().filename().string());
        auto e = ReadExpected(entry.path() / "expected.json");
        const auto log = DecodeNvmeHealth(test::ReadBytes(entry.path() / "smart-log.bin"));
        const auto id = DecodeNvmeController(test::ReadBytes(entry.path() / "identify-ctrl.bin"));
        const auto ns = DecodeNvmeNamespace(test::ReadBytes(entry.path() / "identify-ns.bin"));
        ASSERT_TRUE(log && id && ns);

        const std::pair<const char*, Uint128> counters[] = {
            {"critical_warning", log->CriticalWarning},
            {"temperature_kelvin", log->CompositeTemperatureK},
            {"available_spare", log->AvailableSpare},
            {"available_spare_threshold", log->SpareThreshold},
            {"percentage_used", log->PercentageUsed},
            {"data_units_read", log->DataUnitsRead},
            {"data_units_written", log->DataUnitsWritten},
            {"host_read_commands", log->HostReadCommands},
            {"host_write_commands", log->HostWriteCommands},
            {"controller_busy_time", log->ControllerBusyTime},
            {"power_cycles", log->PowerCycles},
            {"power_on_hours", log->PowerOnHours},
            {"unsafe_shutdowns", log->UnsafeShutdowns},
            {"media_errors", log->MediaErrors},
            {"num_err_log_entries", log->ErrorLogEntries},
            {"warning_temp_time", log->WarningTemperatureTime},
            {"critical_comp_time", log->CriticalTemperatureTime},
            {"thm_temp1_trans_count", log->Tmt1Transitions},
            {"thm_temp1_total_time", log->Tmt1Seconds},
            {"thm_temp2_trans_count", log->Tmt2Transitions},
            {"thm_temp2_total_time", log->Tmt2Seconds},
            {"pci_vendor", id->PciVendor},
            {"oacs", id->Oacs},
            {"wctemp_kelvin", id->WarningTemperatureK},
            {"cctemp_kelvin", id->CriticalTemperatureK},
            {"total_capacity_bytes", id->TotalCapacity},
            {"namespace_size_blocks", ns->SizeBlocks},
            {"namespace_capacity_blocks", ns->CapacityBlocks},
            {"lba_size", ns->LbaSize},
        };
        for (const auto& [key, value] : counters)
            if (e.count(key)) {
                EXPECT_EQ(Uint128Decimal(value), e[key]) << key;
            }
        EXPECT_EQ(id->ModelNumber, e["model"]);
        EXPECT_EQ(id->SerialNumber, e["serial"]);
        EXPECT_EQ(id->FirmwareRevision, e["firmware"]);
        if (e.count("version_text") && e["version"] != "0") {
            EXPECT_EQ(NvmeVersionText(id->Version), e["version_text"]);
        }
        if (e.count("lpa") && e["lpa"] != "0") {
            EXPECT_EQ(std::to_string(id->Lpa), e["lpa"]);
        }

        // The sensors the drive reports, in order, from the kelvin list.
        std::string sensors;
        for (uint16_t k : log->SensorK)
            if (k != 0)
                sensors += (sensors.empty() ? "" : ",") + std::to_string(k);
        EXPECT_EQ(sensors, e["temperature_sensors_kelvin"]);

        // What the grid shows in decimal is the same count.
        const SmartGridModel grid = NvmeHealthGrid(*log, &*id, RawValueFormat::Dec);
        EXPECT_EQ(RowValue(grid, "Power On Hours"), e["power_on_hours"] + " h");
        EXPECT_EQ(RowValue(grid, "Unsafe Shutdowns"), e["unsafe_shutdowns"]);
        EXPECT_EQ(RowValue(grid, "Data Units Read").rfind(e["data_units_read"] + " [", 0), 0u);
        EXPECT_EQ(RowValue(grid, "Composite Temperature"),
                  std::to_string(std::stoi(e["temperature_kelvin"]) - 273) + " \xB0" "C");
        // A drive that is worn out or short of spare says so even when it has
        // raised no warning bit.
        const auto concerns = NvmeHealthConcerns(*log);
        EXPECT_EQ(concerns.empty(), log->CriticalWarning == 0 && log->PercentageUsed < 100 &&
                                        log->AvailableSpare >= log->SpareThreshold);
    }
    EXPECT_GE(drives, 8);
}

// Pages no sound controller gives: each decodes to a clear value.
TEST(NvmeBadAnswers, GiveClearValuesNeverWrongNumbers) {
    const auto sample = test::DriveDir::NvmeDir() / "Samsung_SSD_970_EVO_Plus_1TB--4B2QEXM7";
    std::vector<uint8_t> page = test::ReadBytes(sample / "smart-log.bin");
    ASSERT_EQ(page.size(), 512u);

    // A log shorter than asked is no log; so is a short Identify.
    EXPECT_FALSE(DecodeNvmeHealth(std::span(page).first(511)));
    EXPECT_FALSE(DecodeNvmeController(std::vector<uint8_t>(4095)));
    // An inactive namespace answers zeros.
    EXPECT_FALSE(DecodeNvmeNamespace(std::vector<uint8_t>(4096)));

    for (const uint16_t kelvin : {0, 65535}) {
        page[1] = static_cast<uint8_t>(kelvin);
        page[2] = static_cast<uint8_t>(kelvin >> 8);
        const auto log = DecodeNvmeHealth(page);
        EXPECT_FALSE(NvmeCelsius(log->CompositeTemperatureK)) << kelvin;
        EXPECT_EQ(NvmeTemperatureCaptions(*log).HDDTempL, "...") << kelvin;
        EXPECT_EQ(RowValue(NvmeHealthGrid(*log, nullptr, RawValueFormat::Dec),
                           "Composite Temperature"),
                  "...");
    }

    // A 128-bit counter past 2^64 keeps every digit.
    std::fill(page.begin() + 128, page.begin() + 144, 0);
    page[128 + 8] = 1; // power-on hours = 2^64
    const auto log = DecodeNvmeHealth(page);
    EXPECT_EQ(RowValue(NvmeHealthGrid(*log, nullptr, RawValueFormat::Dec), "Power On Hours"),
              "18446744073709551616 h");
    EXPECT_EQ(RowValue(NvmeHealthGrid(*log, nullptr, RawValueFormat::Hex), "Power On Hours"),
              "10000000000000000h h");

    // Every warning bit has its name; the reserved ones are not taken for any.
    EXPECT_EQ(NvmeCriticalWarningNames(0x3F).size(), 6u);
    EXPECT_EQ(NvmeCriticalWarningNames(0xC0),
              std::vector<std::string>{"reserved warning bits set"});

    // QEMU's spare of 0 % with a 0 % threshold is no concern; 9 below 10 is.
    page[3] = 0;
    page[4] = 0;
    EXPECT_TRUE(NvmeHealthConcerns(*DecodeNvmeHealth(page)).empty());
    page[3] = 9;
    page[4] = 10;
    EXPECT_EQ(NvmeHealthConcerns(*DecodeNvmeHealth(page)),
              std::vector<std::string>{"available spare 9 % below its threshold of 10 %"});
}

TEST(NvmeErrorLog, EntriesDecodeAndEmptyOnesAreLeftOut) {
    std::vector<uint8_t> log(3 * 64 + 10); // three entries and a cut-off tail
    auto put = [&](size_t at, uint64_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            log[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
    };
    put(0, 7, 8);              // error count
    put(8, 1, 2);              // queue
    put(10, 0x12, 2);          // command id
    put(12, 0x281 << 1 | 1, 2); // status with the phase tag
    put(16, 123456, 8);        // LBA
    put(24, 1, 4);             // namespace
    put(2 * 64, 3, 8);         // entry 3: count 3, the rest zero; entry 2 is empty
    const auto entries = DecodeNvmeErrorLog(log);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(NvmeErrorEntryText(entries[0]),
              "error 7: queue 1, command 0x0012, Unrecovered Read Error (0x281), LBA 123456, "
              "namespace 1");
    EXPECT_EQ(NvmeErrorEntryText(entries[1]),
              "error 3: queue 0, command 0x0000, Successful Completion (0x000)");
}

} // namespace
} // namespace quorvane
