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
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScreen>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>

#include "gui/Colors.h"
#include "gui/Controls.h"
#include "gui/Fonts.h"
#include "gui/MbrForm.h"
#include "gui/Siren.h"
#include "gui/SmartForm.h"
#include "monitor/TextIcon.h"
#include "shell/Platform.h"
#include "shell/Version.h"
#include "smart/LocalClock.h"
#include "smart/SmartReport.h"

namespace quorvane {

namespace {

constexpr int ClientWidth = 491;
constexpr int ClientHeight = 392;
constexpr uint32_t Blue = 0x00FF0000;
constexpr uint32_t Red = 0x000000FF;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text, int x, int y,
                  int width = 0) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->move(x, y);
    if (width > 0)
        label->resize(width, label->sizeHint().height());
    else
        label->adjustSize();
    return label;
}

// Colours the enabled text only: a disabled label keeps the greyed look that
// tells a missing feature.
void SetTextColor(QWidget* widget, uint32_t color) {
    QPalette p = widget->palette();
    p.setColor(QPalette::Active, QPalette::WindowText, ColorFromRef(color));
    p.setColor(QPalette::Inactive, QPalette::WindowText, ColorFromRef(color));
    widget->setPalette(p);
}

QCheckBox* MakeCheckBox(QWidget* parent, const char* name, const QString& text, int x, int y,
                        bool checked) {
    auto* box = new QCheckBox(text, parent);
    box->setObjectName(name);
    box->move(x, y);
    box->adjustSize();
    box->setChecked(checked);
    return box;
}

