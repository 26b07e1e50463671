// The main window on the bundled sample drives: start-up, the drive list and
// Information group, the monitoring tick, the alerts and the icon controls.
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QTableWidget>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

#include "GuiTestSupport.h"
#include "common/TestDrives.h"
#include "gui/AboutGroup.h"
#include "gui/Controls.h"
#include "gui/FeatureGroup.h"
#include "gui/MbrForm.h"
#include "gui/SmartForm.h"
#include "gui/TextTrayIcon.h"
#include "mail/MailTestSupport.h"
#include "platform/Version.h"

namespace quorvane {
namespace {

using test::FormUnderTest;
using test::Rgb;

constexpr uint32_t Green = 0x0000FF00, Red = 0x000000FF, Blue = 0x00FF0000;
constexpr uint32_t Yellow = 0x0000FFFF, Black = 0;

// The samples: drive numbers 0, 1, 2, 3 and 5; the second reports an exceeded
// threshold. Temperatures as skdump reads the same pages; the SSD has no
// vendor code and so no drive temperature.
const char* const SampleModels[] = {"ST9160821AS",         "WDC WD20EARS-00MVWB0",
                                    "SAMSUNG HD501LJ",     "Hitachi HDS721010CLA632",
                                    "INTEL SSDSA2CW120G3", "Samsung SSD 970 EVO Plus 1TB"};
const char* const SampleTemperatures[] = {"38", "44", "47", "30", "0", "31"};

TEST(MainForm, StartsHiddenWithOneFramedIconPerSampleDrive) {
    FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(f.App->Data().DriveCount, 6);
    EXPECT_NE(f->windowTitle().indexOf("simulated"), -1);
    // Five ATA drives, then the NVMe drive in the slot after them.
    EXPECT_TRUE(f.App->Data().Drives[6].IsNvme());
    for (int slot = 1; slot <= 6; ++slot) {
        SCOPED_TRACE(slot);
        TTextTrayIcon* icon = f->Tray->Icon(slot);
        EXPECT_EQ(icon->objectName(), QString("HDD%1I").arg(slot - 1));
        EXPECT_TRUE(icon->IconVisible());
        EXPECT_EQ(icon->Hint(), SampleModels[slot - 1]);
        EXPECT_EQ(icon->ToolTip(), QString(SampleModels[slot - 1]) + "\n(simulated drive)");
        EXPECT_EQ(icon->Text(), SampleTemperatures[slot - 1]);
        EXPECT_EQ(icon->FontColor(), Yellow);
        EXPECT_EQ(icon->Color(), Black);
        EXPECT_EQ(icon->BorderColor(), slot == 2 ? Red : Green);
        EXPECT_TRUE(f->SettingsGB->HDDnTempTrayCB[static_cast<size_t>(slot - 1)]->isEnabled());
        EXPECT_TRUE(f->SettingsGB->HDDnTempTrayCB[static_cast<size_t>(slot - 1)]->isChecked());
    }
    // The scan started the timer and ran the first tick.
    EXPECT_TRUE(f->SMARTT.isActive());
    EXPECT_EQ(f->SMARTT.interval(), 15000);
    EXPECT_EQ(f->SettingsGB->SMARTRunL->text(), "|");
}

// Mended fault: without a tray a hidden window could never be reached, and
// the tray menu's Exit could not be reached either.
TEST(MainForm, WithoutATrayTheWindowShowsMinimisesNormallyAndCloseEnds) {
    FormUnderTest f(test::SampleDrives(), false);
    ASSERT_TRUE(f->StartupSequence());
    EXPECT_TRUE(f->isVisible());
    QSignalSpy ended(f.Form.get(), &TMainForm::ProgramEnded);
    f->setWindowState(Qt::WindowMinimized);
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->windowState() & Qt::WindowMinimized);
    f->Tray->Restore1->trigger();
    EXPECT_FALSE(f->windowState() & Qt::WindowMinimized);
    EXPECT_EQ(ended.count(), 0);

