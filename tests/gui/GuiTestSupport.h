// Building the main window for a test: simulated drives, a siren and a
// warning mail that count their calls.
#pragma once

#include <QApplication>
#include <QColor>
#include <QImage>
#include <QSignalSpy>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "drive/SimulatedBus.h"
#include "gui/MainForm.h"
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

class CountingMail final : public WarningMail {
public:
    explicit CountingMail(int& sent) : sent_(sent) {}
    void SendReport() override { ++sent_; }

private:
    int& sent_;
};

struct FormUnderTest {
    int Sirens = 0;
    int Mails = 0;
    std::unique_ptr<TMainForm> Form;

    FormUnderTest(const std::string& drivesDir, bool trayAvailable = true) {
        MainFormServices services;
        services.Bus = std::make_unique<SimulatedBus>(drivesDir);
        services.Siren = std::make_unique<CountingSiren>(Sirens);
        services.Mail = std::make_unique<CountingMail>(Mails);
        services.TrayAvailable = trayAvailable;
        Form = std::make_unique<TMainForm>(std::move(services));
    }
    TMainForm* operator->() const { return Form.get(); }
};

// Lets the monitoring timer fire now, as it would at the end of its interval.
inline bool FireTimer(QTimer& timer) {
    QSignalSpy fired(&timer, &QTimer::timeout);
    timer.start(0);
    return fired.wait(5000);
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
