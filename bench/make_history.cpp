// Makes a history file of the drives a simulated drive directory holds, for
// looking at the History window (docs/history-window.png) and for demos: every
// drive read each minute for DAYS days up to now, its temperature following
// the day with a little noise, and slot 2's reallocated sectors rising twice.
//
//   make_history DRIVES_DIR FILE [DAYS]   (7 by default)
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "app/ReadSmart.h"
#include "app/Scan.h"
#include "ata/SimulatedBus.h"
#include "program/HistoryRecorder.h"

using namespace quorvane;

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: make_history DRIVES_DIR FILE [DAYS]\n");
        return 2;
    }
    const int days = argc > 3 ? std::atoi(argv[3]) : 7;
    std::filesystem::remove(argv[2]);
    SimulatedBus bus(argv[1]);
    ProgramData data;
    HeadlessScanView view;
    if (!ScanDrives(data, bus, view, Settings{}))
        return 1;
    TickResult read;
    for (int slot = 1; slot <= data.DriveCount; ++slot)
        ReadSMART(data, bus, slot, false, RawValueFormat::Hex);

    history::HistoryStore store(argv[2]);
    const history::Seconds now = static_cast<history::Seconds>(std::time(nullptr));
    const history::Seconds start = now - days * history::DaySeconds;
    size_t rises = 0;
    for (history::Seconds t = start; t <= now; t += 60) {
        history::TickRecord tick = TickRecordOf(data, read, t);
        const double day = std::sin(2 * M_PI * static_cast<double>(t % 86400) / 86400.0);
        for (history::DriveRecord& d : tick.Drives) {
            const double noise = static_cast<double>((t / 60 * 7919 + d.Slot * 104729) % 5) - 2;
            d.Temperature = static_cast<int>(std::lround(28 + 3 * d.Slot + 4 * day + noise * 0.5));
            for (history::AttributeReading& a : d.Attributes) {
                if (a.Id == 194)
                    a.Raw = static_cast<uint64_t>(*d.Temperature);
                if (a.Id == 5 && d.Slot == 2)
                    a.Raw = t > now - 2 * history::DaySeconds ? 12 : t > now - 3 * history::DaySeconds ? 8 : 0;
            }
        }
        rises += store.Record(tick).Rises.size();
    }
    std::printf("%s: %d drives, %d days, %zu rises\n", argv[2], data.DriveCount, days, rises);
    return 0;
}