    f->close();
    EXPECT_TRUE(f.App->Data().ExitRequested);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(f->isVisible());
    EXPECT_FALSE(f->SMARTT.isActive());
}

// True when a rendered label shows text in a clear blue.
bool ShowsBlueText(QWidget* label) {
    const QImage image = label->grab().toImage();
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.blue() > 150 && c.red() < 100 && c.green() < 100)
                return true;
        }
    return false;
}

// Picks a drive in the list as the user does.
void ChooseDrive(FormUnderTest& f, int index) {
    f->HDDCB->setCurrentIndex(index);
    emit f->HDDCB->activated(index);
}

TEST(MainForm, DriveListAndInformationShowTheSelectedDrive) {
    FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    ASSERT_EQ(f->HDDCB->count(), 6);
    // The list keeps the model's 40 characters with their trailing blanks.
    EXPECT_EQ(f->HDDCB->itemText(0), QString("ST9160821AS").leftJustified(40));
    EXPECT_EQ(f->HDDCB->currentIndex(), 0);
    EXPECT_EQ(f->InformationGB->HDDModelL->text(), "ST9160821AS");
    EXPECT_EQ(f->InformationGB->HDDSNL->text(), "5MAC2QTA");
    EXPECT_EQ(f->InformationGB->HDDFirmwareL->text(), "3.CLH");
    EXPECT_EQ(f->InformationGB->HDDSizeL->text(), "149");
    EXPECT_TRUE(f->InformationGB->HDDLBA48L->isEnabled());
    EXPECT_TRUE(f->InformationGB->HDDSMARTL->isEnabled());
    EXPECT_TRUE(f->InformationGB->HDDTempL->isEnabled());
    EXPECT_EQ(f->InformationGB->HDDTempL->text(), "38");
    // No Security on this drive: the blue flag label is shown greyed.
    EXPECT_FALSE(f->InformationGB->HDDSecML->isEnabled());
    EXPECT_FALSE(ShowsBlueText(f->InformationGB->HDDSecML));
    EXPECT_EQ(f->SMARTStatusL->text(), "O.K.");
    // A Seagate wordmark on white: the corner is white, the middle is not.
    const QImage logo = f->InformationGB->HDDLogoI->pixmap().toImage();
    ASSERT_EQ(logo.size(), QSize(121, 33));
    EXPECT_EQ(logo.pixelColor(0, 0), QColor(Qt::white));
    bool inked = false;
    for (int x = 0; x < 121 && !inked; ++x)
        inked = logo.pixelColor(x, 14) != QColor(Qt::white);
    EXPECT_TRUE(inked);

    // The Samsung's Host Protected Area of 100 MB.
    ChooseDrive(f, 2);
    EXPECT_EQ(f->InformationGB->HDDModelL->text(), "SAMSUNG HD501LJ");
    EXPECT_TRUE(f->InformationGB->HDDHPAL->isEnabled());
    EXPECT_EQ(f->InformationGB->HDDHPAUL->text(), "100");
    EXPECT_EQ(f->InformationGB->HDDTempL->text(), "47");

    // The failing drive's status; the SSD without a vendor has no logo.
    ChooseDrive(f, 1);
    EXPECT_EQ(f->SMARTStatusL->text(), "ERROR");
    ChooseDrive(f, 4);
    EXPECT_TRUE(f->InformationGB->HDDSecML->isEnabled()); // the Intel SSD has Security
    EXPECT_TRUE(ShowsBlueText(f->InformationGB->HDDSecML));
    const QImage blank = f->InformationGB->HDDLogoI->pixmap().toImage();
    for (int x = 0; x < 121; x += 3)
        ASSERT_EQ(blank.pixelColor(x, 14), QColor(Qt::white)) << x;
}

