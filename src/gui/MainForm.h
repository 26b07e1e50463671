// The main window: the drive list, the Information group, the settings, the
// About group and the monitoring timer. It starts hidden; the tray icons are
// the program's face. It creates the controls, wires their signals to the
// core and copies the core's screen state into them.
#pragma once

#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>

#include "app/DriveTable.h"
#include "app/Scan.h"
#include "gui/InformationGroup.h"
#include "gui/LazyWindow.h"
#include "program/HistoryScreen.h"
#include "gui/SmtpForm.h"
#include "gui/TrayBank.h"
#include "mail/ReportService.h"
#include "monitor/MonitorSession.h"
#include "platform/LocalClock.h"
#include "monitor/PowerEvents.h"
#include "app/Settings.h"
#include "program/Program.h"

class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QStatusBar;
class QToolButton;

namespace quorvane {

enum class Feature;
class SirenSound;
class TAboutGroup;
class TFeatureGroup;
class TMBRForm;
class TSMARTForm;
class THistoryForm;
class TSettingsGroup;

// What the program entry hands the window besides the program: the sound,
// and whether the desktop has a tray at all.
struct MainFormServices {
    std::unique_ptr<SirenSound> Siren;
    bool TrayAvailable = true;
};

class TMainForm : public QWidget, private ScanView, private ReportWindow, private WarningMail {
    Q_OBJECT

public:
    // program must outlive the window; the window attaches its views to it.
    TMainForm(Program& program, MainFormServices services, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The start-up sequence after the window is made. False when the
    // program is to end at once (no drive found).
    bool StartupSequence();

    // Copies the settings into the controls, the swatches and the icons.
    void ShowSettings();

    // The selected drive: the drive list's item index + 1 (0: none).
    int SelectedSlot() const;

    // The computer is about to sleep: the report timer stops, a mail in
    // flight gets a bounded time to finish, monitoring stops.
    void SleepStarting();
    // It woke: reports (when switched on) and monitoring run again, each a
    // full interval from now.
    void Woken();
    // A session event: the end query, the session's real end, or a
    // cancelled shutdown. True when the program is to end at once (a
    // terminate signal, the session manager's quit): it then ends without
    // saving and without showing a window.
    bool SessionEnding(SessionEvent event);

    // The "Save Log" dialog, made on first use.
    QFileDialog* SaveLogDialog();

    // Controls, by their names.
    QLabel* HDDNL;
    QComboBox* HDDCB;
    QToolButton* HDDRefreshSB;
    QToolButton* MBRReadSB;
    QGroupBox* HDDGB;
    QLabel* SMARTNL;
    QLabel* SMARTStatusL;
    QToolButton* SMARTReadSB;
    QToolButton* HistorySB;
    TInformationGroup* InformationGB;

    TSettingsGroup* SettingsGB;

    TAboutGroup* AboutGB;
    QStatusBar* StatusSB;

    TTrayBank* Tray;
    QTimer SMARTT;
    QTimer SMTPReportsTimer;
    // The secondary windows, made on first use. SMTPForm is released when
    // the program ends.
    LazyWindow<TSMARTForm> SMARTForm;
    LazyWindow<TMBRForm> MBRForm;
    LazyWindow<TSMTPForm> SMTPForm;
    LazyWindow<THistoryForm> HistoryForm;

signals:
    // Exit closed the window: the program ends.
    void ProgramEnded();
    // A link label asks the desktop to open its target.
    void OpenLinkRequested(const QString& target);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // Handlers of the controls, named after them.
    void HDDRefreshSBClick();
    void HDDCBChange(int index);
    void SMARTReadSBClick();
    void HistorySBClick();
    // Draws the History window anew from the history file.
    void ShowHistory();
    void MBRReadSBClick();
    void SMARTTTimer();
    void HDDRefreshIntUDClick();
    void SMARTMonCBClick();
    void HDDnIClick();
    void HDDnIMinimizeToTray();
    void Restore1Click();
    void Minimize1Click();
    void Exit1Click();
    void SaveSMARTSBClick();
    void RAWValuesRGClick(int index);
    void ReadSelectedDrive();
    void SelfTestClick(SelfTestKind kind);
    void SMTPSBClick();
    void SaveSettingsSBClick();
    void SMTPReportsCBClick(bool checked);
    void SMTPDelayUDClick();
    void SMTPReportsTimerTimer();

    void createDriveRow();
    void createConnections();
    // The secondary windows' makers: each connects and fills its window.
    TSMARTForm* makeSmartForm();
    TMBRForm* makeMbrForm();
    TSMTPForm* makeSmtpForm();
    THistoryForm* makeHistoryForm();
    // The get and set buttons and the level bar of one feature group.
    void connectFeatureGroup(TFeatureGroup* group, Feature feature);
    // Ends the program now, without saving: the session is ending.
    void EndWithoutSaving();
    void CloseSecondaryWindows();
    // The way out as the core decided it, with ExitRequested to match.
    void SetEnd(ProgramEnd end);

    // Scans, and starts monitoring with a first tick when drives were found.
    bool Scan();
    // The session's running state and interval on the timer.
    void ApplyTimer();
    // Copies the S.M.A.R.T. part of the screen state into both windows.
    void ShowSmartScreen();
    // Reads the settings file and the autostart entry into the settings and
    // the windows, with the click behaviour of the boxes whose loaded state
    // differs from their design state.
    void LoadSettingsIntoWindows();
    // Writes the settings file and then the autostart entry; when the file
    // cannot be written, says so in a message box and returns false.
    bool SaveSettingsFromWindows();
    void ShowMainWindow();
    void MinimizeApplication();
    // False when the settings could not be saved: the program keeps running.
    bool CloseHandler();

    // ScanView
    void ClearDriveList() override;
    void AddDriveListItem(const std::string& model) override;
    void SelectDriveListItem(int index) override;
    void SetTrayColors(int slot, uint32_t fontColor, uint32_t backColor) override;
    void EnableTrayCheckBox(int slot, bool check) override;
    void SetTrayIcon(int slot, const std::string& hint, bool visible) override;
    void ShowInfoBalloon(int slot, const std::string& title, const std::string& text,
                         int seconds) override;
    void InfoPanelChanged(const InfoPanel& panel) override;
    // ReportWindow
    SMTPSnapshot CopySMTPSettings() override;
    void ShowSendResult(const std::string& text) override;
    // WarningMail, and the report timer's and the test button's send.
    void SendReport() override;
    void SendRiseWarning(const std::string& rise) override;

    Program& program_;
    // The program's drive table and options, which the controls write into.
    ProgramData& data_;
    Settings& settings_;
    SystemLocalClock clock_;
    bool trayAvailable_;
    bool placed_ = false; // centred on the screen when first shown
    // How far the program is on its way out.
    ProgramEnd end_ = ProgramEnd::Running;
    QFileDialog* logSD_ = nullptr;
    HistoryRange historyRange_ = HistoryRange::Week;
    history::CounterKey historyAttribute_ = DefaultHistoryAttribute;
};

} // namespace quorvane
