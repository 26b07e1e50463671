// The history file over a simulated year of six drives read every 15 s:
// the CPU time of recording one tick (one transaction, the hourly roll-up
// included), the file's size at the end, and the time of the chart's query of
// the whole year (every drive's temperature and one attribute's raw values).
//
// The drives are six real ones (their pages in tests/data/smart-pages). As
// drives do, their temperature drifts a degree every few minutes (C2h with
// it), the power-on hours count up every hour, and the two Seagate drives'
// error-rate raw values (01h, 07h, C3h) change at every read. The file lives
// in /dev/shm when there is one: the figures are CPU, not the disk's.
//
//   bench_history [DAYS]   (365 by default)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

#include "history/HistoryStore.h"
#include "smart/SmartAttributes.h"

namespace fs = std::filesystem;
using namespace quorvane;
using namespace quorvane::history;

namespace {

constexpr const char* Drives[] = {"Hitachi_HDS721010CLA632", "ST9160821AS--3.CLH",
                                  "WDC_WD20EARS-00MVWB0",    "SAMSUNG_HD501LJ--CR100-12",
                                  "ST320410A--3.39",         "TOSHIBA_MK1651GSY--38IGT0G5T"};

struct SimulatedDrive {
    DriveRecord Record;
    bool ErrorRatesMove = false;
    int Temperature = 35;
};

std::vector<uint8_t> Page(const std::string& name) {
    std::ifstream in(fs::path(QUORVANE_SOURCE_DIR) / "tests/data/smart-pages" /
                         (name + ".smart-data.bin"),
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

SimulatedDrive MakeDrive(int slot) {
    SimulatedDrive drive;
    const std::string name = Drives[slot - 1];
    const std::vector<uint8_t> page = Page(name);
    drive.Record.Drive = {name, "SERIAL" + std::to_string(slot), "FW" + std::to_string(slot)};
    drive.Record.Slot = slot;
    drive.Record.Status = Health::Ok;
    for (const uint8_t id : SMARTAttributeIds(page)) {
        const SMARTAttribute a = FindSMARTAttribute(page, id, SlotWalk::WholePage);
        drive.Record.Attributes.push_back({id, a.Value, a.Raw});
    }
    drive.ErrorRatesMove = name.rfind("ST", 0) == 0;
    drive.Temperature = 30 + slot;
    return drive;
}

void Advance(SimulatedDrive& drive, long tick, std::mt19937& random) {
    if (random() % 20 == 0)
        drive.Temperature = std::clamp(drive.Temperature + (random() % 2 ? 1 : -1), 25, 55);
    drive.Record.Temperature = drive.Temperature;
    for (AttributeReading& a : drive.Record.Attributes) {
        if (a.Id == SmartIdTemperature)
            a.Raw = (a.Raw & ~uint64_t{0xFF}) | static_cast<uint64_t>(drive.Temperature);
        else if (a.Id == 9 && tick % 240 == 0)
            ++a.Raw;
        else if (drive.ErrorRatesMove && (a.Id == 1 || a.Id == 7 || a.Id == 195))
            a.Raw += 1 + random() % 50;
    }
}

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

uintmax_t SizeOf(const fs::path& file) {
    std::error_code ec;
    const uintmax_t size = fs::file_size(file, ec);
    return ec ? 0 : size;
}

} // namespace

int main(int argc, char** argv) {
    const long days = argc > 1 ? std::atol(argv[1]) : 365;
    const fs::path folder = (fs::is_directory("/dev/shm") ? fs::path("/dev/shm")
                                                           : fs::temp_directory_path()) /
                            ("quorvane-history-bench-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const fs::path file = folder / "history.db";

    std::vector<SimulatedDrive> drives;
    for (int slot = 1; slot <= 6; ++slot)
        drives.push_back(MakeDrive(slot));
    std::mt19937 random(28);
    const Seconds start = 1767225600; // 2026-01-01 00:00 UTC
    const long ticks = days * DaySeconds / 15;

    double cpu = 0;
    double cpuLastWeek = 0;
    double worst = 0;
    {
        HistoryStore store(file.string());
        for (long tick = 0; tick < ticks; ++tick) {
            TickRecord record;
            record.Time = start + tick * 15;
            for (SimulatedDrive& drive : drives) {
                Advance(drive, tick, random);
                record.Drives.push_back(drive.Record);
            }
            const double before = CpuSeconds();
            const RecordOutcome outcome = store.Record(record);
            const double spent = CpuSeconds() - before;
            if (!outcome.Written) {
                std::fprintf(stderr, "tick %ld not written: %s\n", tick, store.TakeNotice().c_str());
                return 1;
            }
            cpu += spent;
            worst = std::max(worst, spent);
            if (tick >= ticks - 7 * DaySeconds / 15)
                cpuLastWeek += spent;
        }
    }
    const uintmax_t bytes = SizeOf(file) + SizeOf(folder / "history.db-wal");

    HistoryStore store(file.string());
    const Seconds end = start + ticks * 15;
    double bestMs = 1e9;
    size_t points = 0;
    for (int round = 0; round < 5; ++round) {
        const auto began = std::chrono::steady_clock::now();
        points = 0;
        for (const KnownDrive& drive : store.Drives()) {
            points += store.Temperatures(drive.Key, end - 365 * DaySeconds, end).Points.size();
            points += store.Attribute(drive.Key, 0x05, end - 365 * DaySeconds, end).size();
        }
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - began)
                .count();
        bestMs = std::min(bestMs, ms);
    }
    fs::remove_all(folder);

    const long lastWeek = std::min<long>(ticks, 7 * DaySeconds / 15);
    std::printf("simulated: 6 drives, every 15 s, %ld days (%ld ticks)\n", days, ticks);
    std::printf("insert CPU per tick: %.3f ms mean, %.3f ms mean over the last week, %.1f ms worst "
                "(goal: under 0.2 ms)\n",
                cpu * 1000 / static_cast<double>(ticks),
                cpuLastWeek * 1000 / static_cast<double>(lastWeek), worst * 1000);
    std::printf("file size after %ld days: %.1f MB (goal: under 25 MB)\n", days,
                static_cast<double>(bytes) / 1e6);
    std::printf("year query (6 drives' temperature + 05h raw, %zu points): %.1f ms "
                "(goal: under 50 ms)\n",
                points, bestMs);
    return 0;
}