TEST(MainForm, MonitoringTickRedrawsIconsAndTurnsTheActivityIndicator) {
    FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    // Stale values are replaced by what the drives report.
    for (int slot = 1; slot <= 5; ++slot) {
        f->Tray->Icon(slot)->SetText("99");
        f->Tray->Icon(slot)->SetBorderColor(Blue);
    }
    ASSERT_TRUE(test::FireTimer(f->SMARTT));
    for (int slot = 1; slot <= 5; ++slot) {
        EXPECT_EQ(f->Tray->Icon(slot)->Text(), SampleTemperatures[slot - 1]) << slot;
        const QImage image = f->Tray->Icon(slot)->Image();
        EXPECT_EQ(image.pixelColor(0, 0), Rgb(slot == 2 ? Red : Green)) << slot;
    }
    EXPECT_EQ(f->SettingsGB->SMARTRunL->text(), "/");
    ASSERT_TRUE(test::FireTimer(f->SMARTT));
    EXPECT_EQ(f->SettingsGB->SMARTRunL->text(), "-");
    // After the tick the timer runs on with the full interval.
    EXPECT_TRUE(f->SMARTT.isActive());
    EXPECT_EQ(f->SMARTT.interval(), 15000);
}

TEST(MainForm, AFailingDriveRaisesSirenBalloonAndMail) {
    FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    // The failing sample drive was there at start, but every alert was off.
    EXPECT_EQ(f.Sirens, 0);
    EXPECT_EQ(f.App->Reports().LastReport().Subject, "");

    f->SettingsGB->AlertCB->setChecked(true);
    f->SettingsGB->BallHCB->setChecked(true);
    f.App->Options().SMTPWarnings = true;
    test::RefusingPort nowhere; // the mail is composed and fails on loopback
    f.App->Options().SMTPHost = "127.0.0.1";
    f.App->Options().SMTPPort = std::to_string(nowhere.Port());
    QSignalSpy balloons(f->Tray->Icon(6), &TCoolTrayIcon::BalloonHintShow);
    ASSERT_TRUE(test::FireTimer(f->SMARTT));
    EXPECT_EQ(f.Sirens, 1);
    EXPECT_EQ(f.App->Reports().LastReport().Subject.rfind("Quorvane Report - ", 0), 0u);
    ASSERT_TRUE(test::ReportsDone(*f.App));
    EXPECT_EQ(f->StatusSB->currentMessage(), "Report sending failed");
    ASSERT_EQ(balloons.count(), 1);
    EXPECT_EQ(balloons[0][0].toString(), "Error");
    EXPECT_EQ(balloons[0][1].toString(), "S.M.A.R.T. failure detected!");
    EXPECT_EQ(balloons[0][2].toInt(), 10);
    EXPECT_EQ(balloons[0][3].value<TCoolTrayIcon::BalloonIcon>(),
              TCoolTrayIcon::BalloonIcon::Error);
}

// The first minutes need only the tray: the secondary windows are made when
// first used (then showing what the main window shows), and the sound
// libraries are not loaded before an alert sounds.
TEST(MainForm, SecondaryWindowsAndSoundWaitForTheirFirstUse) {
    FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    ASSERT_TRUE(test::FireTimer(f->SMARTT));
    EXPECT_TRUE(f->findChildren<TSMARTForm*>().isEmpty());
    EXPECT_TRUE(f->findChildren<TMBRForm*>().isEmpty());
    EXPECT_TRUE(f->findChildren<TSMTPForm*>().isEmpty());
    EXPECT_TRUE(f->findChildren<QColorDialog*>().isEmpty());
    QtSirenSound siren;
    std::ifstream maps("/proc/self/maps");
    const std::string mapped((std::istreambuf_iterator<char>(maps)), {});
    EXPECT_EQ(mapped.find("libQt6Multimedia"), std::string::npos);
    EXPECT_EQ(mapped.find("libpulse"), std::string::npos);

    // Made on first use, once, with the scan's and the tick's state.
    TSMARTForm& smart = *f->SMARTForm;
    EXPECT_EQ(f->findChildren<TSMARTForm*>().size(), 1);
    EXPECT_EQ(&*f->SMARTForm, &smart);
    EXPECT_EQ(smart.SMARTStatusL->text(), f->SMARTStatusL->text());
    const auto& rows = f.App->Data().Screen.Smart.SMARTSG.Rows;
    ASSERT_GT(rows.size(), 1u);
    ASSERT_EQ(smart.SMARTSG->rowCount(), static_cast<int>(rows.size()));
    EXPECT_EQ(smart.SMARTSG->item(1, 1)->text(), QString::fromStdString(rows[1][1]));
    EXPECT_TRUE(f->SMTPForm);
    EXPECT_EQ(f->SMTPForm->SMTPHostE->text(),
              QString::fromStdString(f.App->Options().SMTPHost));
    EXPECT_NE(f->MBRForm, nullptr);
}

