// The tray icons' share of a monitoring tick: six drives on the tray bank,
// ticked with unchanged values and with one temperature changing each tick.
// Prints the CPU time per tick (the drive reads included, and the tray part
// alone: the calls a tick makes on its view) and the renders and icon
// hand-overs per tick. The platform is the one Qt picks (QT_QPA_PLATFORM);
// only a real tray (xcb with a notification area) shows the cost of a
// hand-over in full.
#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <string>

#include "app/Scan.h"
#include "ata/SimulatedBus.h"
#include "gui/Siren.h"
#include "gui/TrayBank.h"
#include "monitor/MonitorSession.h"

namespace {

using namespace quorvane;
namespace fs = std::filesystem;

double CpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

class NoMail final : public WarningMail {
public:
    void SendReport() override {}
};

struct Counts {
    long Renders = 0, HandOvers = 0;
};

Counts Total(const TTrayBank& bank) {
    Counts c;
    for (int slot = 1; slot <= MaxDrives; ++slot) {
        c.Renders += bank.Icon(slot)->RenderCount();
        c.HandOvers += bank.Icon(slot)->HandOverCount();
    }
    return c;
}

template <typename F> void Row(const char* what, TTrayBank& bank, int ticks, F tick) {
    const Counts before = Total(bank);
    const double start = CpuSeconds();
    for (int i = 0; i < ticks; ++i) {
        tick(i);
        QCoreApplication::processEvents();
    }
    const double ms = (CpuSeconds() - start) * 1e3 / ticks;
    const Counts after = Total(bank);
    std::printf("%-44s %10.4f %9.2f %10.2f\n", what, ms,
                static_cast<double>(after.Renders - before.Renders) / ticks,
                static_cast<double>(after.HandOvers - before.HandOvers) / ticks);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int ticks = argc > 1 ? std::atoi(argv[1]) : 2000;

    // Six copies of a sample drive.
    const fs::path dir =
        fs::temp_directory_path() /
        ("quorvane-bench-tray-" + std::to_string(QCoreApplication::applicationPid()));
    const fs::path sample = fs::path(QUORVANE_SOURCE_DIR) / "samples/drives/drive1";
    for (int n = 0; n < MaxDrives; ++n) {
        const fs::path folder = dir / ("drive" + std::to_string(n));
        fs::create_directories(folder);
        for (const char* page : {"identify.bin", "smart-data.bin", "smart-thresholds.bin"})
            fs::copy_file(sample / page, folder / page, fs::copy_options::overwrite_existing);
    }
    SimulatedBus bus(dir.string());
    ProgramData data;
    Settings settings;
    HeadlessScanView none;
    if (!ScanDrives(data, bus, none, settings) || data.DriveCount != MaxDrives) {
        std::fprintf(stderr, "bench_tray: the six drives were not found in %s\n",
                     dir.string().c_str());
        fs::remove_all(dir);
        return 1;
    }
    QWidget owner;
    TTrayBank bank(&owner, false, true, nullptr);
    for (int slot = 1; slot <= MaxDrives; ++slot)
        bank.SetVisible(slot, true);
    NoMail mail;
    MonitorSession session(data, bus, settings, bank, mail);
    session.Tick(1);
    QCoreApplication::processEvents();

    std::printf("platform %s, %d ticks per row, six icons\n",
                QGuiApplication::platformName().toUtf8().constData(), ticks);
    std::printf("%-44s %10s %9s %10s\n", "", "ms CPU", "renders", "hand-overs");
    Row("monitoring tick, values unchanged", bank, ticks, [&](int) { session.Tick(1); });
    const std::string temperature = std::to_string(data.Drives[1].Temperature);
    auto trayTick = [&](int i) {
        for (int slot = 1; slot <= MaxDrives; ++slot) {
            // Slot 1 alternates between two temperatures when asked to change.
            const bool warmer = i >= 0 && slot == 1 && i % 2 == 0;
            bank.SetTrayIconText(slot, warmer ? "99" : temperature);
            bank.SetTrayIconBorderColor(slot, BorderColorHealthy);
        }
        bank.TickShown();
    };
    Row("tray part alone, values unchanged", bank, ticks, [&](int) { trayTick(-1); });
    Row("tray part alone, one temperature changing", bank, ticks, trayTick);
    fs::remove_all(dir);
    return 0;
}
