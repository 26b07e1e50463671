// The Prometheus text of simulated drives made from real dumps, checked
// against an independent decoder's reading of the same pages (skdump, kept in
// tests/data/smart-pages) and against the IDENTIFY words.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <sstream>

#include "common/Exposition.h"
#include "common/TestDrives.h"
#include "app/Scan.h"
#include "ata/SimulatedBus.h"
#include "monitor/Metrics.h"
#include "monitor/SleepRule.h"

namespace quorvane {
namespace {

using test::ParseExposition;
using test::Sample;

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What skdump printed for a drive.
struct SkdumpAttribute {
    int Id, Value, Worst, Threshold; // -1: skdump prints n/a, for a byte of 0, 254 or 255
    std::string RawHex;              // 12 hex digits, the raw bytes in page order
    bool Prefail, Online;
};
struct Skdump {
    std::string Model, Serial, Firmware;
    bool HealthGood = false;
    std::vector<SkdumpAttribute> Attributes;
};

Skdump ReadSkdump(const std::string& name) {
    Skdump dump;
    std::istringstream in(ReadText(test::PagesDir() / (name + ".skdump.txt")));
    const std::regex field(R"(^(Model|Serial|Firmware): \[(.*)\]$)");
    const std::regex row(
        R"(^\s*(\d+)\s+\S+\s+(\d+|n/a)\s+(\d+|n/a)\s+(\d+)\s.*\s0x([0-9a-f]{12})\s+(prefail|old-age)\s+(online|offline)\s)");
    std::string line;
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_match(line, m, field)) {
            (m[1] == "Model" ? dump.Model : m[1] == "Serial" ? dump.Serial : dump.Firmware) = m[2];
        } else if (line.find("SMART Disk Health Good:") != std::string::npos) {
            dump.HealthGood = line.find(": yes") != std::string::npos;
        } else if (std::regex_search(line, m, row)) {
            auto number = [](const std::string& text) {
                return text == "n/a" ? -1 : std::stoi(text);
            };
            dump.Attributes.push_back({std::stoi(m[1]), number(m[2]), number(m[3]), std::stoi(m[4]),
                                       m[5], m[6] == "prefail", m[7] == "online"});
        }
    }
    return dump;
}

// The raw bytes skdump printed (page order) as one little-endian number.
uint64_t RawNumber(const std::string& hex) {
    uint64_t value = 0;
    for (int b = 5; b >= 0; --b)
        value = (value << 8) | std::stoul(hex.substr(static_cast<size_t>(2 * b), 2), nullptr, 16);
    return value;
}

// User-addressable sectors from IDENTIFY: words 100-103 with the 48-bit
// feature set (word 83 bit 10), else words 60-61.
uint64_t IdentifySectors(const std::vector<uint8_t>& page) {
    auto word = [&](int w) {
        return uint64_t{page[static_cast<size_t>(2 * w)]} |
               (uint64_t{page[static_cast<size_t>(2 * w + 1)]} << 8);
    };
    if (word(83) & (1u << 10))
        return word(100) | (word(101) << 16) | (word(102) << 32) | (word(103) << 48);
    return word(60) | (word(61) << 16);
}

const char* const kDumps[] = {
    "Biwintech_SSD_SX500",
    "FUJITSU_MHY2120BH--0084000D",
    "Hitachi_HDS721010CLA632",
    "IBM_IC25N020ATCS04-0",
    "INTEL_SSDSA2CW120G3--4PC10302",
    "MCCOE64GEMPP--2.9.09",
    "Maxtor_6Y120P0",
    "Maxtor_96147H8--BAC51KJ0--2",
    "SAMSUNG_HD501LJ--CR100-12",
    "SAMSUNG_HS122JC",
    "ST320410A--3.39",
    "ST9100821AS--3.CME",
    "ST9160821AS--3.CLH",
    "TOSHIBA_MK1651GSY--38IGT0G5T",
    "WDC_WD20EARS-00MVWB0",
};

// The dump's own verdict: smart-status.bin holds 1 when no threshold is exceeded.
std::string StatusIni(const std::string& name) {
    const auto status = test::PageOf(name, "smart-status");
    return status.size() == 4 && status[3] == 0 ? "status = exceeded" : "status = ok";
}

struct Exported {
    std::string Text;
    std::vector<Sample> Samples;
    const Sample* Find(const std::string& name,
                       const std::map<std::string, std::string>& labels) const {
        for (const auto& s : Samples) {
            if (s.Name != name)
                continue;
            bool all = true;
            for (const auto& [k, v] : labels)
                all = all && s.Labels.count(k) && s.Labels.at(k) == v;
            if (all)
                return &s;
        }
        return nullptr;
    }
    size_t Count(const std::string& name, const std::string& device) const {
        size_t n = 0;
        for (const auto& s : Samples)
            n += s.Name == name && s.Labels.count("device") && s.Labels.at("device") == device;
        return n;
    }
};

