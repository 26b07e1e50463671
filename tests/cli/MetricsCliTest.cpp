// quorvane-cli metrics as node_exporter's textfile collector and Prometheus's
// own checker take it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>

#include "common/Exposition.h"
#include "common/NodeExporter.h"
#include "common/RunCli.h"
#include "common/TestDrives.h"

namespace quorvane {
namespace {

using test::Sample;

// Writes text as an ATA string into IDENTIFY words first.. (high byte first).
void PutAtaString(std::vector<uint8_t>& page, int firstWord, int words, std::string text) {
    text.resize(static_cast<size_t>(words) * 2, ' ');
    for (int i = 0; i < words; ++i) {
        const auto at = static_cast<size_t>(2 * (firstWord + i));
        page[at] = static_cast<uint8_t>(text[static_cast<size_t>(2 * i + 1)]);
        page[at + 1] = static_cast<uint8_t>(text[static_cast<size_t>(2 * i)]);
    }
}

// Three real drives, one of them failing, and one whose model needs escapes.
void AddDrives(test::DriveDir& dir) {
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    dir.AddRealDrive(1, "WDC_WD20EARS-00MVWB0", "status = exceeded");
    dir.AddRealDrive(4, "Hitachi_HDS721010CLA632", "abort = smart-read-thresholds");
    dir.AddRealDrive(6, "SAMSUNG_HD501LJ--CR100-12");
    auto identify = test::PageOf("SAMSUNG_HD501LJ--CR100-12", "identify");
    PutAtaString(identify, 27, 20, "Q \"7\" a\\b\nx\xE9");
    dir.WriteBytes(6, "identify.bin", identify);
}

struct ShellRun {
    int Status;
    std::string Output;
};
ShellRun Shell(const std::string& command) {
    ShellRun run{-1, {}};
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return run;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        run.Output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

class MetricsCli : public ::testing::Test {
protected:
    void SetUp() override {
        AddDrives(drives_);
        folder_ = std::filesystem::path(drives_.Path()).parent_path() /
                  (std::filesystem::path(drives_.Path()).filename().string() + "-textfile");
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    test::CliRun Metrics() {
        return test::RunCli(drives_.Path(),
                            "--settings '" + (folder_ / "none.ini").string() + "' metrics");
    }
    test::DriveDir drives_;
    std::filesystem::path folder_;
};

TEST_F(MetricsCli, PrintsExpositionThatPromtoolAccepts) {
    const test::CliRun run = Metrics();
    ASSERT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out.rfind("# Running on simulated drives in " + drives_.Path(), 0), 0u);
    const auto file = folder_ / "quorvane.prom";
    std::ofstream(file, std::ios::binary) << run.Out;
    // smartctl_exporter's names of the log counts end in _count, which
    // promtool's lint keeps for histograms: that, and nothing else, it may say.
    const ShellRun check =
        Shell("promtool check metrics < '" + file.string() + "' | grep -v "
              "'^smartctl_device_\\(self_test_log\\|self_test_log_error\\|error_log\\)_count "
              "non-histogram and non-summary metrics should not have \"_count\" suffix$'");
    EXPECT_EQ(check.Output, "");

    // promtool does find faults: the same text with one family's TYPE line
    // repeated is refused.
    std::string broken = run.Out;
    const std::string type = "# TYPE smartctl_device gauge\n";
    broken.insert(broken.find("smartctl_device_capacity_bytes{"), type);
    std::ofstream(file, std::ios::binary) << broken;
    EXPECT_NE(Shell("promtool check metrics < '" + file.string() + "'").Status, 0);
}

TEST_F(MetricsCli, NodeExporterServesEverySample) {
    const test::CliRun run = Metrics();
    ASSERT_EQ(run.Status, 0) << run.Err;
    std::ofstream(folder_ / "quorvane.prom", std::ios::binary) << run.Out;

    test::NodeExporter exporter(folder_.string());
    ASSERT_NE(exporter.Port(), 0) << "node_exporter did not start";
    const std::string scraped = exporter.Scrape();
    const auto served = test::ParseExposition(scraped);
    auto find = [&](const Sample& wanted) -> const Sample* {
        for (const auto& s : served)
            if (s.Name == wanted.Name && s.Labels == wanted.Labels)
                return &s;
        return nullptr;
    };
    // The collector read the file without complaint.
    const Sample* error = find({"node_textfile_scrape_error", {}, ""});
    ASSERT_NE(error, nullptr) << scraped;
    EXPECT_EQ(error->Value, "0");

    const auto ours = test::ParseExposition(run.Out);
    ASSERT_GT(ours.size(), 250u);
    for (const auto& sample : ours) {
        const Sample* got = find(sample);
        ASSERT_NE(got, nullptr) << sample.Name;
        // node_exporter prints every value as a float: 1.60041885696e+11.
        EXPECT_EQ(std::stod(got->Value), std::stod(sample.Value)) << sample.Name;
    }
    // The escaped model came through as the drive's text.
    Sample model{"smartctl_device",
                 {{"device", "sdg"},
                  {"model_name", "Q \"7\" a\\b?x\xC3\xA9"},
                  {"serial_number", "S0MUJ1NQ110060"},
                  {"firmware_version", "CR100-12"}},
                 "1"};
    EXPECT_NE(find(model), nullptr);
}

} // namespace
} // namespace quorvane
