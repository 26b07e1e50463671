#include "gui/MainForm.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <ctime>
#include <iostream>

#include "app/FeatureLevels.h"
#include "app/NvmeLogs.h"
#include "app/ReadSmart.h"
#include "app/SelfTests.h"
#include "gui/AboutGroup.h"
#include "gui/Controls.h"
#include "gui/FeatureGroup.h"
#include "gui/HistoryForm.h"
#include "gui/Fonts.h"
#include "gui/LazyIcon.h"
#include "gui/MbrForm.h"
#include "gui/QtUiHandOver.h"
#include "gui/Siren.h"
#include "gui/SettingsGroup.h"
#include "gui/SmartForm.h"
#include "monitor/TextIcon.h"
#include "platform/LocalClock.h"
#include "platform/Platform.h"
#include "platform/SafeWrite.h"
#include "platform/Version.h"
#include "smart/SmartReport.h"
#include "smart/SmartHealth.h"

namespace quorvane {

namespace {

constexpr int ClientWidth = 491;
constexpr int ClientHeight = 410;
constexpr uint32_t Blue = 0x00FF0000;

// Read when a window first shows it: the program starts hidden in the tray.
QIcon ProgramIcon() {
    return LazyIcon([] {
        QIcon icon;
        for (const char* file : {":/quorvane-32.png", ":/quorvane-64.png", ":/quorvane-128.png"})
            icon.addFile(file);
        return icon;
    });
}

} // namespace

TMainForm::TMainForm(Program& program, MainFormServices services, QWidget* parent)
    : QWidget(parent), SMARTForm([this] { return makeSmartForm(); }),
      MBRForm([this] { return makeMbrForm(); }), SMTPForm([this] { return makeSmtpForm(); }),
      HistoryForm([this] { return makeHistoryForm(); }),
      program_(program), data_(program.Data()), settings_(program.Options()),
      trayAvailable_(services.TrayAvailable) {
    setObjectName("MainForm");
    setWindowTitle(QString::fromStdString(MainWindowTitle(program_.Bus().IsSimulated())));
    setWindowIcon(ProgramIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(FormFont());
    setFixedSize(ClientWidth, ClientHeight);

    createDriveRow();
    InformationGB = new TInformationGroup(this);
    SettingsGB = new TSettingsGroup(settings_, this);
    AboutGB = new TAboutGroup(this);
    StatusSB = new QStatusBar(this);
    StatusSB->setObjectName("StatusSB");
    StatusSB->setSizeGripEnabled(false);
    StatusSB->setGeometry(0, ClientHeight - 19, ClientWidth, 19);

    SMARTT.setObjectName("SMARTT");
    SMARTT.setInterval(MinRefreshInterval * 1000);
    SMTPReportsTimer.setObjectName("SMTPReportsTimer");
    SMTPReportsTimer.setInterval(1200000);

    Tray =
        new TTrayBank(this, trayAvailable_, program_.Bus().IsSimulated(), std::move(services.Siren));
    ProgramPorts ports;
    ports.Monitor = Tray;
    ports.Warnings = this;
    ports.Reports = this;
    ports.HandOver = std::make_unique<QtUiHandOver>(this);
    program_.Attach(std::move(ports));
    createConnections();
}

// Each window blocks the main window only: the tray icons and their menu
// stay usable, and Exit closes an open window first.
TSMARTForm* TMainForm::makeSmartForm() {
    auto* form = new TSMARTForm(this);
    form->setWindowModality(Qt::WindowModal);
    connect(form, &TSMARTForm::ReadRequested, this, &TMainForm::ReadSelectedDrive);
    connect(form, &TSMARTForm::RawValuesChosen, this, &TMainForm::RAWValuesRGClick);
    connect(form, &TSMARTForm::SaveRequested, this, &TMainForm::SaveSMARTSBClick);
    connect(form, &TSMARTForm::SelfTestRequested, this, &TMainForm::SelfTestClick);
    const SmartScreen& screen = data_.Screen.Smart;
    form->SMARTStatusL->setText(CoreText(screen.SMARTStatusL));
    form->ShowGrid(screen.SMARTSG);
    form->ShowSelfTests(screen.SelfTests);
    return form;
}

// The History window does not block the main window: it stays open beside it.
THistoryForm* TMainForm::makeHistoryForm() {
    auto* form = new THistoryForm(this);
    connect(form, &THistoryForm::RangeChosen, this, [this](HistoryRange range) {
        historyRange_ = range;
        ShowHistory();
    });
    connect(form, &THistoryForm::AttributeChosen, this, [this](qint64 key) {
        historyAttribute_ = key;
        ShowHistory();
    });
    return form;
}

TMBRForm* TMainForm::makeMbrForm() {
    auto* form = new TMBRForm(this);
    form->setWindowModality(Qt::WindowModal);
    return form;
}

TSMTPForm* TMainForm::makeSmtpForm() {
    auto* form = new TSMTPForm(settings_, data_.ExitRequested, this);
    form->setWindowModality(Qt::WindowModal);
    connect(form, &TSMTPForm::ReportsClicked, this, &TMainForm::SMTPReportsCBClick);
    connect(form, &TSMTPForm::DelayClicked, this, &TMainForm::SMTPDelayUDClick);
    connect(form, &TSMTPForm::SendTestReportClicked, this, &TMainForm::SendReport);
    form->ShowSettings();
    return form;
}

// The session and the report service go before the views they show
// through.
TMainForm::~TMainForm() {
    program_.Detach();
}

void TMainForm::createDriveRow() {
    HDDNL = MakeLabel(this, "HDDNL", "HDD:", 4, 12);
    HDDCB = new QComboBox(this);
    HDDCB->setObjectName("HDDCB");
    HDDCB->setEditable(false);
    HDDCB->setGeometry(40, 8, 293, 21);
    HDDRefreshSB = MakeSpeedButton(this, "HDDRefreshSB",
                                   LazyStandardIcon(QStyle::SP_BrowserReload),
                                   "Refresh HDDs List", 340, 7);
    MBRReadSB = MakeSpeedButton(this, "MBRReadSB", LazyStandardIcon(QStyle::SP_DriveHDIcon),
                                "Get MBR", 364, 7);

    HDDGB = new QGroupBox(this);
    HDDGB->setObjectName("HDDGB");
    HDDGB->setGeometry(0, 32, 485, 37);
    SMARTNL = MakeLabel(HDDGB, "SMARTNL", "S.M.A.R.T.:", 12, 14);
    SMARTStatusL = MakeLabel(HDDGB, "SMARTStatusL", NotMeasuredText, 80, 14, 120);
    SetTextColor(SMARTStatusL, Blue);
    SMARTReadSB = MakeSpeedButton(HDDGB, "SMARTReadSB",
                                  LazyStandardIcon(QStyle::SP_FileDialogDetailedView),
                                  "Read S.M.A.R.T.", 452, 9);
    HistorySB = MakeSpeedButton(HDDGB, "HistorySB",
                                LazyStandardIcon(QStyle::SP_FileDialogContentsView),
                                "History", 428, 9);
}

void TMainForm::createConnections() {
    connect(HDDRefreshSB, &QToolButton::clicked, this, &TMainForm::HDDRefreshSBClick);
    connect(HDDCB, &QComboBox::activated, this, &TMainForm::HDDCBChange);
    connect(SMARTReadSB, &QToolButton::clicked, this, &TMainForm::SMARTReadSBClick);
    connect(HistorySB, &QToolButton::clicked, this, &TMainForm::HistorySBClick);
    connect(MBRReadSB, &QToolButton::clicked, this, &TMainForm::MBRReadSBClick);
    connect(&SMARTT, &QTimer::timeout, this, &TMainForm::SMARTTTimer);
    TSettingsGroup* g = SettingsGB;
    connect(g, &TSettingsGroup::RefreshIntervalClicked, this, &TMainForm::HDDRefreshIntUDClick);
    connect(g, &TSettingsGroup::MonitoringClicked, this, &TMainForm::SMARTMonCBClick);
    connect(g, &TSettingsGroup::SMTPClicked, this, &TMainForm::SMTPSBClick);
    connect(g, &TSettingsGroup::SaveClicked, this, &TMainForm::SaveSettingsSBClick);
    connect(g, &TSettingsGroup::TrayColorsChanged, this, [this](int slot) {
        SetTrayColors(slot, settings_.TraySlot(slot).TrayFontColor,
                      settings_.TraySlot(slot).TrayBackColor);
    });
    connect(g, &TSettingsGroup::TrayIconSwitched, Tray, &TTrayBank::SetVisible);
    connectFeatureGroup(InformationGB->AAMGB, Feature::AAM);
    connectFeatureGroup(InformationGB->APMGB, Feature::APM);
    connect(&SMTPReportsTimer, &QTimer::timeout, this, &TMainForm::SMTPReportsTimerTimer);
    connect(Tray, &TTrayBank::IconClicked, this, &TMainForm::HDDnIClick);
    connect(Tray, &TTrayBank::MinimizeToTrayRequested, this, &TMainForm::HDDnIMinimizeToTray);
    connect(Tray->Restore1, &QAction::triggered, this, &TMainForm::Restore1Click);
    connect(Tray->Minimize1, &QAction::triggered, this, &TMainForm::Minimize1Click);
    connect(Tray->Exit1, &QAction::triggered, this, &TMainForm::Exit1Click);
    connect(Tray->History1, &QAction::triggered, this, &TMainForm::HistorySBClick);
    connect(Tray, &TTrayBank::HistoryNotice, StatusSB,
            [this](const QString& text) { StatusSB->showMessage(text); });
    connect(AboutGB, &TAboutGroup::OpenLinkRequested, this, &TMainForm::OpenLinkRequested);
}

void TMainForm::connectFeatureGroup(TFeatureGroup* group, Feature feature) {
    const auto state = [this, feature]() -> FeatureGroupState& {
        return feature == Feature::AAM ? data_.Screen.Info.AAMGB : data_.Screen.Info.APMGB;
    };
    connect(group, &TFeatureGroup::LevelMoved, this, [group, state](int position) {
        MoveFeatureLevel(state(), position);
        group->Show(state());
    });
    connect(group->GetSB, &QToolButton::clicked, this, [this, group, state, feature] {
        FeatureGetExecute(feature, state(), program_.Bus(), data_, SelectedSlot());
        group->Show(state());
    });
    connect(group->SetSB, &QToolButton::clicked, this, [this, group, state, feature] {
        FeatureSetExecute(feature, state(), program_.Bus(), data_, SelectedSlot());
        group->Show(state());
    });
}

bool TMainForm::StartupSequence() {
    AboutGB->ShowVersions(ProgramVersion(), RunningSystemText());

    LoadSettingsIntoWindows();
    ShowSmartScreen();
    const bool found = Scan();
    // A simulated drive's broken page file: said where it is seen, the
    // first one in the status bar and each on standard error.
    const std::vector<std::string> problems = program_.Bus().Problems();
    for (const std::string& problem : problems)
        std::cerr << "quorvane: " << problem << "\n";
    if (!problems.empty())
        StatusSB->showMessage(QFile::decodeName(QByteArray::fromStdString(problems.front())));
    if (!found) {
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
    program_.LoadSettings();
    ShowSettings();
    // The interval goes to the timer now; the scan starts it.
    SMARTT.setInterval(program_.Session().IntervalMs());
    // Only the two boxes with click behaviour matter: SMARTMonCB's changes
    // nothing while no drive is known, SMTPReportsCB's starts the reports.
    if (!settings_.SMARTMonitoring)
        SMARTMonCBClick();
    SMTPReportsTimer.setInterval(ReportIntervalMs(settings_));
    if (settings_.SMTPReports)
        SMTPReportsCBClick(true);
    SettingsGB->AutoRunCB->setChecked(settings_.AutoRun);
}

bool TMainForm::SaveSettingsFromWindows() {
    const SaveOutcome outcome = program_.SaveSettings();
    if (!outcome.Written) {
        QMessageBox box(QMessageBox::Warning, ProgramTitle,
                        QFile::decodeName(QByteArray::fromStdString(outcome.Message)),
                        QMessageBox::Ok, this);
        box.setObjectName("SaveSettingsMessage");
        box.setWindowModality(Qt::WindowModal);
        box.exec();
    } else if (!outcome.Notice.empty()) {
        StatusSB->showMessage(QFile::decodeName(QByteArray::fromStdString(outcome.Notice)));
    }
    return outcome.Written;
}

void TMainForm::ShowSettings() {
    SettingsGB->ShowSettings();
    if (TSMTPForm* smtp = SMTPForm.Made())
        smtp->ShowSettings();
    for (int slot = 1; slot <= MaxDrives; ++slot) {
        Tray->SetFontColor(slot, settings_.TraySlot(slot).TrayFontColor);
        Tray->SetBackColor(slot, settings_.TraySlot(slot).TrayBackColor);
    }
}

bool TMainForm::Scan() {
    if (!ScanDrives(data_, program_.Bus(), *this, settings_))
        return false;
    program_.Session().Start();
    SMARTTTimer();
    return true;
}

int TMainForm::SelectedSlot() const {
    return HDDCB->currentIndex() + 1;
}

void TMainForm::ShowSmartScreen() {
    const SmartScreen& screen = data_.Screen.Smart;
    const QString status = CoreText(screen.SMARTStatusL);
    SMARTStatusL->setText(status);
    InformationGB->ShowTemperatures(screen.Temperatures);
    // A window not made yet is filled when it is made.
    if (TSMARTForm* form = SMARTForm.Made()) {
        form->SMARTStatusL->setText(status);
        form->ShowGrid(screen.SMARTSG);
        form->ShowSelfTests(screen.SelfTests);
    }
}

void TMainForm::HDDRefreshSBClick() {
    Scan();
}

void TMainForm::HDDCBChange(int index) {
    ShowDriveInfo(data_, program_.Bus(), index + 1, *this);
    ReadSMART(data_, program_.Bus(), index + 1, true, RawValueFormatOf(settings_.RAWValues));
    ShowSelfTests(data_, program_.Bus(), index + 1, true);
    ShowSmartScreen();
}

void TMainForm::ReadSelectedDrive() {
    ReadSMART(data_, program_.Bus(), SelectedSlot(), true, RawValueFormatOf(settings_.RAWValues));
    ShowSelfTests(data_, program_.Bus(), SelectedSlot(), true);
    ShowSmartScreen();
}

// Start or Abort, then the drive read again: the row and the log show what
// the drive says of the test now.
void TMainForm::SelfTestClick(SelfTestKind kind) {
    StartSelfTestOnScreen(data_, program_.Bus(), SelectedSlot(), kind);
    ReadSelectedDrive();
}

void TMainForm::RAWValuesRGClick(int index) {
    settings_.RAWValues = index;
    ReadSelectedDrive();
}

void TMainForm::SMARTReadSBClick() {
    ReadSelectedDrive();
    // Its height follows the rows of the drive shown, so it is placed anew
    // each time, and kept within the screen.
    if (QScreen* screen = SMARTForm->screen())
        SMARTForm->FitWithin(screen->availableGeometry());
    CentreOnScreen(SMARTForm);
    SMARTForm->exec();
}

void TMainForm::MBRReadSBClick() {
    MBRForm->MBRReadSBClick(program_.Bus(), data_, SelectedSlot());
}

void TMainForm::SMARTTTimer() {
    SMARTT.stop();
    program_.Session().Tick(SelectedSlot());
    SettingsGB->SMARTRunL->setText(CoreText(data_.Screen.SMARTRunL));
    ShowSmartScreen();
    ApplyTimer();
}

void TMainForm::ApplyTimer() {
    if (SMARTT.interval() != program_.Session().IntervalMs())
        SMARTT.setInterval(program_.Session().IntervalMs());
    if (!program_.Session().IsRunning())
        SMARTT.stop();
    else if (!SMARTT.isActive())
        SMARTT.start();
}

void TMainForm::HDDRefreshIntUDClick() {
    ApplyTimer();
}

void TMainForm::SMARTMonCBClick() {
    settings_.SMARTMonitoring = SettingsGB->SMARTMonCB->isChecked();
    program_.Session().ApplyMonitoringSwitch();
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
    program_.Reports().SendReport(data_, FormatDateTime(clock_, clock_.Now()));
}

void TMainForm::SendRiseWarning(const std::string& rise) {
    program_.Reports().SendRiseWarning(data_, FormatDateTime(clock_, clock_.Now()), rise);
}

void TMainForm::HistorySBClick() {
    ShowHistory();
    HistoryForm->show();
    HistoryForm->raise();
    HistoryForm->activateWindow();
}

void TMainForm::ShowHistory() {
    HistoryForm->Show(MakeHistoryScreen(program_.History(), data_, historyRange_,
                                        historyAttribute_,
                                        static_cast<history::Seconds>(std::time(nullptr))));
}

SMTPSnapshot TMainForm::CopySMTPSettings() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    return SnapshotOf(settings_);
}

void TMainForm::ShowSendResult(const std::string& text) {
    StatusSB->showMessage(QString::fromStdString(text));
    QApplication::restoreOverrideCursor();
}

QFileDialog* TMainForm::SaveLogDialog() {
    // Made when first needed: a file dialog costs start-up time, a thread and
    // a watcher on its folder.
    if (!logSD_) {
        logSD_ = new QFileDialog(this, "Save Log");
        logSD_->setObjectName("LogSD");
        logSD_->setAcceptMode(QFileDialog::AcceptSave);
        logSD_->setDefaultSuffix("log");
        logSD_->setNameFilters({"Log files (*.log)", "All files (*.*)"});
        logSD_->setOption(QFileDialog::DontConfirmOverwrite);
        logSD_->setOption(QFileDialog::DontUseNativeDialog);
        logSD_->setWindowModality(Qt::WindowModal);
    }
    return logSD_;
}

void TMainForm::SaveSMARTSBClick() {
    QFileDialog* dialog = SaveLogDialog();
    if (dialog->exec() != QDialog::Accepted || dialog->selectedFiles().isEmpty())
        return;
    const QString chosen = dialog->selectedFiles().first();
    const std::string path = QFile::encodeName(chosen).toStdString();
    if (WriteSmartReport(path, clock_, ReportIdentityOf(data_, program_.Bus(), SelectedSlot()),
                         data_.Screen.Smart.SMARTSG))
        return;
    // The choice stays in the dialog for another try.
    dialog->selectFile(chosen);
    QMessageBox box(QMessageBox::Warning, ProgramTitle,
                    QFile::decodeName(QByteArray::fromStdString(UnableToWriteText(path))),
                    QMessageBox::Ok,
                    SMARTForm.Made() && SMARTForm.Made()->isVisible()
                        ? static_cast<QWidget*>(SMARTForm.Made())
                        : this);
    box.setObjectName("SaveLogMessage");
    box.setWindowModality(Qt::WindowModal);
    box.exec();
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
    SettingsGB->EnableTrayCheckBox(slot, check);
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