Exported Export(ProgramData& data, DriveBus& bus, bool scan = true, bool letDrivesSleep = false) {
    if (scan) {
        HeadlessScanView view;
        ScanDrives(data, bus, view, Settings{});
    }
    ReadDrivesOnce(data, bus, letDrivesSleep);
    Exported e;
    e.Text = FormatMetrics(data, 1700000000);
    e.Samples = ParseExposition(e.Text);
    return e;
}

TEST(Metrics, EveryValueOfRealDrivesAsAnIndependentDecoderReadsTheirPages) {
    // Drive numbers spread over the range, so device names other than sda show.
    const unsigned numbers[] = {0, 1, 4, 7, 9, 15};
    for (size_t first = 0; first < std::size(kDumps); first += std::size(numbers)) {
        test::DriveDir dir;
        std::vector<std::pair<std::string, unsigned>> drives;
        for (size_t k = 0; k < std::size(numbers) && first + k < std::size(kDumps); ++k) {
            dir.AddRealDrive(numbers[k], kDumps[first + k], StatusIni(kDumps[first + k]));
            drives.emplace_back(kDumps[first + k], numbers[k]);
        }
        SimulatedBus bus(dir.Path());
        ProgramData data;
        const Exported e = Export(data, bus);
        ASSERT_EQ(data.DriveCount, static_cast<int>(drives.size()));

        for (const auto& [name, number] : drives) {
            SCOPED_TRACE(name);
            const Skdump dump = ReadSkdump(name);
            ASSERT_FALSE(dump.Attributes.empty());
            const std::string dev = std::string("sd") + static_cast<char>('a' + number);

            const Sample* device = e.Find("smartctl_device", {{"device", dev}});
            ASSERT_NE(device, nullptr);
            EXPECT_EQ(device->Labels.at("model_name"), dump.Model);
            EXPECT_EQ(device->Labels.at("serial_number"), dump.Serial);
            EXPECT_EQ(device->Labels.at("firmware_version"), dump.Firmware);
            EXPECT_EQ(device->Labels.size(), 4u);
            EXPECT_EQ(device->Value, "1");

            const Sample* capacity = e.Find("smartctl_device_capacity_bytes", {{"device", dev}});
            ASSERT_NE(capacity, nullptr);
            EXPECT_EQ(capacity->Value,
                      std::to_string(IdentifySectors(test::PageOf(name, "identify")) * 512));

            const Sample* status = e.Find("smartctl_device_smart_status", {{"device", dev}});
            ASSERT_NE(status, nullptr);
            EXPECT_EQ(status->Value, dump.HealthGood ? "1" : "0");

            // Every attribute skdump lists, four samples each, and no other.
            EXPECT_EQ(e.Count("smartctl_device_attribute", dev), 4 * dump.Attributes.size());
            for (const auto& a : dump.Attributes) {
                SCOPED_TRACE(a.Id);
                const std::map<std::string, std::string> key = {
                    {"device", dev}, {"attribute_id", std::to_string(a.Id)}};
                const std::pair<const char*, std::string> values[] = {
                    {"value", std::to_string(a.Value)},
                    {"worst", std::to_string(a.Worst)},
                    {"thresh", std::to_string(a.Threshold)},
                    {"raw", std::to_string(RawNumber(a.RawHex))},
                };
                for (const auto& [type, value] : values) {
                    auto labels = key;
                    labels["attribute_value_type"] = type;
                    const Sample* s = e.Find("smartctl_device_attribute", labels);
                    ASSERT_NE(s, nullptr) << type;
                    if (value == "-1")
                        EXPECT_TRUE(s->Value == "0" || s->Value == "254" || s->Value == "255")
                            << type << " " << s->Value;
                    else
                        EXPECT_EQ(s->Value, value) << type;
                    // F and O are the pre-failure and on-line bits skdump shows.
                    const std::string& flags = s->Labels.at("attribute_flags_short");
                    ASSERT_EQ(flags.size(), 6u);
                    EXPECT_EQ(flags[5] == 'F', a.Prefail);
                    EXPECT_EQ(flags[4] == 'O', a.Online);
                }
                if (a.Id == 194 || a.Id == 190) {
                    const Sample* t =
                        e.Find("smartctl_device_temperature",
                               {{"device", dev},
                                {"temperature_type", a.Id == 194 ? "current" : "airflow"}});
                    ASSERT_NE(t, nullptr);
                    EXPECT_EQ(t->Value,
                              std::to_string(std::stoul(a.RawHex.substr(0, 2), nullptr, 16)));
                }
            }
            EXPECT_EQ(e.Find("quorvane_device_power_mode", {{"device", dev}})->Value, "2");
            EXPECT_EQ(e.Find("quorvane_read_failures_total", {{"device", dev}})->Value, "0");
        }
        EXPECT_EQ(e.Find("quorvane_last_tick_timestamp_seconds", {})->Value, "1700000000");
    }
}