TEST(MainForm, HealthyDrivesRaiseNoAlert) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    FormUnderTest f(dir.Path());
    f.WriteSettings("[Settings]\nAlert Sound=1\nBalloon Hints=1\nSMTP Warnings=1\n");
    QSignalSpy balloons(f->Tray->Icon(1), &TCoolTrayIcon::BalloonHintShow);
    ASSERT_TRUE(f->StartupSequence());
    ASSERT_TRUE(test::FireTimer(f->SMARTT));
    EXPECT_EQ(f.Sirens, 0);
    EXPECT_EQ(f.App->Reports().LastReport().Subject, "");
    // Only the drive list balloon of the scan, with its line breaks.
    ASSERT_EQ(balloons.count(), 1);
    EXPECT_EQ(balloons[0][0].toString(), "HDDs");
    EXPECT_EQ(balloons[0][1].toString(), "ST9160821AS 149 GB\n");
}

TEST(MainForm, ADriveWithoutSmartShowsDashesInABlueFrame) {
    test::DriveDir dir;
    auto identify = test::PageOf("Hitachi_HDS721010CLA632", "identify");
    identify[170] &= 0xFE; // word 85 bit 0 clear
    dir.AddRealDrive(0, "Hitachi_HDS721010CLA632");
    dir.WriteBytes(0, "identify.bin", identify);
    FormUnderTest f(dir.Path());
    f.WriteSettings("[Settings]\nAlert Sound=1\n");
    ASSERT_TRUE(f->StartupSequence());
    EXPECT_TRUE(f->SettingsGB->AlertCB->isChecked());
    EXPECT_EQ(f->Tray->Icon(1)->Text(), "---");
    EXPECT_EQ(f->Tray->Icon(1)->Image().pixelColor(15, 15), Rgb(Blue));
    EXPECT_FALSE(f->InformationGB->HDDTempL->isEnabled());
    EXPECT_EQ(f.Sirens, 0);
}

TEST(MainForm, ColourSwatchesOpenTheDialogAndRepaintIconAndSwatch) {
    FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    TColorSwatch* swatch = f->SettingsGB->HDDnTempTrayFI[2];
    EXPECT_EQ(swatch->objectName(), "HDD3TempTrayFI");
    EXPECT_EQ(swatch->cursor().shape(), Qt::PointingHandCursor);

    test::WhenModal([&] {
        EXPECT_EQ(f->SettingsGB->ColorDialog->currentColor(), Rgb(Yellow));
        f->SettingsGB->ColorDialog->setCurrentColor(QColor(255, 255, 255));
        f->SettingsGB->ColorDialog->accept();
    });
    QTest::mouseClick(swatch, Qt::LeftButton);
    EXPECT_EQ(f.App->Options().TraySlot(3).TrayFontColor, 0x00FFFFFFu);
    EXPECT_EQ(f->Tray->Icon(3)->FontColor(), 0x00FFFFFFu);
    const QImage painted = swatch->pixmap().toImage();
    EXPECT_EQ(painted.pixelColor(0, 0), QColor(Qt::black));
    EXPECT_EQ(painted.pixelColor(8, 8), QColor(Qt::black));
    EXPECT_EQ(painted.pixelColor(4, 4), QColor(Qt::white));

    // Cancelled: the background keeps its colour.
    test::WhenModal([&] {
        f->SettingsGB->ColorDialog->setCurrentColor(QColor(255, 0, 0));
        f->SettingsGB->ColorDialog->reject();
    });
    QTest::mouseClick(f->SettingsGB->HDDnTempTrayBI[2], Qt::LeftButton);
    EXPECT_EQ(f.App->Options().TraySlot(3).TrayBackColor, Black);
    EXPECT_EQ(f->Tray->Icon(3)->Color(), Black);
    EXPECT_EQ(f->SettingsGB->HDDnTempTrayBI[2]->pixmap().toImage().pixelColor(4, 4), QColor(Qt::black));

    // Background set to the font colour: the icon inverts it.
    test::WhenModal([&] {
        f->SettingsGB->ColorDialog->setCurrentColor(QColor(255, 255, 255));
        f->SettingsGB->ColorDialog->accept();
    });
    QTest::mouseClick(f->SettingsGB->HDDnTempTrayBI[2], Qt::LeftButton);
    EXPECT_EQ(f->Tray->Icon(3)->Image().pixelColor(7, 1), QColor(Qt::black));
}

