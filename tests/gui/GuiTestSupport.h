// Building the main window for a test: simulated drives, a siren that counts
// its calls, and the settings file and autostart entry in a fresh folder.
#pragma once

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "ata/SimulatedBus.h"
#include "gui/MainForm.h"
#include "gui/SettingsGroup.h"
#include "gui/Siren.h"

namespace quorvane::test {

inline std::string SampleDrives() {
    return std::string(QUORVANE_SOURCE_DIR) + "/samples/drives";
}

class CountingSiren final : public SirenSound {
public:
    explicit CountingSiren(int& plays) : plays_(plays) {}
    void Play() override { ++plays_; }

private:
    int& plays_;
};

// The program the autostart entry of a test starts.
inline constexpr const char* TestExecutable = "/opt/Quorvane/bin/quorvane";

// The settings file and the autostart entry as the program finds them under
// a configuration folder.
inline SettingsPaths PathsIn(const std::string& configFolder) {
    return {configFolder + "/Quorvane/Quorvane.ini", configFolder + "/autostart/Quorvane.desktop",
            TestExecutable};
}

inline void WriteTextFile(const std::string& path, const std::string& text) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

struct FormUnderTest {
    int Sirens = 0;
    QTemporaryDir Config; // the settings of this test only
    SettingsPaths Paths;
    SimulatedBus* Bus = nullptr; // the program's bus, for the commands it sent
    std::unique_ptr<Program> App;
    std::unique_ptr<TMainForm> Form;

    // Without paths the settings live in a folder of their own, empty at
    // first: a first start.
    explicit FormUnderTest(const std::string& drivesDir, bool trayAvailable = true,
                           std::optional<SettingsPaths> paths = {})
        : Paths(paths ? *paths : PathsIn(Config.path().toStdString())) {
        auto bus = std::make_unique<SimulatedBus>(drivesDir);
        Bus = bus.get();
        App = std::make_unique<Program>(std::move(bus), Paths);
        MainFormServices services;
        services.Siren = std::make_unique<CountingSiren>(Sirens);
        services.TrayAvailable = trayAvailable;
        Form = std::make_unique<TMainForm>(*App, std::move(services));
    }
    TMainForm* operator->() const { return Form.get(); }
    // The settings file as the next start finds it.
    void WriteSettings(const std::string& text) const { WriteTextFile(Paths.SettingsFile, text); }
};

// Lets the monitoring timer fire now, as it would at the end of its interval.
inline bool FireTimer(QTimer& timer) {
    QSignalSpy fired(&timer, &QTimer::timeout);
    timer.start(0);
    return fired.wait(5000);
}

// Runs the event loop until every report worker started so far has ended:
// the workers hand their first and last steps to it.
inline bool ReportsDone(Program& app, int ms = 20000) {
    return QTest::qWaitFor(
        [&app] { return app.Reports().WaitForWorkers(std::chrono::milliseconds(0)); }, ms);
}

// Runs action once the next modal dialog's event loop is running.
inline void WhenModal(std::function<void()> action) {
    QTimer::singleShot(0, qApp, std::move(action));
}

inline QColor Rgb(uint32_t ref) {
    return QColor(static_cast<int>(ref & 0xFF), static_cast<int>((ref >> 8) & 0xFF),
                  static_cast<int>((ref >> 16) & 0xFF));
}

inline QColor PixelAt(const QImage& image, int x, int y) {
    return image.pixelColor(x, y);
}

} // namespace quorvane::test
