#include "gui/SettingsGroup.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QToolButton>

#include "gui/Colors.h"
#include "gui/Controls.h"
#include "gui/LazyIcon.h"
#include "monitor/MonitorSession.h"
#include "monitor/TextIcon.h"

namespace quorvane {

TSettingsGroup::TSettingsGroup(Settings& options, QWidget* parent)
    : QGroupBox("Settings", parent), ColorDialog([this] {
          auto* dialog = new QColorDialog(this);
          dialog->setObjectName("ColorDialog");
          dialog->setOption(QColorDialog::DontUseNativeDialog);
          // Modal to the main window only: the tray stays usable meanwhile.
          dialog->setWindowModality(Qt::WindowModal);
          return dialog;
      }),
      options_(options) {
    setObjectName("SettingsGB");
    setGeometry(8, 232, 257, 155);

    SMARTMonCB = MakeCheckBox(this, "SMARTMonCB", "S.M.A.R.T. Monitoring", 8, 16, true);
    SMARTRunL = MakeLabel(this, "SMARTRunL", "-", 150, 19, 10);
    HDDRefreshIntNL = MakeLabel(this, "HDDRefreshIntNL", "Refresh Interval, s", 8, 42);
    HDDRefreshIntE = new QLineEdit(QString::number(MinRefreshInterval), this);
    HDDRefreshIntE->setObjectName("HDDRefreshIntE");
    HDDRefreshIntE->setReadOnly(true);
    HDDRefreshIntE->setGeometry(116, 38, 30, 21);
    HDDRefreshIntUD = new TUpDown(MinRefreshInterval, MaxRefreshInterval, RefreshIntervalStep,
                                  MinRefreshInterval, this);
    HDDRefreshIntUD->setObjectName("HDDRefreshIntUD");
    HDDRefreshIntUD->move(146, 38);
    AlertCB = MakeCheckBox(this, "AlertCB", "Alert Sound", 8, 62, false);
    BallHCB = MakeCheckBox(this, "BallHCB", "Balloon Hints", 8, 80, false);
    LetDrivesSleepCB = MakeCheckBox(this, "LetDrivesSleepCB", "Let Drives Sleep", 8, 98, false);
    LetDrivesSleepCB->setToolTip("Leave a drive in standby unread, so that it is not spun up");
    RisingCB = MakeCheckBox(this, "RisingCB", "Warn on Rising Sector Counts", 8, 116, true);
    RisingCB->setToolTip("An amber frame, a balloon and a warning mail when a drive's "
                         "reallocated, pending or uncorrectable sector count rises");
    AutoRunCB = MakeCheckBox(this, "AutoRunCB", "AutoRun", 8, 134, false);
    SMTPSB = MakeSpeedButton(this, "SMTPSB", LazyStandardIcon(QStyle::SP_MessageBoxInformation),
                             "SMTP Reports & Warnings", 108, 131);
    SaveSettingsSB = MakeSpeedButton(this, "SaveSettingsSB",
                                     LazyStandardIcon(QStyle::SP_DialogSaveButton), QString(), 132,
                                     131);
    createIconsGroup();

    createConnections();
}

void TSettingsGroup::createIconsGroup() {
    IconsGB = new QGroupBox("Icons", this);
    IconsGB->setObjectName("IconsGB");
    IconsGB->setGeometry(166, 8, 87, 125);
    for (int slot = 1; slot <= MaxDrives; ++slot) {
        const size_t i = static_cast<size_t>(slot - 1);
        const int y = 16 + 18 * static_cast<int>(i);
        const QString n = QString::number(slot);
        HDDnINL[i] = MakeLabel(IconsGB, "HDD" + n + "INL", "HDD" + n + ":", 8, y - 2);
        HDDnTempTrayFI[i] = new TColorSwatch(IconsGB);
        HDDnTempTrayFI[i]->setObjectName("HDD" + n + "TempTrayFI");
        HDDnTempTrayFI[i]->move(48, y);
        HDDnTempTrayBI[i] = new TColorSwatch(IconsGB);
        HDDnTempTrayBI[i]->setObjectName("HDD" + n + "TempTrayBI");
        HDDnTempTrayBI[i]->move(60, y);
        HDDnTempTrayCB[i] = new QCheckBox(IconsGB);
        HDDnTempTrayCB[i]->setObjectName("HDD" + n + "TempTrayCB");
        HDDnTempTrayCB[i]->setGeometry(72, y - 3, 15, 16);
        HDDnTempTrayCB[i]->setEnabled(false);
    }
}

void TSettingsGroup::createConnections() {
    connect(HDDRefreshIntUD, &TUpDown::PositionChanged, this, [this](int position) {
        HDDRefreshIntE->setText(QString::number(position));
        options_.RefreshInterval = position;
    });
    connect(HDDRefreshIntUD, &TUpDown::Clicked, this, &TSettingsGroup::RefreshIntervalClicked);
    connect(SMARTMonCB, &QCheckBox::clicked, this, &TSettingsGroup::MonitoringClicked);
    connect(AlertCB, &QCheckBox::toggled, this, [this](bool on) { options_.AlertSound = on; });
    connect(BallHCB, &QCheckBox::toggled, this, [this](bool on) { options_.BalloonHints = on; });
    connect(AutoRunCB, &QCheckBox::toggled, this, [this](bool on) { options_.AutoRun = on; });
    connect(RisingCB, &QCheckBox::toggled, this,
            [this](bool on) { options_.WarnOnRisingSectorCounts = on; });
    connect(LetDrivesSleepCB, &QCheckBox::toggled, this,
            [this](bool on) { options_.LetDrivesSleep = on; });
    connect(SMTPSB, &QToolButton::clicked, this, &TSettingsGroup::SMTPClicked);
    connect(SaveSettingsSB, &QToolButton::clicked, this, &TSettingsGroup::SaveClicked);
    for (int slot = 1; slot <= MaxDrives; ++slot) {
        const size_t i = static_cast<size_t>(slot - 1);
        connect(HDDnTempTrayFI[i], &TColorSwatch::Clicked, this,
                [this, slot] { HDDnTempTrayFIClick(slot); });
        connect(HDDnTempTrayBI[i], &TColorSwatch::Clicked, this,
                [this, slot] { HDDnTempTrayBIClick(slot); });
        connect(HDDnTempTrayCB[i], &QCheckBox::clicked, this,
                [this, slot] { HDDnTempTrayCBClick(slot); });
    }
}

void TSettingsGroup::ShowSettings() {
    SMARTMonCB->setChecked(options_.SMARTMonitoring);
    HDDRefreshIntUD->SetPosition(options_.RefreshInterval);
    AlertCB->setChecked(options_.AlertSound);
    BallHCB->setChecked(options_.BalloonHints);
    AutoRunCB->setChecked(options_.AutoRun);
    LetDrivesSleepCB->setChecked(options_.LetDrivesSleep);
    RisingCB->setChecked(options_.WarnOnRisingSectorCounts);
    PaintSwatches();
}

void TSettingsGroup::PaintSwatches() {
    for (int slot = 1; slot <= MaxDrives; ++slot)
        HDDnTempTrayFI[static_cast<size_t>(slot - 1)]->Paint(
            options_.TraySlot(slot).TrayFontColor);
    for (int slot = 1; slot <= MaxDrives; ++slot)
        HDDnTempTrayBI[static_cast<size_t>(slot - 1)]->Paint(
            options_.TraySlot(slot).TrayBackColor);
}

void TSettingsGroup::EnableTrayCheckBox(int slot, bool check) {
    if (!DriveTable::IsSlot(slot))
        return;
    QCheckBox* box = HDDnTempTrayCB[static_cast<size_t>(slot - 1)];
    box->setEnabled(true);
    if (check)
        box->setChecked(true);
}

bool TSettingsGroup::ChooseColor(uint32_t& color) {
    ColorDialog->setCurrentColor(ColorFromRef(color));
    if (ColorDialog->exec() != QDialog::Accepted)
        return false;
    color = ColorToRef(ColorDialog->selectedColor());
    return true;
}

void TSettingsGroup::HDDnTempTrayFIClick(int slot) {
    ChooseTrayColor(slot, &TraySettings::TrayFontColor, HDDnTempTrayFI);
}

void TSettingsGroup::HDDnTempTrayBIClick(int slot) {
    ChooseTrayColor(slot, &TraySettings::TrayBackColor, HDDnTempTrayBI);
}

void TSettingsGroup::ChooseTrayColor(int slot, uint32_t TraySettings::*color,
                                     const std::array<TColorSwatch*, MaxDrives>& swatches) {
    if (!DriveTable::IsSlot(slot))
        return;
    uint32_t& chosen = options_.TraySlot(slot).*color;
    ChooseColor(chosen);
    swatches[static_cast<size_t>(slot - 1)]->Paint(chosen);
    emit TrayColorsChanged(slot);
}

void TSettingsGroup::HDDnTempTrayCBClick(int slot) {
    if (!DriveTable::IsSlot(slot))
        return;
    std::array<bool, MaxDrives> checked{};
    for (size_t i = 0; i < checked.size(); ++i)
        checked[i] = HDDnTempTrayCB[i]->isChecked();
    const bool show = TrayCheckBoxState(checked, slot);
    HDDnTempTrayCB[static_cast<size_t>(slot - 1)]->setChecked(show);
    options_.TraySlot(slot).TrayIcon = show;
    emit TrayIconSwitched(slot, show);
}

} // namespace quorvane