TEST(MainForm, AtLeastOneIconStaysInTheTray) {
    FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    for (size_t i = 0; i < 5; ++i)
        QTest::mouseClick(f->SettingsGB->HDDnTempTrayCB[i], Qt::LeftButton);
    for (int slot = 1; slot <= 5; ++slot) {
        EXPECT_FALSE(f->Tray->Icon(slot)->IconVisible()) << slot;
        EXPECT_FALSE(f.App->Options().TraySlot(slot).TrayIcon) << slot;
    }
    // The last checked box cannot be unchecked.
    QTest::mouseClick(f->SettingsGB->HDDnTempTrayCB[5], Qt::LeftButton);
    EXPECT_TRUE(f->SettingsGB->HDDnTempTrayCB[5]->isChecked());
    EXPECT_TRUE(f->Tray->Icon(6)->IconVisible());
    // Checking another brings its icon back.
    QTest::mouseClick(f->SettingsGB->HDDnTempTrayCB[0], Qt::LeftButton);
    EXPECT_TRUE(f->Tray->Icon(1)->IconVisible());
    EXPECT_TRUE(f.App->Options().TraySlot(1).TrayIcon);
}

TEST(MainForm, RefreshIntervalAndMonitoringSwitchDriveTheTimer) {
    FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    EXPECT_EQ(f->SettingsGB->HDDRefreshIntE->text(), "15");
    EXPECT_TRUE(f->SettingsGB->HDDRefreshIntE->isReadOnly());
    f->SettingsGB->HDDRefreshIntUD->Step(-1);
    EXPECT_EQ(f->SettingsGB->HDDRefreshIntUD->Position(), 15);
    f->SettingsGB->HDDRefreshIntUD->Step(+1);
    EXPECT_EQ(f->SettingsGB->HDDRefreshIntE->text(), "30");
    EXPECT_EQ(f->SMARTT.interval(), 30000);
    f->SettingsGB->HDDRefreshIntUD->SetPosition(10000);
    f->SettingsGB->HDDRefreshIntUD->Step(+1);
    EXPECT_EQ(f->SettingsGB->HDDRefreshIntE->text(), "900");
    EXPECT_EQ(f->SMARTT.interval(), 900000);
    EXPECT_TRUE(f->SMARTT.isActive());

    QTest::mouseClick(f->SettingsGB->SMARTMonCB, Qt::LeftButton);
    EXPECT_FALSE(f->SettingsGB->SMARTMonCB->isChecked());
    EXPECT_FALSE(f->SMARTT.isActive());
    QTest::mouseClick(f->SettingsGB->SMARTMonCB, Qt::LeftButton);
    EXPECT_TRUE(f->SMARTT.isActive());
}

TEST(MainForm, RefreshRescansTheDrives) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    FormUnderTest f(dir.Path());
    ASSERT_TRUE(f->StartupSequence());
    ASSERT_EQ(f->HDDCB->count(), 1);
    dir.AddRealDrive(1, "Hitachi_HDS721010CLA632");
    QTest::mouseClick(f->HDDRefreshSB, Qt::LeftButton);
    EXPECT_EQ(f->HDDCB->count(), 2);
    EXPECT_TRUE(f->Tray->Icon(2)->IconVisible());
    EXPECT_EQ(f->Tray->Icon(2)->Text(), "30");
}