TEST(Metrics, NamesComeFromTheNameTableAndUnknownIdsKeepTheirNumber) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "Hitachi_HDS721010CLA632");
    dir.AddRealDrive(1, "FUJITSU_MHY2120BH--0084000D");
    SimulatedBus bus(dir.Path());
    ProgramData data;
    const Exported e = Export(data, bus);
    auto name = [&](const char* dev, const char* id) {
        const Sample* s =
            e.Find("smartctl_device_attribute", {{"device", dev}, {"attribute_id", id}});
        return s ? s->Labels.at("attribute_name") : std::string("(none)");
    };
    EXPECT_EQ(name("sda", "5"), "Reallocated Sector Count");
    EXPECT_EQ(name("sda", "194"), "Temperature");
    EXPECT_EQ(name("sda", "183"), "183");
    EXPECT_EQ(name("sda", "185"), "185");
    // The Fujitsu places 203 and 240 behind an empty slot: the grid never
    // finds them, the metrics still carry them.
    EXPECT_EQ(name("sdb", "240"), "Head Flying Hours");
    EXPECT_EQ(name("sdb", "203"), "203");
}

// Writes text as an ATA string into IDENTIFY words first.. (high byte first).
void PutAtaString(std::vector<uint8_t>& page, int firstWord, int words, std::string text) {
    text.resize(static_cast<size_t>(words) * 2, ' ');
    for (int i = 0; i < words; ++i) {
        const auto at = static_cast<size_t>(2 * (firstWord + i));
        page[at] = static_cast<uint8_t>(text[static_cast<size_t>(2 * i + 1)]);
        page[at + 1] = static_cast<uint8_t>(text[static_cast<size_t>(2 * i)]);
    }
}

