// quorvane-cli watch as a service runs it: the per-tick lines, the end by
// count and by signal, drives left asleep and the metrics file it rewrites.
#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <thread>

#include "common/RunCli.h"
#include "common/TestDrives.h"
#include "common/WatchProcess.h"

namespace quorvane {
namespace {

constexpr const char* Seagate = "ST9160821AS--3.CLH";          // 38 C
constexpr const char* WesternDigital = "WDC_WD20EARS-00MVWB0"; // 44 C

// Lowers attribute id's value on the drive's data page to 1, below any
// non-zero threshold.
void FailAttribute(test::DriveDir& dir, unsigned n, const std::string& name, uint8_t id) {
    auto page = test::PageOf(name, "smart-data");
    for (size_t at = 2; at + 12 <= 2 + 30 * 12; at += 12)
        if (page[at] == id)
            page[at + 3] = 1;
    dir.WriteBytes(n, "smart-data.bin", page);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// drive.ini with a file time that moves on, so the running bus reads it again.
void SetIni(test::DriveDir& dir, unsigned n, const std::string& ini) {
    const auto path = dir.Folder(n) / "drive.ini";
    std::error_code ec;
    const auto before = std::filesystem::last_write_time(path, ec);
    dir.WriteFile(n, "drive.ini", "[drive]\n" + ini + "\n");
    if (!ec)
        std::filesystem::last_write_time(path, before + std::chrono::seconds(2));
}

class WatchCli : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = drives_.Path() + "-watch";
        std::filesystem::create_directories(folder_);
        Settings("");
    }
    void TearDown() override {
        std::error_code ec;
        std::filesystem::remove_all(folder_, ec);
    }
    void Settings(const std::string& keys) {
        std::ofstream(SettingsFile()) << "[Settings]\n" << keys;
    }
    std::string SettingsFile() const { return folder_ + "/settings.ini"; }
    std::vector<std::string> Args(const std::vector<std::string>& more) const {
        std::vector<std::string> args = {"--drives", drives_.Path(), "--settings", SettingsFile(),
                                         "watch"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }
    test::CliRun Run(const std::string& more) {
        return test::RunCli(drives_.Path(), "--settings '" + SettingsFile() + "' watch " + more);
    }

    test::DriveDir drives_;
    std::string folder_;
};

TEST_F(WatchCli, PrintsOneLinePerDrivePerTickWithFailingAttributesAndEndsAfterCount) {
    drives_.AddRealDrive(0, Seagate);
    drives_.AddRealDrive(1, WesternDigital, "status = exceeded");
    // Its own pages already show 5 below its threshold; 1 joins it.
    FailAttribute(drives_, 1, WesternDigital, 1);
    const test::CliRun run = Run("--count 2 --interval 1 --no-mail");
    ASSERT_EQ(run.Status, 0) << run.Err;
    const auto lines = Lines(run.Out);
    // The simulated-drives line, then two ticks of two lines.
    ASSERT_EQ(lines.size(), 5u) << run.Out;
    for (size_t tick : {1u, 3u}) {
        EXPECT_EQ(lines[tick], "1  ST9160821AS  38 C  O.K.");
        EXPECT_EQ(
            lines[tick + 1],
            "2  WDC WD20EARS-00MVWB0  44 C  ERROR  Raw Read Error Rate, Reallocated Sector Count");
    }
}

TEST_F(WatchCli, BadArgumentsExitWithTwo) {
    drives_.AddRealDrive(0, Seagate);
    for (const char* args : {"--interval 0", "--interval 901", "--interval x", "--count 0",
                             "--count -1", "--metrics", "--bogus", "--interval"}) {
        const test::CliRun run = Run(args);
        EXPECT_EQ(run.Status, 2) << args;
        EXPECT_TRUE(run.Out.empty()) << args;
        EXPECT_NE(run.Err.find("watch"), std::string::npos) << args << ": " << run.Err;
    }
}

TEST_F(WatchCli, SigtermAndSigintEndItAtOnceWithStatusZero) {
    drives_.AddRealDrive(0, Seagate);
    for (int signal : {SIGTERM, SIGINT}) {
        // The settings' interval: 900 s, so only the signal can end it in time.
        Settings("Refresh Interval=900\n");
        test::WatchProcess watch(Args({}), folder_);
        ASSERT_TRUE(watch.Started());
        ASSERT_TRUE(watch.WaitForLines(2)) << watch.Out() << watch.Err();
        watch.Signal(signal);
        EXPECT_EQ(watch.Wait(std::chrono::seconds(5)), 0) << signal << ": " << watch.Err();
        EXPECT_EQ(Lines(watch.Out()).size(), 2u) << watch.Out();
    }
}

TEST_F(WatchCli, SigtermEndsItSoonWhileItsMetricsFifoTakesNothing) {
    drives_.AddRealDrive(0, Seagate);
    Settings("Refresh Interval=900\n");
    const std::string fifo = folder_ + "/quorvane.prom";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (bool reader : {false, true}) {
        SCOPED_TRACE(reader ? "a reader that never reads" : "no reader");
        // The reader's pipe is full before watch writes, so watch finds no room.
        const int end = reader ? ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC) : -1;
        if (reader) {
            ASSERT_GE(end, 0);
            const int filler = ::open(fifo.c_str(), O_WRONLY | O_NONBLOCK);
            ASSERT_GE(filler, 0);
            const std::string block(4096, 'x');
            while (::write(filler, block.data(), block.size()) > 0) {
            }
            ::close(filler);
        }
        test::WatchProcess watch(Args({"--metrics", fifo, "--no-mail"}), folder_);
        ASSERT_TRUE(watch.Started());
        ASSERT_TRUE(watch.WaitForLines(2)) << watch.Out() << watch.Err();
        const auto start = std::chrono::steady_clock::now();
        watch.Signal(SIGTERM);
        // Bounded well above the write's own limit: it either ends or hangs.
        EXPECT_EQ(watch.Wait(std::chrono::seconds(5)), 0) << watch.Err();
        std::printf(
            "[          ] ended %.3f s after SIGTERM\n",
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        EXPECT_NE(watch.Err().find("could not write " + fifo + ": "), std::string::npos)
            << watch.Err();
        if (end >= 0)
            ::close(end);
    }
}

TEST_F(WatchCli, DriveInStandbyIsLeftUnreadShowsZzKeepsItsMetricsAndIsReadWhenActive) {
    drives_.AddRealDrive(0, WesternDigital, "status = exceeded");
    drives_.AddRealDrive(1, Seagate, "log = commands.log");
    Settings("Let Drives Sleep=1\n");
    const std::string metrics = folder_ + "/quorvane.prom";
    test::WatchProcess watch(Args({"--interval", "1", "--metrics", metrics}), folder_);
    ASSERT_TRUE(watch.Started());
    ASSERT_TRUE(watch.WaitForLines(3)) << watch.Err();
    EXPECT_EQ(Lines(watch.Out())[2], "2  ST9160821AS  38 C  O.K.");

    SetIni(drives_, 1, "log = commands.log\npower = standby");
    const auto sleeping = [&] {
        int zz = 0;
        for (const auto& line : Lines(watch.Out()))
            zz += line == "2  ST9160821AS  zz  sleeping";
        return zz;
    };
    const auto waitForSleeping = [&](int ticks) {
        for (size_t lines = Lines(watch.Out()).size() + 2; sleeping() < ticks && lines < 40;
             lines += 2)
            if (!watch.WaitForLines(lines))
                return false;
        return sleeping() >= ticks;
    };
    ASSERT_TRUE(waitForSleeping(1)) << watch.Out();
    // From the first "zz" on, the drive hears nothing but CHECK POWER MODE
    // (any read would also spin it up, and the next tick would find it active).
    const size_t logBefore = test::ReadBytes(drives_.Folder(1) / "commands.log").size();
    ASSERT_TRUE(waitForSleeping(3)) << watch.Out();
    const auto log = test::ReadBytes(drives_.Folder(1) / "commands.log");
    ASSERT_GT(log.size(), logBefore);
    const std::string asleepLog(log.begin() + static_cast<std::ptrdiff_t>(logBefore), log.end());
    const auto heard = Lines(asleepLog);
    EXPECT_GE(heard.size(), 2u) << asleepLog;
    for (const auto& command : heard)
        EXPECT_EQ(command, "check-power-mode");
    EXPECT_NE(Lines(watch.Out()).back(), "2  ST9160821AS  38 C  O.K.");
    const auto bytes = test::ReadBytes(metrics);
    const std::string asleep(bytes.begin(), bytes.end());
    EXPECT_NE(asleep.find("quorvane_device_power_mode{device=\"sdb\"} 0"), std::string::npos)
        << asleep;
    EXPECT_NE(
        asleep.find("smartctl_device_temperature{device=\"sdb\",temperature_type=\"current\"} 38"),
        std::string::npos)
        << asleep;

    SetIni(drives_, 1, "log = commands.log\npower = active");
    const size_t before = Lines(watch.Out()).size();
    bool readAgain = false;
    for (size_t lines = before + 2; !readAgain && lines <= before + 8; lines += 2) {
        ASSERT_TRUE(watch.WaitForLines(lines)) << watch.Out();
        readAgain = Lines(watch.Out()).back() == "2  ST9160821AS  38 C  O.K.";
    }
    EXPECT_TRUE(readAgain) << watch.Out();
    watch.Signal(SIGTERM);
    EXPECT_EQ(watch.Wait(std::chrono::seconds(5)), 0);
}

TEST_F(WatchCli, MetricsFileIsNeverSeenHalfWritten) {
    drives_.AddRealDrive(0, Seagate);
    drives_.AddRealDrive(1, WesternDigital);
    const std::string metrics = folder_ + "/quorvane.prom";
    test::WatchProcess watch(Args({"--interval", "1", "--count", "4", "--metrics", metrics}),
                             folder_);
    ASSERT_TRUE(watch.Started());
    std::set<std::string> seen;
    int reads = 0;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (watch.Wait(std::chrono::milliseconds(0)) == -1 &&
           std::chrono::steady_clock::now() < end) {
        const auto bytes = test::ReadBytes(metrics);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        if (bytes.empty())
            continue;
        ++reads;
        const std::string text(bytes.begin(), bytes.end());
        ASSERT_EQ(text.back(), '\n') << text;
        ASSERT_NE(text.find("smartctl_device_temperature{device=\"sdb\""), std::string::npos)
            << text;
        ASSERT_NE(text.find("\nquorvane_last_tick_timestamp_seconds "), std::string::npos) << text;
        seen.insert(text.substr(text.find("\nquorvane_last_tick_timestamp_seconds ")));
    }
    EXPECT_GT(reads, 0);
    // Rewritten at every tick: more than one timestamp was read.
    EXPECT_GE(seen.size(), 2u);
}

// A host without a drive: watch ends at once with a status of its own, the one
// quorvane-watch.service does not restart on, and leaves no metrics behind.
// A drive whose reallocated sectors rise on the third read: the rise is said
// once on standard output and mailed once (the mail fails on a closed
// loopback port, once), the drive stays O.K., and the history holds it for
// quorvane-cli history.
TEST_F(WatchCli, ARisingSectorCountIsSaidAndMailedOnceAndKeptInTheHistory) {
    drives_.AddRealDrive(0, Seagate, "raise-raw = 05 8 3");
    const std::string history = folder_ + "/history.db";
    Settings("SMTP Warnings=1\nSMTP Host=127.0.0.1\nSMTP Port=1\nHistory File=" + history + "\n");
    const test::CliRun run = Run("--count 4 --interval 1");
    ASSERT_EQ(run.Status, 0) << run.Err;
    int rises = 0, oks = 0;
    for (const std::string& line : Lines(run.Out)) {
        rises += line.rfind("HDD1: 05h Reallocated Sector Count rose from 0 to 8 (", 0) == 0;
        oks += line.find("O.K.") != std::string::npos;
    }
    EXPECT_EQ(rises, 1) << run.Out;
    EXPECT_EQ(oks, 4) << run.Out;
    int failedMails = 0;
    for (const std::string& line : Lines(run.Err))
        failedMails += line == "quorvane-cli: Report sending failed";
    EXPECT_EQ(failedMails, 1) << run.Err;

    const test::CliRun csv = test::RunCli(
        drives_.Path(), "--settings '" + SettingsFile() + "' history 1 --attribute 05 --csv");
    ASSERT_EQ(csv.Status, 0) << csv.Err;
    const std::vector<std::string> rows = Lines(csv.Out);
    ASSERT_EQ(rows.size(), 3u) << csv.Out;
    EXPECT_EQ(rows[0], "time,value,raw");
    EXPECT_EQ(rows[1].substr(rows[1].find(',')), ",100,0");
    EXPECT_EQ(rows[2].substr(rows[2].find(',')), ",100,8");

    // The same in JSON (held to its schema by RunCli), and the temperatures.
    for (const char* args : {"history 1 --attribute 05 --json", "history 1 --json"}) {
        const test::CliRun json =
            test::RunCli(drives_.Path(), "--settings '" + SettingsFile() + "' " + args);
        ASSERT_EQ(json.Status, 0) << json.Err;
        EXPECT_EQ(test::JsonField(json.Out, "[(c['old_raw'], c['new_raw']) for c in d['changes']]"),
                  "[(0, 8)]\n")
            << args;
    }
}

TEST_F(WatchCli, NoDriveEndsAtOnceWithStatusThreeAndWritesNoMetrics) {
    const std::string metrics = folder_ + "/quorvane.prom";
    const test::CliRun run = Run("--no-mail --metrics '" + metrics + "'");
    EXPECT_EQ(run.Status, 3) << run.Err;
    EXPECT_NE(run.Err.find("S.M.A.R.T. HDD(s) not found!"), std::string::npos) << run.Err;
    EXPECT_FALSE(std::filesystem::exists(metrics));
}

} // namespace
} // namespace quorvane