QString Latin1(const std::string& text) {
    return QString::fromLatin1(text);
}

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
    : QWidget(parent), bus_(std::move(services.Bus)), siren_(std::move(services.Siren)),
      mail_(std::move(services.Mail)), trayAvailable_(services.TrayAvailable) {
    setObjectName("MainForm");
    setWindowTitle(QString::fromStdString(MainWindowTitle(bus_ && bus_->IsSimulated())));
    setWindowIcon(ProgramIcon());
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(FormFont());
    setFixedSize(ClientWidth, ClientHeight);

    createDriveRow();
    createInformationGroup();
    createSettingsGroup();
    createAboutGroup();
    StatusSB = new QStatusBar(this);
    StatusSB->setObjectName("StatusSB");
    StatusSB->setSizeGripEnabled(false);
    StatusSB->setGeometry(0, ClientHeight - 19, ClientWidth, 19);

    SMARTT.setObjectName("SMARTT");
    SMARTT.setInterval(RefreshIntervalMin * 1000);
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

    for (size_t i = 0; i < HDDLogoIL.size(); ++i)
        HDDLogoIL[i] = QPixmap(QString(":/logos/logo%1.png").arg(i));

    createTrayIcons();
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

void TMainForm::createInformationGroup() {
    InformationGB = new QGroupBox("Information", this);
    InformationGB->setObjectName("InformationGB");
    InformationGB->setGeometry(8, 72, 481, 157);
    QGroupBox* g = InformationGB;

    constexpr int valueX = 118;
    HDDModelNL = MakeLabel(g, "HDDModelNL", "Model Number:", 8, 20);
    HDDModelL = MakeLabel(g, "HDDModelL", "...", valueX, 20, 236);
    SetTextColor(HDDModelL, Blue);
    HDDSNNL = MakeLabel(g, "HDDSNNL", "Serial Number:", 8, 38);
    HDDSNL = MakeLabel(g, "HDDSNL", "...", valueX, 38, 236);
    HDDFirmwareNL = MakeLabel(g, "HDDFirmwareNL", "Firmware Revision:", 8, 56);
    HDDFirmwareL = MakeLabel(g, "HDDFirmwareL", "...", valueX, 56, 120);

    HDDSizeNL = MakeLabel(g, "HDDSizeNL", "Size, GB:", 8, 74);
    HDDSizeL = MakeLabel(g, "HDDSizeL", "...", 62, 74, 56);
    SetTextColor(HDDSizeL, Blue);
    HDDHPANL = MakeLabel(g, "HDDHPANL", "HPA, MB:", 120, 74);
    HDDHPAUL = MakeLabel(g, "HDDHPAUL", "...", 176, 74, 56);

    HDDLBA48L = MakeLabel(g, "HDDLBA48L", "LBA48", 8, 92);
    HDDSMARTL = MakeLabel(g, "HDDSMARTL", "S.M.A.R.T.", 54, 92);
    HDDHPAL = MakeLabel(g, "HDDHPAL", "HPA", 124, 92);
    HDDSecML = MakeLabel(g, "HDDSecML", "Security", 158, 92);
    SetTextColor(HDDSecML, Blue);

    HDDTempNL = MakeLabel(g, "HDDTempNL", QString::fromUtf8("Temperature, °C:"), 8, 112);
    HDDTempL = MakeLabel(g, "HDDTempL", "...", 112, 112, 28);
    HDDTempL->setToolTip("Temperature");
    HDDTempLoL = MakeLabel(g, "HDDTempLoL", "...", 140, 112, 28);
    HDDTempLoL->setToolTip("Low Airflow Temperature");
    SetTextColor(HDDTempLoL, Blue);
    HDDTempHiL = MakeLabel(g, "HDDTempHiL", "...", 168, 112, 28);
    HDDTempHiL->setToolTip("High Airflow Temperature");
    SetTextColor(HDDTempHiL, Red);
    HDDAirTempL = MakeLabel(g, "HDDAirTempL", "...", 196, 112, 28);
    HDDAirTempL->setToolTip("Airflow Temperature");

    for (QLabel* l : {HDDLBA48L, HDDSMARTL, HDDHPAL, HDDHPANL, HDDHPAUL, HDDSecML, HDDTempNL,
                      HDDTempL, HDDTempLoL, HDDTempHiL, HDDAirTempL})
        l->setEnabled(false);

    HDDLogoI = new QLabel(g);
    HDDLogoI->setObjectName("HDDLogoI");
    HDDLogoI->setGeometry(352, 20, 121, 33);

    createFeatureGroup(AAMGB, "AAM", "AAM", 240, AAMPanel, AAMCB, AAMLevelTB, CurrentAAMLevelL,
                       RecommendedAAMLevelL, AAMGetSB, AAMSetSB, "Get AAM", "Set AAM");
    createFeatureGroup(APMGB, "APM", "APM", 358, APMPanel, APMCB, APMLevelTB, CurrentAPMLevelL,
                       RecommendedAPMLevelL, APMGetSB, APMSetSB, QString(), QString());
}

void TMainForm::createFeatureGroup(QGroupBox*& group, const char* prefix, const QString& caption,
                                   int x, QWidget*& panel, QCheckBox*& check, QSlider*& bar,
                                   QLabel*& current, QLabel*& recommended, QToolButton*& get,
                                   QToolButton*& set, const QString& getHint,
                                   const QString& setHint) {
    const QString p = prefix;
    group = new QGroupBox(caption, InformationGB);
    group->setObjectName(p + "GB");
    group->setGeometry(x, 54, 115, 97);

    panel = new QWidget(group);
    panel->setObjectName(p + "Panel");
    panel->setGeometry(6, 16, 18, 18);
    panel->setEnabled(false); // the box only shows what the last read found
    check = new QCheckBox(panel);
    check->setObjectName(p + "CB");
    check->move(1, 1);
    current = MakeLabel(group, "", "...", 30, 18, 36);
    current->setObjectName("Current" + p + "LevelL");
    recommended = MakeLabel(group, "", "...", 70, 18, 36);
    recommended->setObjectName("Recommended" + p + "LevelL");
    bar = new QSlider(Qt::Horizontal, group);
    bar->setObjectName(p + "LevelTB");
    bar->setRange(0, 254);
    bar->setTickInterval(16);
    bar->setTickPosition(QSlider::TicksBelow);
    bar->setGeometry(4, 38, 107, 26);
    get = MakeSpeedButton(group, "", style()->standardIcon(QStyle::SP_BrowserReload), getHint, 30,
                          68);
    get->setObjectName(p + "GetSB");
    set = MakeSpeedButton(group, "", style()->standardIcon(QStyle::SP_DialogApplyButton), setHint,
                          60, 68);
    set->setObjectName(p + "SetSB");
}

void TMainForm::createSettingsGroup() {
    SettingsGB = new QGroupBox("Settings", this);
    SettingsGB->setObjectName("SettingsGB");
    SettingsGB->setGeometry(8, 232, 257, 137);
    QGroupBox* g = SettingsGB;

    SMARTMonCB = MakeCheckBox(g, "SMARTMonCB", "S.M.A.R.T. Monitoring", 8, 16, true);
    SMARTRunL = MakeLabel(g, "SMARTRunL", "-", 150, 19, 10);
    HDDRefreshIntNL = MakeLabel(g, "HDDRefreshIntNL", "Refresh Interval, s", 8, 42);
    HDDRefreshIntE = new QLineEdit(QString::number(RefreshIntervalMin), g);
    HDDRefreshIntE->setObjectName("HDDRefreshIntE");
    HDDRefreshIntE->setReadOnly(true);
    HDDRefreshIntE->setGeometry(116, 38, 30, 21);
    HDDRefreshIntUD = new TUpDown(RefreshIntervalMin, RefreshIntervalMax, RefreshIntervalStep,
                                  RefreshIntervalMin, g);
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

void TMainForm::createAboutGroup() {
    AboutGB = new QGroupBox("About", this);
    AboutGB->setObjectName("AboutGB");
    AboutGB->setGeometry(266, 232, 219, 137);
    QGroupBox* g = AboutGB;

    Image1 = new QLabel(g);
    Image1->setObjectName("Image1");
    Image1->setGeometry(8, 16, 32, 32);
    Image1->setPixmap(QPixmap(":/quorvane-32.png"));
    ProgNameL = MakeLabel(g, "ProgNameL", ProgramTitle, 48, 16);
    QFont bold = ProgNameL->font();
    bold.setBold(true);
    ProgNameL->setFont(bold);
    ProgNameL->adjustSize();
    VersionL = MakeLabel(g, "VersionL", "", 48, 33, 120);
    QFont tahoma = VersionL->font();
    tahoma.setFamilies({"Tahoma", "DejaVu Sans"});
    VersionL->setFont(tahoma);
    FlagI = new QLabel(g);
    FlagI->setObjectName("FlagI");
    FlagI->setGeometry(178, 16, 32, 16);
    FlagI->setPixmap(QPixmap(":/flag.png"));
    // Kernel numbers and a distribution name can take two lines.
    OSL = MakeLabel(g, "OSL", "...", 8, 52, 205);
    OSL->setWordWrap(true);
    OSL->resize(205, 28);
    OSL->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    HomeNL = MakeLabel(g, "HomeNL", "Homepage:", 8, 84);
    HomeL = new TLinkLabel(HomePageText, HomePageUrl, g);
    HomeL->setObjectName("HomeL");
    HomeL->move(76, 84);
    HomeL->adjustSize();
    MailNL = MakeLabel(g, "MailNL", "Support E-Mail:", 8, 101);
    MailL =
        new TLinkLabel(SupportMailbox, QString("mailto:") + SupportMailbox + "?subject=Support", g);
    MailL->setObjectName("MailL");
    MailL->move(8, 115);
    MailL->adjustSize();
}

void TMainForm::createTrayIcons() {
    PopupMenu = new QMenu(this);
    PopupMenu->setObjectName("PopupMenu");
    Restore1 =
        PopupMenu->addAction(style()->standardIcon(QStyle::SP_TitleBarNormalButton), "Restore");
    Restore1->setObjectName("Restore1");
    PopupMenu->addSeparator()->setObjectName("N1");
    Minimize1 =
        PopupMenu->addAction(style()->standardIcon(QStyle::SP_TitleBarMinButton), "Minimize");
    Minimize1->setObjectName("Minimize1");
    PopupMenu->addSeparator()->setObjectName("N2");
    Exit1 = PopupMenu->addAction(style()->standardIcon(QStyle::SP_DialogCloseButton), "Exit");
    Exit1->setObjectName("Exit1");

    const bool simulated = bus_ && bus_->IsSimulated();
    for (size_t i = 0; i < TrayIcons.size(); ++i) {
        auto* icon = new TTextTrayIcon(this, this);
        icon->setObjectName(QString("HDD%1I").arg(i));
        icon->SetPopupMenu(PopupMenu);
        // Without a tray a hidden window could never be reached again, so
        // the window is then minimised the ordinary way.
        icon->SetMinimizeToTray(trayAvailable_);
        icon->SetSimulated(simulated);
        TrayIcons[i] = icon;
    }
}

void TMainForm::createConnections() {
    connect(HDDRefreshSB, &QToolButton::clicked, this, &TMainForm::HDDRefreshSBClick);
    connect(HDDCB, &QComboBox::activated, this, &TMainForm::HDDCBChange);
    connect(SMARTReadSB, &QToolButton::clicked, this, &TMainForm::SMARTReadSBClick);
    connect(MBRReadSB, &QToolButton::clicked, this, &TMainForm::MBRReadSBClick);
    connect(&SMARTT, &QTimer::timeout, this, &TMainForm::SMARTTTimer);
    connect(HDDRefreshIntUD, &TUpDown::PositionChanged, this,
            [this](int position) { HDDRefreshIntE->setText(QString::number(position)); });
    connect(HDDRefreshIntUD, &TUpDown::Clicked, this, &TMainForm::HDDRefreshIntUDClick);
    connect(SMARTMonCB, &QCheckBox::clicked, this, &TMainForm::SMARTMonCBClick);
    for (int slot = 1; slot <= MaxDrives; ++slot) {
        const size_t i = static_cast<size_t>(slot - 1);
        connect(HDDnTempTrayFI[i], &TColorSwatch::Clicked, this,
                [this, slot] { HDDnTempTrayFIClick(slot); });
        connect(HDDnTempTrayBI[i], &TColorSwatch::Clicked, this,
                [this, slot] { HDDnTempTrayBIClick(slot); });
        connect(HDDnTempTrayCB[i], &QCheckBox::clicked, this,
                [this, slot] { HDDnTempTrayCBClick(slot); });
        connect(TrayIcons[i], &TCoolTrayIcon::Click, this, &TMainForm::HDDnIClick);
        connect(TrayIcons[i], &TCoolTrayIcon::MinimizeToTrayRequested, this,
                &TMainForm::HDDnIMinimizeToTray);
    }
    connect(Restore1, &QAction::triggered, this, &TMainForm::Restore1Click);
    connect(Minimize1, &QAction::triggered, this, &TMainForm::Minimize1Click);
    connect(Exit1, &QAction::triggered, this, &TMainForm::Exit1Click);
    connect(HomeL, &TLinkLabel::Clicked, this, &TMainForm::OpenLinkRequested);
    connect(MailL, &TLinkLabel::Clicked, this, &TMainForm::OpenLinkRequested);
    connect(SMARTForm, &TSMARTForm::ReadRequested, this, &TMainForm::ReadSelectedDrive);
    connect(SMARTForm, &TSMARTForm::SaveRequested, this, &TMainForm::SaveSMARTSBClick);
}

bool TMainForm::StartupSequence() {
    const std::string system = RunningSystemText();
    if (!system.empty())
        OSL->setText(QString::fromStdString(system));
    VersionL->setText(QString::fromStdString(ProgramVersion()));
    VersionL->adjustSize();
    RaiseProcessPriority();

    // The settings keep their design values: every icon shown, yellow on
    // black.
    for (int slot = 1; slot <= MaxDrives; ++slot) {
        HDD& drive = data_.Drives[slot];
        drive.TrayFontColor = DefaultTrayFontColor;
        drive.TrayBackColor = DefaultTrayBackColor;
        drive.TrayIcon = true;
    }
    PaintSwatches();
    for (int slot = 1; slot <= MaxDrives; ++slot) {
        TrayIcon(slot)->SetFontColor(data_.Drives[slot].TrayFontColor);
        TrayIcon(slot)->SetColor(data_.Drives[slot].TrayBackColor);
    }
    SMARTForm->ShowGrid(SmartGridModel{});

    if (!ScanDrives(data_, *bus_, panel_, *this,
                    ScanOptions{BallHCB->isChecked(), HDDRefreshIntUD->Position()})) {
        QMessageBox::warning(nullptr, NoDrivesCaption, NoDrivesText);
        return false;
    }
    if (!trayAvailable_)
        ShowMainWindow();
    return true;
}

int TMainForm::SelectedSlot() const {
    return HDDCB->currentIndex() + 1;
}

TTextTrayIcon* TMainForm::TrayIcon(int slot) const {
    return DriveTable::IsSlot(slot) ? TrayIcons[static_cast<size_t>(slot - 1)] : nullptr;
}

void TMainForm::PaintSwatches() {
    for (int slot = 1; slot <= MaxDrives; ++slot)
        HDDnTempTrayFI[static_cast<size_t>(slot - 1)]->Paint(data_.Drives[slot].TrayFontColor);
    for (int slot = 1; slot <= MaxDrives; ++slot)
        HDDnTempTrayBI[static_cast<size_t>(slot - 1)]->Paint(data_.Drives[slot].TrayBackColor);
}

void TMainForm::HDDRefreshSBClick() {
    ScanDrives(data_, *bus_, panel_, *this,
               ScanOptions{BallHCB->isChecked(), HDDRefreshIntUD->Position()});
}

void TMainForm::HDDCBChange(int index) {
    ShowDriveInfo(panel_, data_, *bus_, index + 1, *this);
    ReadSMART(data_, *bus_, this, index + 1, true);
}

void TMainForm::ReadSelectedDrive() {
    ReadSMART(data_, *bus_, this, SelectedSlot(), true);
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
    const bool wasActive = SMARTT.isActive();
    SMARTT.stop();
    const AlertOptions options{AlertCB->isChecked(), BallHCB->isChecked(), smtpWarnings_};
    MonitoringTick(data_, *bus_, this, SelectedSlot(), options, monitorState_, *this, *mail_);
    if (wasActive)
        SMARTT.start();
}

void TMainForm::HDDRefreshIntUDClick() {
    SMARTT.setInterval(HDDRefreshIntUD->Position() * 1000);
}

void TMainForm::SMARTMonCBClick() {
    if (data_.DriveCount == 0)
        return;
    if (SMARTMonCB->isChecked())
        SMARTT.start();
    else
        SMARTT.stop();
}

void TMainForm::HDDnTempTrayFIClick(int slot) {
    if (!DriveTable::IsSlot(slot))
        return;
    HDD& drive = data_.Drives[slot];
    ColorDialog->setCurrentColor(ColorFromRef(drive.TrayFontColor));
    if (ColorDialog->exec() == QDialog::Accepted)
        drive.TrayFontColor = ColorToRef(ColorDialog->selectedColor());
    HDDnTempTrayFI[static_cast<size_t>(slot - 1)]->Paint(drive.TrayFontColor);
    TrayIcon(slot)->SetFontColor(drive.TrayFontColor);
}

void TMainForm::HDDnTempTrayBIClick(int slot) {
    if (!DriveTable::IsSlot(slot))
        return;
    HDD& drive = data_.Drives[slot];
    ColorDialog->setCurrentColor(ColorFromRef(drive.TrayBackColor));
    if (ColorDialog->exec() == QDialog::Accepted)
        drive.TrayBackColor = ColorToRef(ColorDialog->selectedColor());
    HDDnTempTrayBI[static_cast<size_t>(slot - 1)]->Paint(drive.TrayBackColor);
    TrayIcon(slot)->SetColor(drive.TrayBackColor);
}

void TMainForm::HDDnTempTrayCBClick(int slot) {
    if (!DriveTable::IsSlot(slot))
        return;
    std::array<bool, MaxDrives> checked{};
    for (size_t i = 0; i < checked.size(); ++i)
        checked[i] = HDDnTempTrayCB[i]->isChecked();
    const bool show = TrayCheckBoxState(checked, slot);
    HDDnTempTrayCB[static_cast<size_t>(slot - 1)]->setChecked(show);
    data_.Drives[slot].TrayIcon = show;
    TrayIcon(slot)->SetIconVisible(show);
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
    CloseHandler();
    event->accept();
    emit ProgramEnded();
}

void TMainForm::CloseHandler() {
    SMTPReportsTimer.stop();
    SMARTForm->close();
    MBRForm->close();
    if (data_.DriveCount > 0)
        SMARTT.stop();
    for (TTextTrayIcon* icon : TrayIcons)
        icon->SetIconVisible(false);
}

void TMainForm::SaveSMARTSBClick() {
    if (LogSD->exec() != QDialog::Accepted || LogSD->selectedFiles().isEmpty())
        return;
    const SmartReportIdentity identity{HDDModelL->text().toLatin1().toStdString(),
                                       HDDFirmwareL->text().toLatin1().toStdString(),
                                       HDDSNL->text().toLatin1().toStdString()};
    const std::string path = QFile::encodeName(LogSD->selectedFiles().first()).toStdString();
    // Nothing is reported either way.
    WriteSmartReport(path, SystemLocalClock(), identity, SMARTForm->Grid());
}

// ScanView

void TMainForm::ClearDriveList() {
    HDDCB->clear();
}

void TMainForm::AddDriveListItem(const std::string& model) {
    HDDCB->addItem(Latin1(model));
}

void TMainForm::SelectDriveListItem(int index) {
    HDDCB->setCurrentIndex(index);
}

void TMainForm::SetTrayColors(int slot, uint32_t fontColor, uint32_t backColor) {
    if (TTextTrayIcon* icon = TrayIcon(slot)) {
        icon->SetFontColor(fontColor);
        icon->SetColor(backColor);
    }
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
    if (TTextTrayIcon* icon = TrayIcon(slot)) {
        icon->SetHint(Latin1(hint));
        icon->SetIconVisible(visible);
    }
}

void TMainForm::ShowInfoBalloon(int slot, const std::string& title, const std::string& text,
                                int seconds) {
    if (TTextTrayIcon* icon = TrayIcon(slot))
        icon->ShowBalloon(Latin1(title), Latin1(text), seconds,
                          TCoolTrayIcon::BalloonIcon::Information);
}

void TMainForm::InfoPanelChanged(const InfoPanel& panel) {
    HDDSNL->setText(Latin1(panel.HDDSNL));
    HDDFirmwareL->setText(Latin1(panel.HDDFirmwareL));
    HDDModelL->setText(Latin1(panel.HDDModelL));
    HDDSizeL->setText(Latin1(panel.HDDSizeL));
    HDDHPAUL->setText(Latin1(panel.HDDHPAUL));
    HDDLBA48L->setEnabled(panel.HDDLBA48LEnabled);
    HDDSMARTL->setEnabled(panel.HDDSMARTLEnabled);
    for (QLabel* l : {HDDHPAL, HDDHPANL, HDDHPAUL})
        l->setEnabled(panel.HDDHPALEnabled);
    HDDSecML->setEnabled(panel.HDDSecMLEnabled);
    for (QLabel* l : {HDDTempNL, HDDTempL, HDDTempLoL, HDDTempHiL, HDDAirTempL})
        l->setEnabled(panel.HDDTempEnabled);

    QPixmap logo(HDDLogoI->size());
    logo.fill(Qt::white);
    if (panel.LogoIndex && *panel.LogoIndex >= 0 &&
        *panel.LogoIndex < static_cast<int>(HDDLogoIL.size())) {
        QPainter painter(&logo);
        painter.drawPixmap(0, 0, HDDLogoIL[static_cast<size_t>(*panel.LogoIndex)]);
    }
    HDDLogoI->setPixmap(logo);
}

void TMainForm::StartMonitoring(int intervalSeconds) {
    SMARTT.setInterval(intervalSeconds * 1000);
    SMARTT.start();
    SMARTTTimer();
}

// MonitorView

void TMainForm::SetTrayIconText(int slot, const std::string& text) {
    if (TTextTrayIcon* icon = TrayIcon(slot))
        icon->SetText(Latin1(text));
}

void TMainForm::SetTrayIconBorderColor(int slot, uint32_t color) {
    if (TTextTrayIcon* icon = TrayIcon(slot))
        icon->SetBorderColor(color);
}

void TMainForm::SetActivityCaption(const std::string& caption) {
    SMARTRunL->setText(Latin1(caption));
}

void TMainForm::PlaySiren() {
    if (siren_)
        siren_->Play();
}

void TMainForm::ShowErrorBalloon(int slot, const std::string& title, const std::string& text,
                                 int seconds) {
    if (TTextTrayIcon* icon = TrayIcon(slot))
        icon->ShowBalloon(Latin1(title), Latin1(text), seconds, TCoolTrayIcon::BalloonIcon::Error);
}

// SmartDisplay

void TMainForm::ShowSmartStatus(const std::string& caption) {
    SMARTStatusL->setText(Latin1(caption));
    SMARTForm->SMARTStatusL->setText(Latin1(caption));
}

void TMainForm::ShowTemperatures(const TemperatureCaptions& captions) {
    HDDTempL->setText(Latin1(captions.HDDTempL));
    HDDTempLoL->setText(Latin1(captions.HDDTempLoL));
    HDDTempHiL->setText(Latin1(captions.HDDTempHiL));
    HDDAirTempL->setText(Latin1(captions.HDDAirTempL));
}

RawValueFormat TMainForm::RawValuesFormat() const {
    return SMARTForm->RawValuesFormat();
}

void TMainForm::ShowSmartGrid(const SmartGridModel& grid) {
    SMARTForm->ShowGrid(grid);
}

} // namespace quorvane