TEST(Metrics, LabelValuesAreEscapedAndUtf8) {
    EXPECT_EQ(MetricLabelValue("a\"b\\c\nd\x1B"), "a\\\"b\\\\c?d?");
    EXPECT_EQ(MetricLabelValue("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(MetricLabelValue("\xFF"), "\xC3\xBF");
    EXPECT_EQ(MetricLabelValue("\x85"), "?"); // C1: a command to some terminals

    test::DriveDir dir;
    dir.AddRealDrive(2, "ST9160821AS--3.CLH");
    auto identify = test::PageOf("ST9160821AS--3.CLH", "identify");
    PutAtaString(identify, 27, 20, "Disk \"7\" a\\b\nx\xE9");
    dir.WriteBytes(2, "identify.bin", identify);
    SimulatedBus bus(dir.Path());
    ProgramData data;
    const Exported e = Export(data, bus);
    EXPECT_NE(e.Text.find(
                  "smartctl_device{device=\"sdc\",model_name=\"Disk \\\"7\\\" a\\\\b?x\xC3\xA9\","),
              std::string::npos)
        << e.Text;
    // Every sample stays one line: the model's line feed became '?'.
    const Sample* device = e.Find("smartctl_device", {{"device", "sdc"}});
    ASSERT_NE(device, nullptr);
    EXPECT_EQ(device->Labels.at("model_name"), "Disk \"7\" a\\b?x\xC3\xA9");
}

TEST(Metrics, EveryFamilyHasHelpAndTypeOnceBeforeItsSamples) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    dir.AddRealDrive(1, "Hitachi_HDS721010CLA632");
    SimulatedBus bus(dir.Path());
    ProgramData data;
    const Exported e = Export(data, bus);
    std::istringstream in(e.Text);
    std::string line, family;
    std::set<std::string> done;
    while (std::getline(in, line)) {
        std::smatch m;
        if (std::regex_match(line, m, std::regex(R"(# HELP (\w+) .+)"))) {
            EXPECT_TRUE(done.insert(m[1]).second) << "second HELP of " << m[1];
            family = m[1];
            ASSERT_TRUE(std::getline(in, line));
            EXPECT_TRUE(line == "# TYPE " + family + " gauge" ||
                        line == "# TYPE " + family + " counter")
                << line;
        } else {
            ASSERT_FALSE(line.empty() || line[0] == '#') << line;
            EXPECT_EQ(line.substr(0, line.find_first_of("{ ")), family) << line;
        }
    }
    EXPECT_EQ(done, (std::set<std::string>{
                        "smartctl_device", "smartctl_device_capacity_bytes",
                        "smartctl_device_smart_status", "smartctl_device_temperature",
                        "smartctl_device_attribute", "smartctl_device_self_test_log_count",
                        "smartctl_device_self_test_log_error_count",
                        "smartctl_device_error_log_count", "quorvane_device_self_test_in_progress",
                        "quorvane_device_power_mode", "quorvane_read_failures_total",
                        "quorvane_last_tick_timestamp_seconds"}));
}

TEST(Metrics, FailedReadsCountAndASleepingDriveKeepsItsLastValues) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH", "abort = smart-read-thresholds");
    dir.AddRealDrive(1, "Hitachi_HDS721010CLA632");
    dir.AddRealDrive(2, "SAMSUNG_HD501LJ--CR100-12");
    SimulatedBus bus(dir.Path());
    ProgramData data;
    HeadlessScanView view;
    ScanDrives(data, bus, view, Settings{});
    // The scan's own SMART commands spin a drive up; this one went down after.
    dir.WriteFile(2, "drive.ini", "[drive]\npower = standby\n");
    Exported e = Export(data, bus, false, true);
    e = Export(data, bus, false, true);
    EXPECT_EQ(e.Find("quorvane_read_failures_total", {{"device", "sda"}})->Value, "2");
    // The threshold page never came: no attribute values at all for sda.
    EXPECT_EQ(e.Count("smartctl_device_attribute", "sda"), 0u);
    EXPECT_EQ(e.Count("smartctl_device_temperature", "sda"), 0u);
    // Never read while it slept: identity and power mode only.
    EXPECT_EQ(e.Find("quorvane_device_power_mode", {{"device", "sdc"}})->Value, "0");
    EXPECT_EQ(e.Count("smartctl_device_attribute", "sdc"), 0u);
    EXPECT_EQ(e.Count("smartctl_device_smart_status", "sdc"), 0u);
    EXPECT_NE(e.Find("smartctl_device", {{"device", "sdc"}}), nullptr);

    // sdb goes to standby: its next round sends only CHECK POWER MODE and the
    // metrics keep what the last read found.
    const Exported before = e;
    dir.WriteFile(1, "drive.ini", "[drive]\npower = standby\n");
    const size_t sent = bus.SentCommands().size();
    e = Export(data, bus, false, true);
    std::vector<uint8_t> toSdb;
    for (size_t i = sent; i < bus.SentCommands().size(); ++i)
        if (bus.SentCommands()[i].DriveNumber == 1)
            toSdb.push_back(bus.SentCommands()[i].TaskFile.Command);
    EXPECT_EQ(toSdb, std::vector<uint8_t>{0xE5});
    EXPECT_EQ(e.Find("quorvane_device_power_mode", {{"device", "sdb"}})->Value, "0");
    EXPECT_EQ(e.Count("smartctl_device_attribute", "sdb"), 4 * 24u);
    for (const auto& s : before.Samples) {
        if (s.Name == "smartctl_device_attribute" && s.Labels.at("device") == "sdb") {
            EXPECT_EQ(e.Find(s.Name, s.Labels)->Value, s.Value);
        }
    }
    // Without the rule the drive is read (and spun up) as before.
    e = Export(data, bus, false, false);
    EXPECT_EQ(e.Find("quorvane_device_power_mode", {{"device", "sdb"}})->Value, "0");
    EXPECT_EQ(CheckPowerMode(bus, 1), PowerMode::Active);
}

TEST(Metrics, ADriveWithoutSmartHasItsIdentityOnly) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    ProgramData data;
    SimulatedBus bus(dir.Path());
    HeadlessScanView view;
    ScanDrives(data, bus, view, Settings{});
    ASSERT_EQ(data.DriveCount, 1);
    data.Drives[1].SMARTEnabled = false;
    ReadDrivesOnce(data, bus, false);
    const auto samples = ParseExposition(FormatMetrics(data));
    std::set<std::string> names;
    for (const auto& s : samples)
        names.insert(s.Name);
    EXPECT_EQ(names, (std::set<std::string>{"smartctl_device", "smartctl_device_capacity_bytes",
                                            "quorvane_read_failures_total"}));
    EXPECT_EQ(KernelDriveName(0), "sda");
    EXPECT_EQ(KernelDriveName(15), "sdp");
}

} // namespace
} // namespace quorvane
