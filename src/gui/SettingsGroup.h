// The main window's Settings group: the monitoring switch and its interval,
// the alert switches, AutoRun, "Let Drives Sleep", the SMTP and save buttons,
// and the Icons group with each slot's colours and tray switch. The simple
// switches write straight into the options; whatever needs the timers, the
// tray or a file is announced to the main window.
#pragma once

#include <QGroupBox>
#include <array>
#include <cstdint>

#include "app/DriveTable.h"
#include "app/Settings.h"
#include "gui/LazyWindow.h"

class QCheckBox;
class QColorDialog;
class QLabel;
class QLineEdit;
class QToolButton;

namespace quorvane {

class TColorSwatch;
class TUpDown;

class TSettingsGroup : public QGroupBox {
    Q_OBJECT

public:
    TSettingsGroup(Settings& options, QWidget* parent);

    // Copies the options into the controls and the swatches.
    void ShowSettings();
    // A drive was found in the slot: its tray switch can be used, and is
    // checked when the options say so.
    void EnableTrayCheckBox(int slot, bool check);
    // Asks for a colour of a slot's icon; true when one was chosen.
    bool ChooseColor(uint32_t& color);

    QCheckBox* SMARTMonCB;
    QLabel* SMARTRunL;
    QLabel* HDDRefreshIntNL;
    QLineEdit* HDDRefreshIntE;
    TUpDown* HDDRefreshIntUD;
    QCheckBox* AlertCB;
    QCheckBox* BallHCB;
    QCheckBox* AutoRunCB;
    QCheckBox* LetDrivesSleepCB;
    QCheckBox* RisingCB;
    QToolButton* SMTPSB;
    QToolButton* SaveSettingsSB;
    QGroupBox* IconsGB;
    std::array<QLabel*, MaxDrives> HDDnINL{};
    std::array<TColorSwatch*, MaxDrives> HDDnTempTrayFI{};
    std::array<TColorSwatch*, MaxDrives> HDDnTempTrayBI{};
    std::array<QCheckBox*, MaxDrives> HDDnTempTrayCB{};
    // Made when a swatch is first clicked.
    LazyWindow<QColorDialog> ColorDialog;

signals:
    void MonitoringClicked();
    // An arrow of the interval was clicked (the option already holds the
    // new interval).
    void RefreshIntervalClicked();
    void SMTPClicked();
    void SaveClicked();
    // A slot's icon colours or tray switch changed (the options hold them).
    void TrayColorsChanged(int slot);
    void TrayIconSwitched(int slot, bool show);

private:
    void createIconsGroup();
    void createConnections();
    void HDDnTempTrayFIClick(int slot);
    void HDDnTempTrayBIClick(int slot);
    void HDDnTempTrayCBClick(int slot);
    // Asks for one of a slot's two icon colours and paints its swatch.
    void ChooseTrayColor(int slot, uint32_t TraySettings::*color,
                         const std::array<TColorSwatch*, MaxDrives>& swatches);
    void PaintSwatches();

    Settings& options_;
};

} // namespace quorvane