TEST(MainForm, AboutShowsVersionSystemAndLinks) {
    FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    EXPECT_EQ(f->AboutGB->VersionL->text().toStdString(), ProgramVersion());
    EXPECT_EQ(f->AboutGB->VersionL->text().count('.'), 3);
    EXPECT_NE(f->AboutGB->OSL->text(), "...");
    EXPECT_EQ(f->AboutGB->ProgNameL->text(), "Quorvane");

    QSignalSpy opened(f.Form.get(), &TMainForm::OpenLinkRequested);
    QTest::mouseClick(f->AboutGB->MailL, Qt::LeftButton);
    QTest::mouseClick(f->AboutGB->HomeL, Qt::LeftButton);
    ASSERT_EQ(opened.count(), 2);
    EXPECT_EQ(opened[0][0].toString(), "mailto:support@quorvane.example.org?subject=Support");
    EXPECT_TRUE(opened[1][0].toString().startsWith("https://"));

    // Hover turns the link red with the hand cursor; leaving turns it blue.
    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(f->AboutGB->HomeL, &enter);
    EXPECT_EQ(f->AboutGB->HomeL->palette().color(QPalette::WindowText), QColor(255, 0, 0));
    EXPECT_EQ(f->AboutGB->HomeL->cursor().shape(), Qt::PointingHandCursor);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(f->AboutGB->HomeL, &leave);
    EXPECT_EQ(f->AboutGB->HomeL->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_TRUE(f->AboutGB->HomeL->font().underline());
}

// The row of a group box's top frame line as painted: the first row, down
// column x, that differs from the group's background. Children are hidden
// for the look so only the frame is drawn there.
int PaintedFrameTop(QGroupBox* group, int x) {
    const QList<QWidget*> children = group->findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    for (QWidget* child : children)
        child->hide();
    const QImage image = group->grab().toImage();
    for (QWidget* child : children)
        child->show();
    const QColor background = image.pixelColor(x, 0);
    for (int y = 0; y < image.height(); ++y)
        if (image.pixelColor(x, y) != background)
            return y;
    return -1;
}

TEST(MainForm, TheVendorLogoSitsInsideTheInformationFrame) {
    FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    const QRect logo = f->InformationGB->HDDLogoI->geometry();
    const int frameTop = PaintedFrameTop(f->InformationGB, logo.center().x());
    ASSERT_GT(frameTop, 0);
    // Below the frame's line, and clear of the AAM and APM groups.
    EXPECT_GT(logo.top(), frameTop);
    EXPECT_LT(logo.right(), f->InformationGB->width() - 2);
    EXPECT_LT(logo.bottom(), f->InformationGB->AAMGB->y());
    EXPECT_LT(logo.bottom(), f->InformationGB->APMGB->y());
}

TEST(MainForm, EveryDesignedControlCarriesItsName) {
    FormUnderTest f(test::SampleDrives());
    for (const char* name : {"HDDNL",
                             "HDDCB",
                             "HDDRefreshSB",
                             "MBRReadSB",
                             "HDDGB",
                             "SMARTNL",
                             "SMARTStatusL",
                             "SMARTReadSB",
                             "InformationGB",
                             "HDDSNNL",
                             "HDDSNL",
                             "HDDFirmwareNL",
                             "HDDFirmwareL",
                             "HDDModelNL",
                             "HDDModelL",
                             "HDDSizeNL",
                             "HDDSizeL",
                             "HDDHPANL",
                             "HDDHPAUL",
                             "HDDLBA48L",
                             "HDDSMARTL",
                             "HDDHPAL",
                             "HDDSecML",
                             "HDDTempNL",
                             "HDDTempL",
                             "HDDTempLoL",
                             "HDDTempHiL",
                             "HDDAirTempL",
                             "HDDLogoI",
                             "AAMGB",
                             "APMGB",
                             "AAMCB",
                             "APMCB",
                             "AAMLevelTB",
                             "APMLevelTB",
                             "CurrentAAMLevelL",
                             "RecommendedAPMLevelL",
                             "AAMGetSB",
                             "APMSetSB",
                             "SettingsGB",
                             "SMARTMonCB",
                             "SMARTRunL",
                             "HDDRefreshIntNL",
                             "HDDRefreshIntE",
                             "HDDRefreshIntUD",
                             "AlertCB",
                             "BallHCB",
                             "SMTPSB",
                             "SaveSettingsSB",
                             "AutoRunCB",
                             "LetDrivesSleepCB",
                             "IconsGB",
                             "HDD1INL",
                             "HDD6INL",
                             "HDD1TempTrayFI",
                             "HDD6TempTrayBI",
                             "HDD6TempTrayCB",
                             "AboutGB",
                             "Image1",
                             "ProgNameL",
                             "VersionL",
                             "FlagI",
                             "OSL",
                             "HomeNL",
                             "HomeL",
                             "MailNL",
                             "MailL",
                             "StatusSB",
                             "PopupMenu"})
        EXPECT_NE(f->findChild<QObject*>(name), nullptr) << name;
    EXPECT_EQ(f->size(), QSize(491, 410));
    EXPECT_EQ(f->HDDRefreshSB->toolTip(), "Refresh HDDs List");
    EXPECT_EQ(f->SMARTReadSB->toolTip(), "Read S.M.A.R.T.");
    EXPECT_EQ(f->SettingsGB->SMTPSB->toolTip(), "SMTP Reports & Warnings");
    EXPECT_EQ(f->InformationGB->HDDTempHiL->toolTip(), "High Airflow Temperature");
    EXPECT_EQ(f->SettingsGB->HDDnINL[5]->text(), "HDD6:");
    EXPECT_TRUE(f->SettingsGB->SMARTMonCB->isChecked());
    EXPECT_FALSE(f->SettingsGB->AlertCB->isChecked());
    EXPECT_FALSE(f->SettingsGB->BallHCB->isChecked());
    QStringList menu;
    for (QAction* a : f->Tray->PopupMenu->actions())
        menu << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(menu, (QStringList{"Restore", "-", "Minimize", "History", "-", "Exit"}));
}

// "Let Drives Sleep": a drive in standby is asked its power mode and left
// unread; its icon shows "zz" and its tooltip says so, until it is awake.
TEST(MainForm, LetDrivesSleepLeavesAStandbyDriveUnreadAndSaysSoOnItsIcon) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    dir.AddRealDrive(1, "ST9160821AS--3.CLH");
    test::FormUnderTest f(dir.Path());
    ASSERT_TRUE(f->StartupSequence());
    // Gone to standby after the scan (whose reads spin a drive up).
    dir.WriteFile(1, "drive.ini", "[drive]\npower = standby\n");
    const QString model = f->Tray->Icon(2)->Hint();
    QTest::mouseClick(f->SettingsGB->LetDrivesSleepCB, Qt::LeftButton);
    ASSERT_TRUE(f.App->Options().LetDrivesSleep);

    const size_t before = f.Bus->SentCommands().size();
    ASSERT_TRUE(test::FireTimer(f->SMARTT));
    const auto& sent = f.Bus->SentCommands();
    std::vector<uint8_t> toSlot2;
    for (size_t i = before; i < sent.size(); ++i)
        if (sent[i].DriveNumber == 1)
            toSlot2.push_back(sent[i].TaskFile.Command);
    EXPECT_EQ(toSlot2, std::vector<uint8_t>{AtaCmdCheckPowerMode});
    EXPECT_EQ(f->Tray->Icon(2)->Text(), "zz");
    EXPECT_EQ(f->Tray->Icon(2)->Hint(), model + " (sleeping)");
    EXPECT_EQ(f->Tray->Icon(1)->Hint().contains("sleeping"), false);
    EXPECT_NE(f->Tray->Icon(1)->Text(), "zz");

    // Awake again: read and shown as before.
    dir.WriteFile(1, "drive.ini", "[drive]\npower = active\n");
    ASSERT_TRUE(test::FireTimer(f->SMARTT));
    EXPECT_EQ(f->Tray->Icon(2)->Hint(), model);
    EXPECT_NE(f->Tray->Icon(2)->Text(), "zz");
}

} // namespace
} // namespace quorvane
