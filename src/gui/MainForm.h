// The main window: the drive list, the Information group, the settings, the
// About group, the six tray icons and the monitoring timer. It starts hidden;
// the tray icons are the program's face.
#pragma once

#include <QTimer>
#include <QWidget>
#include <array>
#include <memory>

#include "drive/DriveTable.h"
#include "drive/ReadSmart.h"
#include "drive/Scan.h"
#include "gui/TextTrayIcon.h"
#include "monitor/MonitorTick.h"

class QAction;
class QCheckBox;
class QColorDialog;
class QComboBox;
class QFileDialog;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QSlider;
class QStatusBar;
class QToolButton;

namespace quorvane {

class SirenSound;
class TColorSwatch;
class TLinkLabel;
class TMBRForm;
class TSMARTForm;
class TUpDown;

// What the program entry hands the window: the drives, the sound, the
// warning mail, and whether the desktop has a tray at all.
struct MainFormServices {
    std::unique_ptr<DriveBus> Bus;
    std::unique_ptr<SirenSound> Siren;
    std::unique_ptr<WarningMail> Mail;
    bool TrayAvailable = true;
};

inline constexpr const char* HomePageUrl = "https://quorvane.example.org/";
inline constexpr const char* HomePageText = "quorvane.example.org";
inline constexpr const char* SupportMailbox = "support@quorvane.example.org";

class TMainForm : public QWidget, private ScanView, private MonitorView, private SmartDisplay {
    Q_OBJECT

public:
    explicit TMainForm(MainFormServices services, QWidget* parent = nullptr);
    ~TMainForm() override;

    // The start-up sequence after the window is made. False when the
    // program is to end at once (no drive found).
    bool StartupSequence();

    ProgramData& Data() { return data_; }
    const ProgramData& Data() const { return data_; }
    bool TrayAvailable() const { return trayAvailable_; }

    // The warning switch of the SMTP window (SMTPWarningsCB): a failing drive
    // then also sends the warning mail.
    void SetSmtpWarnings(bool on) { smtpWarnings_ = on; }

    // The selected drive: the drive list's item index + 1 (0: none).
    int SelectedSlot() const;
    // The tray icon of slot 1..6.
    TTextTrayIcon* TrayIcon(int slot) const;

    // Handlers of the controls, named after them.
    void HDDRefreshSBClick();
    void HDDCBChange(int index);
    void SMARTReadSBClick();
    void MBRReadSBClick();
    void SMARTTTimer();
    void HDDRefreshIntUDClick();
    void SMARTMonCBClick();
    void HDDnTempTrayFIClick(int slot);
    void HDDnTempTrayBIClick(int slot);
    void HDDnTempTrayCBClick(int slot);
    void HDDnIClick();
    void HDDnIMinimizeToTray();
    void Restore1Click();
    void Minimize1Click();
    void Exit1Click();
    void SaveSMARTSBClick();
    void ReadSelectedDrive();

    // Controls, by their names.
    QLabel* HDDNL;
    QComboBox* HDDCB;
    QToolButton* HDDRefreshSB;
    QToolButton* MBRReadSB;
    QGroupBox* HDDGB;
    QLabel* SMARTNL;
    QLabel* SMARTStatusL;
    QToolButton* SMARTReadSB;

    QGroupBox* InformationGB;
    QLabel* HDDSNNL;
    QLabel* HDDSNL;
    QLabel* HDDFirmwareNL;
    QLabel* HDDFirmwareL;
    QLabel* HDDModelNL;
    QLabel* HDDModelL;
    QLabel* HDDSizeNL;
    QLabel* HDDSizeL;
    QLabel* HDDHPANL;
    QLabel* HDDHPAUL;
    QLabel* HDDLBA48L;
    QLabel* HDDSMARTL;
    QLabel* HDDHPAL;
    QLabel* HDDSecML;
    QLabel* HDDTempNL;
    QLabel* HDDTempL;
    QLabel* HDDTempLoL;
    QLabel* HDDTempHiL;
    QLabel* HDDAirTempL;
    QLabel* HDDLogoI;
    QGroupBox* AAMGB;
    QWidget* AAMPanel;
    QCheckBox* AAMCB;
    QSlider* AAMLevelTB;
    QLabel* CurrentAAMLevelL;
    QLabel* RecommendedAAMLevelL;
    QToolButton* AAMGetSB;
    QToolButton* AAMSetSB;
    QGroupBox* APMGB;
    QWidget* APMPanel;
    QCheckBox* APMCB;
    QSlider* APMLevelTB;
    QLabel* CurrentAPMLevelL;
    QLabel* RecommendedAPMLevelL;
    QToolButton* APMGetSB;
    QToolButton* APMSetSB;

