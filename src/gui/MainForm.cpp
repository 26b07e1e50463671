#include "gui/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>

#include "drive/ReadSmart.h"
#include "gui/AboutGroup.h"
#include "gui/Colors.h"
#include "gui/Controls.h"
#include "gui/Fonts.h"
#include "gui/MbrForm.h"
#include "gui/QtUiHandOver.h"
#include "gui/Siren.h"
#include "gui/SmartForm.h"
#include "monitor/TextIcon.h"
#include "shell/LocalClock.h"
#include "shell/Platform.h"
#include "shell/Version.h"
#include "smart/SmartReport.h"

namespace quorvane {

namespace {

constexpr int ClientWidth = 491;
constexpr int ClientHeight = 392;
constexpr uint32_t Blue = 0x00FF0000;

void CentreOnScreen(QWidget* window) {
    if (QScreen* screen = window->screen()) {
        const QRect area = screen->availableGeometry();
        window->move(area.center() - QPoint(window->width() / 2, window->height() / 2));
    }
}

QIcon ProgramIcon() {
    QIcon icon;
    for (const char* file : {":/quorvane-32.png", ":/quorvane-64.png", ":/quorvane-128.png"})
        icon.addFile(file);
    return icon;
}

} // namespace

TMainForm::TMainForm(MainFormServices services, QWidget* parent)
    : QWidget(parent), paths_(std::move(services.Paths)), bus_(std::move(services.Bus)),
      trayAvailable_(services.TrayAvailable) {
    setObjectName("MainForm");
    setWindowTitle(QString::fromStdString(MainWindowTitle(bus_ && bus_->IsSimulated())));
    setWindowIcon(ProgramIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(FormFont());
    setFixedSize(ClientWidth, ClientHeight);

    createDriveRow();
    InformationGB = new TInformationGroup(this);
    createSettingsGroup();
    AboutGB = new TAboutGroup(this);
    StatusSB = new QStatusBar(this);
    StatusSB->setObjectName("StatusSB");
    StatusSB->setSizeGripEnabled(false);
    StatusSB->setGeometry(0, ClientHeight - 19, ClientWidth, 19);

    SMARTT.setObjectName("SMARTT");
    SMARTT.setInterval(MinRefreshInterval * 1000);
    SMTPReportsTimer.setObjectName("SMTPReportsTimer");
    SMTPReportsTimer.setInterval(1200000);

    LogSD = new QFileDialog(this, "Save Log");
    LogSD->setObjectName("LogSD");
    LogSD->setAcceptMode(QFileDialog::AcceptSave);
    LogSD->setDefaultSuffix("log");
    LogSD->setNameFilters({"Log files (*.log)", "All files (*.*)"});
    LogSD->setOption(QFileDialog::DontConfirmOverwrite);
    LogSD->setOption(QFileDialog::DontUseNativeDialog);

    ColorDialog = new QColorDialog(this);
    ColorDialog->setObjectName("ColorDialog");
    ColorDialog->setOption(QColorDialog::DontUseNativeDialog);

    Tray =
        new TTrayBank(this, trayAvailable_, bus_ && bus_->IsSimulated(), std::move(services.Siren));
    WarningMail& warnings = *this;
    session_ = std::make_unique<MonitorSession>(data_, *bus_, settings_, *Tray, warnings);
    ReportWindow& window = *this;
    reports_ = std::make_unique<ReportService>(window, std::make_unique<QtUiHandOver>(this),
                                               [] { return std::make_unique<SmtpClient>(); });
    SMTPForm = new TSMTPForm(settings_, data_.ExitRequested, this);
    SMARTForm = new TSMARTForm(this);
    MBRForm = new TMBRForm(this);
    createConnections();
}

TMainForm::~TMainForm() = default;

void TMainForm::createDriveRow() {
    HDDNL = MakeLabel(this, "HDDNL", "HDD:", 4, 12);
    HDDCB = new QComboBox(this);
    HDDCB->setObjectName("HDDCB");
    HDDCB->setEditable(false);
    HDDCB->setGeometry(40, 8, 293, 21);
    HDDRefreshSB =
        MakeSpeedButton(this, "HDDRefreshSB", style()->standardIcon(QStyle::SP_BrowserReload),
                        "Refresh HDDs List", 340, 7);
    MBRReadSB = MakeSpeedButton(this, "MBRReadSB", style()->standardIcon(QStyle::SP_DriveHDIcon),
                                "Get MBR", 364, 7);

    HDDGB = new QGroupBox(this);
    HDDGB->setObjectName("HDDGB");
    HDDGB->setGeometry(0, 32, 485, 37);
    SMARTNL = MakeLabel(HDDGB, "SMARTNL", "S.M.A.R.T.:", 12, 14);
    SMARTStatusL = MakeLabel(HDDGB, "SMARTStatusL", "...", 80, 14, 120);
    SetTextColor(SMARTStatusL, Blue);
    SMARTReadSB = MakeSpeedButton(HDDGB, "SMARTReadSB",
                                  style()->standardIcon(QStyle::SP_FileDialogDetailedView),
                                  "Read S.M.A.R.T.", 452, 9);
}

void TMainForm::createSettingsGroup() {
    SettingsGB = new QGroupBox("Settings", this);
    SettingsGB->setObjectName("SettingsGB");
    SettingsGB->setGeometry(8, 232, 257, 137);
    QGroupBox* g = SettingsGB;

    SMARTMonCB = MakeCheckBox(g, "SMARTMonCB", "S.M.A.R.T. Monitoring", 8, 16, true);
    SMARTRunL = MakeLabel(g, "SMARTRunL", "-", 150, 19, 10);
    HDDRefreshIntNL = MakeLabel(g, "HDDRefreshIntNL", "Refresh Interval, s", 8, 42);
    HDDRefreshIntE = new QLineEdit(QString::number(MinRefreshInterval), g);
    HDDRefreshIntE->setObjectName("HDDRefreshIntE");
    HDDRefreshIntE->setReadOnly(true);
    HDDRefreshIntE->setGeometry(116, 38, 30, 21);
    HDDRefreshIntUD = new TUpDown(MinRefreshInterval, MaxRefreshInterval, RefreshIntervalStep,
                                  MinRefreshInterval, g);
    HDDRefreshIntUD->setObjectName("HDDRefreshIntUD");
    HDDRefreshIntUD->move(146, 38);
    AlertCB = MakeCheckBox(g, "AlertCB", "Alert Sound", 8, 62, false);
    BallHCB = MakeCheckBox(g, "BallHCB", "Balloon Hints", 8, 82, false);
    AutoRunCB = MakeCheckBox(g, "AutoRunCB", "AutoRun", 8, 102, false);
    SMTPSB = MakeSpeedButton(g, "SMTPSB", style()->standardIcon(QStyle::SP_MessageBoxInformation),
                             "SMTP Reports & Warnings", 108, 100);
    SaveSettingsSB =
        MakeSpeedButton(g, "SaveSettingsSB", style()->standardIcon(QStyle::SP_DialogSaveButton),
                        QString(), 132, 100);
    createIconsGroup();
}

void TMainForm::createIconsGroup() {
    IconsGB = new QGroupBox("Icons", SettingsGB);
    IconsGB->setObjectName("IconsGB");
    IconsGB->setGeometry(166, 8, 87, 125);
    for (int slot = 1; slot <= MaxDrives; ++slot) {
        const size_t i = static_cast<size_t>(slot - 1);
        const int y = 16 + 18 * static_cast<int>(i);
        const QString n = QString::number(slot);
        HDDnINL[i] = MakeLabel(IconsGB, "", "HDD" + n + ":", 8, y - 2);
        HDDnINL[i]->setObjectName("HDD" + n + "INL");
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

void TMainForm::createConnections() {
    connect(HDDRefreshSB, &QToolButton::clicked, this, &TMainForm::HDDRefreshSBClick);
    connect(HDDCB, &QComboBox::activated, this, &TMainForm::HDDCBChange);
    connect(SMARTReadSB, &QToolButton::clicked, this, &TMainForm::SMARTReadSBClick);
    connect(MBRReadSB, &QToolButton::clicked, this, &TMainForm::MBRReadSBClick);
    connect(&SMARTT, &QTimer::timeout, this, &TMainForm::SMARTTTimer);
    connect(HDDRefreshIntUD, &TUpDown::PositionChanged, this, [this](int position) {
        HDDRefreshIntE->setText(QString::number(position));
        settings_.RefreshInterval = position;
    });
    connect(HDDRefreshIntUD, &TUpDown::Clicked, this, &TMainForm::HDDRefreshIntUDClick);
    connect(SMARTMonCB, &QCheckBox::clicked, this, &TMainForm::SMARTMonCBClick);
    connect(AlertCB, &QCheckBox::toggled, this, [this](bool on) { settings_.AlertSound = on; });
    connect(BallHCB, &QCheckBox::toggled, this, [this](bool on) { settings_.BalloonHints = on; });
    connect(AutoRunCB, &QCheckBox::toggled, this, [this](bool on) { settings_.AutoRun = on; });
    connect(SMTPSB, &QToolButton::clicked, this, &TMainForm::SMTPSBClick);
    connect(SaveSettingsSB, &QToolButton::clicked, this, &TMainForm::SaveSettingsSBClick);
    connect(&SMTPReportsTimer, &QTimer::timeout, this, &TMainForm::SMTPReportsTimerTimer);
    connect(SMTPForm, &TSMTPForm::ReportsClicked, this, &TMainForm::SMTPReportsCBClick);
    connect(SMTPForm, &TSMTPForm::DelayClicked, this, &TMainForm::SMTPDelayUDClick);
    connect(SMTPForm, &TSMTPForm::SendTestReportClicked, this, &TMainForm::SendReport);
    for (int slot = 1; slot <= MaxDrives; ++slot) {
        const size_t i = static_cast<size_t>(slot - 1);
        connect(HDDnTempTrayFI[i], &TColorSwatch::Clicked, this,
                [this, slot] { HDDnTempTrayFIClick(slot); });
        connect(HDDnTempTrayBI[i], &TColorSwatch::Clicked, this,
                [this, slot] { HDDnTempTrayBIClick(slot); });
        connect(HDDnTempTrayCB[i], &QCheckBox::clicked, this,
                [this, slot] { HDDnTempTrayCBClick(slot); });
    }
    connect(Tray, &TTrayBank::IconClicked, this, &TMainForm::HDDnIClick);
    connect(Tray, &TTrayBank::MinimizeToTrayRequested, this, &TMainForm::HDDnIMinimizeToTray);
    connect(Tray->Restore1, &QAction::triggered, this, &TMainForm::Restore1Click);
    connect(Tray->Minimize1, &QAction::triggered, this, &TMainForm::Minimize1Click);
    connect(Tray->Exit1, &QAction::triggered, this, &TMainForm::Exit1Click);
    connect(AboutGB, &TAboutGroup::OpenLinkRequested, this, &TMainForm::OpenLinkRequested);
    connect(SMARTForm, &TSMARTForm::ReadRequested, this, &TMainForm::ReadSelectedDrive);
    connect(SMARTForm, &TSMARTForm::RawValuesChosen, this, &TMainForm::RAWValuesRGClick);
    connect(SMARTForm, &TSMARTForm::SaveRequested, this, &TMainForm::SaveSMARTSBClick);
}

bool TMainForm::StartupSequence() {
    AboutGB->ShowVersions(ProgramVersion(), RunningSystemText());
    RaiseProcessPriority();

    LoadSettingsIntoWindows();
    ShowSmartScreen();
    if (!Scan()) {
        QMessageBox::warning(nullptr, NoDrivesCaption, NoDrivesText);
        return false;
    }
    if (settings_.SMTPReports && !SMTPReportsTimer.isActive())
        SMTPReportsTimer.start();
    if (!trayAvailable_)
        ShowMainWindow();
    return true;
}

void TMainForm::LoadSettingsIntoWindows() {
    settings_ = LoadSettings(paths_.SettingsFile);
    ShowSettings();
    // The interval goes to the timer now; the scan starts it.
    SMARTT.setInterval(session_->IntervalMs());
    // Only the two boxes with click behaviour matter: SMARTMonCB's changes
    // nothing while no drive is known, SMTPReportsCB's starts the reports.
    if (!settings_.SMARTMonitoring)
        SMARTMonCBClick();
    SMTPReportsTimer.setInterval(ReportIntervalMs(settings_));
    if (settings_.SMTPReports)
        SMTPReportsCBClick(true);
    settings_.AutoRun = ReadAutorun(paths_.AutostartEntry, paths_.Executable);
    AutoRunCB->setChecked(settings_.AutoRun);
}

bool TMainForm::SaveSettingsFromWindows() {
    const SaveOutcome outcome = SaveSettings(paths_, settings_, data_.DriveCount);
    if (!outcome.Written) {
        QMessageBox box(QMessageBox::Warning, ProgramTitle,
                        QFile::decodeName(QByteArray::fromStdString(outcome.Message)),
                        QMessageBox::Ok, this);
        box.setObjectName("SaveSettingsMessage");
        box.exec();
    }
    return outcome.Written;
}

void TMainForm::ShowSettings() {
    SMARTMonCB->setChecked(settings_.SMARTMonitoring);
    HDDRefreshIntUD->SetPosition(settings_.RefreshInterval);
    AlertCB->setChecked(settings_.AlertSound);
    BallHCB->setChecked(settings_.BalloonHints);
    AutoRunCB->setChecked(settings_.AutoRun);
    if (SMTPForm)
        SMTPForm->ShowSettings();
    PaintSwatches();
    for (int slot = 1; slot <= MaxDrives; ++slot) {
        Tray->SetFontColor(slot, settings_.TraySlot(slot).TrayFontColor);
        Tray->SetBackColor(slot, settings_.TraySlot(slot).TrayBackColor);
    }
}

bool TMainForm::Scan() {
    if (!ScanDrives(data_, *bus_, *this, settings_))
        return false;
    session_->Start();
    SMARTTTimer();
    return true;
}

int TMainForm::SelectedSlot() const {
    return HDDCB->currentIndex() + 1;
}

void TMainForm::PaintSwatches() {
    for (int slot = 1; slot <= MaxDrives; ++slot)
        HDDnTempTrayFI[static_cast<size_t>(slot - 1)]->Paint(
            settings_.TraySlot(slot).TrayFontColor);
    for (int slot = 1; slot <= MaxDrives; ++slot)
        HDDnTempTrayBI[static_cast<size_t>(slot - 1)]->Paint(
            settings_.TraySlot(slot).TrayBackColor);
}

void TMainForm::ShowSmartScreen() {
    const SmartScreen& screen = data_.Screen.Smart;
    const QString status = CoreText(screen.SMARTStatusL);
    SMARTStatusL->setText(status);
    SMARTForm->SMARTStatusL->setText(status);
    InformationGB->ShowTemperatures(screen.Temperatures);
    SMARTForm->ShowGrid(screen.SMARTSG);
}

void TMainForm::HDDRefreshSBClick() {
    Scan();
}

void TMainForm::HDDCBChange(int index) {
    ShowDriveInfo(data_, *bus_, index + 1, *this);
    ReadSMART(data_, *bus_, index + 1, true, RawValueFormatOf(settings_.RAWValues));
    ShowSmartScreen();
}

void TMainForm::ReadSelectedDrive() {
    ReadSMART(data_, *bus_, SelectedSlot(), true, RawValueFormatOf(settings_.RAWValues));
    ShowSmartScreen();
}

void TMainForm::RAWValuesRGClick(int index) {
    settings_.RAWValues = index;
    ReadSelectedDrive();
}

void TMainForm::SMARTReadSBClick() {
    ReadSelectedDrive();
    if (!smartFormPlaced_) {
        CentreOnScreen(SMARTForm);
        smartFormPlaced_ = true;
    }
    SMARTForm->exec();
}

void TMainForm::MBRReadSBClick() {
    MBRForm->MBRReadSBClick(*bus_, data_, SelectedSlot());
}

void TMainForm::SMARTTTimer() {
    SMARTT.stop();
    session_->Tick(SelectedSlot());
    SMARTRunL->setText(CoreText(data_.Screen.SMARTRunL));
    ShowSmartScreen();
    ApplyTimer();
}

void TMainForm::ApplyTimer() {
    if (SMARTT.interval() != session_->IntervalMs())
        SMARTT.setInterval(session_->IntervalMs());
    if (!session_->IsRunning())
        SMARTT.stop();
    else if (!SMARTT.isActive())
        SMARTT.start();
}

void TMainForm::HDDRefreshIntUDClick() {
    ApplyTimer();
}

void TMainForm::SMARTMonCBClick() {
    settings_.SMARTMonitoring = SMARTMonCB->isChecked();
    session_->ApplyMonitoringSwitch();
    ApplyTimer();
}

void TMainForm::SMTPSBClick() {
    if (SMTPForm)
        SMTPForm->exec();
}

void TMainForm::SaveSettingsSBClick() {
    SaveSettingsFromWindows();
}

void TMainForm::SMTPReportsCBClick(bool checked) {
    // A full interval from now; no report is sent at this moment.
    if (checked)
        SMTPReportsTimer.start();
    else
        SMTPReportsTimer.stop();
}

void TMainForm::SMTPDelayUDClick() {
    // A running timer counts the new interval from now.
    SMTPReportsTimer.setInterval(ReportIntervalMs(settings_));
}

void TMainForm::SMTPReportsTimerTimer() {
    SendReport();
}

void TMainForm::SendReport() {
    reports_->SendReport(data_, FormatDateTime(clock_, clock_.Now()));
}

SMTPSnapshot TMainForm::CopySMTPSettings() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    return SnapshotOf(settings_);
}

void TMainForm::ShowSendResult(const std::string& text) {
    StatusSB->showMessage(QString::fromStdString(text));
    QApplication::restoreOverrideCursor();
}

bool TMainForm::ChooseColor(uint32_t& color) {
    ColorDialog->setCurrentColor(ColorFromRef(color));
    if (ColorDialog->exec() != QDialog::Accepted)
        return false;
    color = ColorToRef(ColorDialog->selectedColor());
    return true;
}

void TMainForm::HDDnTempTrayFIClick(int slot) {
    if (!DriveTable::IsSlot(slot))
        return;
    uint32_t& color = settings_.TraySlot(slot).TrayFontColor;
    ChooseColor(color);
    HDDnTempTrayFI[static_cast<size_t>(slot - 1)]->Paint(color);
    Tray->SetFontColor(slot, color);
}

void TMainForm::HDDnTempTrayBIClick(int slot) {
    if (!DriveTable::IsSlot(slot))
        return;
    uint32_t& color = settings_.TraySlot(slot).TrayBackColor;
    ChooseColor(color);
    HDDnTempTrayBI[static_cast<size_t>(slot - 1)]->Paint(color);
    Tray->SetBackColor(slot, color);
}

void TMainForm::HDDnTempTrayCBClick(int slot) {
    if (!DriveTable::IsSlot(slot))
        return;
    std::array<bool, MaxDrives> checked{};
    for (size_t i = 0; i < checked.size(); ++i)
        checked[i] = HDDnTempTrayCB[i]->isChecked();
    const bool show = TrayCheckBoxState(checked, slot);
    HDDnTempTrayCB[static_cast<size_t>(slot - 1)]->setChecked(show);
    settings_.TraySlot(slot).TrayIcon = show;
    Tray->SetVisible(slot, show);
}

void TMainForm::ShowMainWindow() {
    if (!placed_) {
        CentreOnScreen(this);
        placed_ = true;
    }
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

void TMainForm::MinimizeApplication() {
    if (trayAvailable_)
        hide();
    else
        showMinimized();
}

void TMainForm::HDDnIClick() {
    ShowMainWindow();
}

void TMainForm::HDDnIMinimizeToTray() {
    hide();
    QCoreApplication::processEvents();
}

void TMainForm::Restore1Click() {
    ShowMainWindow();
}

void TMainForm::Minimize1Click() {
    MinimizeApplication();
}

void TMainForm::Exit1Click() {
    data_.ExitRequested = true;
    close();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    if (!data_.ExitRequested) {
        if (trayAvailable_) {
            event->ignore();
            MinimizeApplication();
            return;
        }
        // Without a tray its menu's Exit cannot be reached: closing the
        // window is the way out and ends the program as Exit does.
        data_.ExitRequested = true;
    }
    if (!CloseHandler()) {
        event->ignore();
        return;
    }
    event->accept();
    emit ProgramEnded();
}

bool TMainForm::CloseHandler() {
    const bool reportsRunning = SMTPReportsTimer.isActive();
    SMTPReportsTimer.stop();
    // A transfer in flight gets a bounded time to end; one that takes longer
    // goes on by itself and touches nothing of the closing window.
    reports_->WaitForSendLock(CloseSendLockWait);
    if (!SaveSettingsFromWindows()) {
        // The program keeps running as before: closing a window hides it
        // again, and the reports go on.
        data_.ExitRequested = false;
        if (reportsRunning)
            SMTPReportsTimer.start();
        return false;
    }
    SMARTForm->close();
    MBRForm->close();
    if (SMTPForm)
        SMTPForm->CloseWindow();
    if (data_.DriveCount > 0) {
        session_->Stop();
        SMARTT.stop();
    }
    Tray->HideAll();
    return true;
}

void TMainForm::SaveSMARTSBClick() {
    if (LogSD->exec() != QDialog::Accepted || LogSD->selectedFiles().isEmpty())
        return;
    const InfoPanel& panel = data_.Screen.Info;
    const std::string path = QFile::encodeName(LogSD->selectedFiles().first()).toStdString();
    // Nothing is reported either way.
    WriteSmartReport(path, SystemLocalClock(), {panel.HDDModelL, panel.HDDFirmwareL, panel.HDDSNL},
                     data_.Screen.Smart.SMARTSG);
}

// ScanView

void TMainForm::ClearDriveList() {
    HDDCB->clear();
}

void TMainForm::AddDriveListItem(const std::string& model) {
    HDDCB->addItem(CoreText(model));
}

void TMainForm::SelectDriveListItem(int index) {
    HDDCB->setCurrentIndex(index);
}

void TMainForm::SetTrayColors(int slot, uint32_t fontColor, uint32_t backColor) {
    Tray->SetFontColor(slot, fontColor);
    Tray->SetBackColor(slot, backColor);
}

void TMainForm::EnableTrayCheckBox(int slot, bool check) {
    if (!DriveTable::IsSlot(slot))
        return;
    QCheckBox* box = HDDnTempTrayCB[static_cast<size_t>(slot - 1)];
    box->setEnabled(true);
    if (check)
        box->setChecked(true);
}

void TMainForm::SetTrayIcon(int slot, const std::string& hint, bool visible) {
    Tray->SetHint(slot, hint);
    Tray->SetVisible(slot, visible);
}

void TMainForm::ShowInfoBalloon(int slot, const std::string& title, const std::string& text,
                                int seconds) {
    Tray->ShowInfoBalloon(slot, title, text, seconds);
}

void TMainForm::InfoPanelChanged(const InfoPanel& panel) {
    InformationGB->ShowPanel(panel);
}

} // namespace quorvane