    QGroupBox* SettingsGB;
    QCheckBox* SMARTMonCB;
    QLabel* SMARTRunL;
    QLabel* HDDRefreshIntNL;
    QLineEdit* HDDRefreshIntE;
    TUpDown* HDDRefreshIntUD;
    QCheckBox* AlertCB;
    QCheckBox* BallHCB;
    QToolButton* SMTPSB;
    QToolButton* SaveSettingsSB;
    QCheckBox* AutoRunCB;
    QGroupBox* IconsGB;
    std::array<QLabel*, MaxDrives> HDDnINL{};
    std::array<TColorSwatch*, MaxDrives> HDDnTempTrayFI{};
    std::array<TColorSwatch*, MaxDrives> HDDnTempTrayBI{};
    std::array<QCheckBox*, MaxDrives> HDDnTempTrayCB{};

    QGroupBox* AboutGB;
    QLabel* Image1;
    QLabel* ProgNameL;
    QLabel* VersionL;
    QLabel* FlagI;
    QLabel* OSL;
    QLabel* HomeNL;
    TLinkLabel* HomeL;
    QLabel* MailNL;
    TLinkLabel* MailL;
    QStatusBar* StatusSB;

    // HDD0I..HDD5I: slot n's icon is HDD(n-1)I.
    std::array<TTextTrayIcon*, MaxDrives> TrayIcons{};
    QMenu* PopupMenu;
    QAction* Restore1;
    QAction* Minimize1;
    QAction* Exit1;
    QTimer SMARTT;
    QTimer SMTPReportsTimer;
    QFileDialog* LogSD;
    QColorDialog* ColorDialog;
    std::array<QPixmap, 9> HDDLogoIL;
    TSMARTForm* SMARTForm;
    TMBRForm* MBRForm;

signals:
    // Exit closed the window: the program ends.
    void ProgramEnded();
    // A link label asks the desktop to open its target.
    void OpenLinkRequested(const QString& target);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void createDriveRow();
    void createInformationGroup();
    void createFeatureGroup(QGroupBox*& group, const char* prefix, const QString& caption, int x,
                            QWidget*& panel, QCheckBox*& check, QSlider*& bar, QLabel*& current,
                            QLabel*& recommended, QToolButton*& get, QToolButton*& set,
                            const QString& getHint, const QString& setHint);
    void createSettingsGroup();
    void createIconsGroup();
    void createAboutGroup();
    void createTrayIcons();
    void createConnections();

    void ShowMainWindow();
    void MinimizeApplication();
    void CloseHandler();
    void PaintSwatches();

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
    void StartMonitoring(int intervalSeconds) override;
    // MonitorView
    void SetTrayIconText(int slot, const std::string& text) override;
    void SetTrayIconBorderColor(int slot, uint32_t color) override;
    void SetActivityCaption(const std::string& caption) override;
    void PlaySiren() override;
    void ShowErrorBalloon(int slot, const std::string& title, const std::string& text,
                          int seconds) override;
    // SmartDisplay
    void ShowSmartStatus(const std::string& caption) override;
    void ShowTemperatures(const TemperatureCaptions& captions) override;
    RawValueFormat RawValuesFormat() const override;
    void ShowSmartGrid(const SmartGridModel& grid) override;

    ProgramData data_;
    InfoPanel panel_;
    MonitorState monitorState_;
    std::unique_ptr<DriveBus> bus_;
    std::unique_ptr<SirenSound> siren_;
    std::unique_ptr<WarningMail> mail_;
    bool trayAvailable_;
    bool smtpWarnings_ = false; // SMTPWarningsCB of the SMTP window
    bool placed_ = false;       // centred on the screen when first shown
    bool smartFormPlaced_ = false;
};

} // namespace quorvane
