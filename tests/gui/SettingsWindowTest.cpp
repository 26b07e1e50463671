// The settings as the desktop program uses them: read at start-up into the
// windows, the timers and the tray icons, written by the save button and by
// Exit, and a save that cannot be written.
#include <QApplication>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QRadioButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

#include "GuiTestSupport.h"
#include "gui/Controls.h"
#include "gui/SmartForm.h"
#include "gui/SmtpForm.h"
#include "mail/MailTestSupport.h"
#include "platform/ProfileFile.h"

namespace quorvane {
namespace {

using test::FormUnderTest;

constexpr uint32_t Yellow = 0x0000FFFF, Black = 0;

std::string ReadText(const std::string& path) {
    return test::ReadFileBytes(path);
}

// Every line "key=value" of the file, in order.
std::vector<std::string> Lines(const std::string& path) {
    std::vector<std::string> lines;
    std::string text = ReadText(path), line;
    for (const char c : text) {
        if (c == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return lines;
}

bool HasLine(const std::string& path, const std::string& line) {
    const auto lines = Lines(path);
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Answers the message box the next modal loop shows; its text, or "" when
// the modal window was something else.
void AnswerMessageBox(QString& text) {
    test::WhenModal([&text] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            text = box->text();
            box->accept();
        }
    });
}

const char* const StoredSettings = "; kept as it is\n"
                                   "[Settings]\n"
                                   "S.M.A.R.T. Monitoring=0\n"
                                   "Refresh Interval=60\n"
                                   "RAW Values=1\n"
                                   "HDD1 Temperature Icon FColor=$0000FF\n"
                                   "HDD1 Temperature Icon BColor=0x00FF0000\n"
                                   "HDD2 Temperature Icon=0\n"
                                   "HDD3 Temperature Icon BColor=16777215\n"
                                   "SMTP Host=mail.example.org\n"
                                   "SMTP Login=watcher\n"
                                   "SMTP From=Disks <disks@example.org>\n"
                                   "SMTP Mail=admin@example.org\n"
                                   "SMTP Port=587\n"
                                   "SMTP Password=pa55 word\n"
                                   "SMTP Authentication=1\n"
                                   "SMTP Security=2\n"
                                   "SMTP Reports=1\n"
                                   "SMTP Warnings=1\n"
                                   "SMTP Warning Repeat=30\n"
                                   "SMTP Delay=50\n"
                                   "Alert Sound=1\n"
                                   "Balloon Hints=1\n"
                                   "Let Drives Sleep=1\n"
                                   "[Other]\n"
                                   "Refresh Interval=900\n";

TEST(SettingsWindow, StoredValuesReachTheControlsTimersAndTrayIcons) {
    FormUnderTest f(test::SampleDrives());
    f.WriteSettings(StoredSettings);
    test::WriteTextFile(f.Paths.AutostartEntry,
                        "[Desktop Entry]\nType=Application\nName=Quorvane\nExec=\"" +
                            std::string(test::TestExecutable) + "\"\n");
    // Whether the reports run when the scan lists the first drive: the
    // settings start them, not only the end of the start-up.
    std::optional<bool> reportsAtScan;
    QObject::connect(f->HDDCB->model(), &QAbstractItemModel::rowsInserted, f.Form.get(), [&] {
        if (!reportsAtScan)
            reportsAtScan = f->SMTPReportsTimer.isActive();
    });
    ASSERT_TRUE(f->StartupSequence());

    EXPECT_FALSE(f->SettingsGB->SMARTMonCB->isChecked());
    // Stored off, monitoring runs all the same until the box is clicked.
    EXPECT_TRUE(f->SMARTT.isActive());
    EXPECT_TRUE(f.App->Session().IsRunning());
    EXPECT_EQ(f->SettingsGB->HDDRefreshIntE->text(), "60");
    EXPECT_EQ(f->SettingsGB->HDDRefreshIntUD->Position(), 60);
    EXPECT_EQ(f->SMARTT.interval(), 60000);
    EXPECT_TRUE(f->SettingsGB->AlertCB->isChecked());
    EXPECT_TRUE(f->SettingsGB->BallHCB->isChecked());
    EXPECT_TRUE(f->SettingsGB->AutoRunCB->isChecked());
    EXPECT_TRUE(f->SettingsGB->LetDrivesSleepCB->isChecked());
    EXPECT_TRUE(f.App->Options().LetDrivesSleep);
    // "RAW Values" is never read: the S.M.A.R.T. window starts with HEX.
    EXPECT_TRUE(f->SMARTForm->HEXRB->isChecked());

    // Slot 1: red on blue; slot 2 switched off; slot 3 yellow on white.
    EXPECT_EQ(f->Tray->Icon(1)->FontColor(), 0x000000FFu);
    EXPECT_EQ(f->Tray->Icon(1)->Color(), 0x00FF0000u);
    EXPECT_EQ(f->SettingsGB->HDDnTempTrayFI[0]->PaintedColor(), 0x000000FFu);
    EXPECT_EQ(f->SettingsGB->HDDnTempTrayBI[0]->PaintedColor(), 0x00FF0000u);
    EXPECT_TRUE(f->Tray->Icon(1)->IconVisible());
    EXPECT_FALSE(f->Tray->Icon(2)->IconVisible());
    EXPECT_FALSE(f->SettingsGB->HDDnTempTrayCB[1]->isChecked());
    EXPECT_TRUE(f->SettingsGB->HDDnTempTrayCB[1]->isEnabled());
    EXPECT_EQ(f->Tray->Icon(3)->FontColor(), Yellow);
    EXPECT_EQ(f->Tray->Icon(3)->Color(), 0x00FFFFFFu);
    EXPECT_EQ(f->SettingsGB->HDDnTempTrayBI[2]->PaintedColor(), 0x00FFFFFFu);
    EXPECT_TRUE(f->Tray->Icon(3)->IconVisible());
    // The icon is drawn on the stored background.
    EXPECT_EQ(f->Tray->Icon(3)->Image().pixelColor(7, 1), QColor(Qt::white));

    const TSMTPForm& smtp = *f->SMTPForm;
    EXPECT_EQ(smtp.SMTPHostE->text(), "mail.example.org");
    EXPECT_EQ(smtp.SMTPLoginE->text(), "watcher");
    EXPECT_EQ(smtp.SMTPFromE->text(), "Disks <disks@example.org>");
    EXPECT_EQ(smtp.SMTPMailE->text(), "admin@example.org");
    EXPECT_EQ(smtp.SMTPPortE->text(), "587");
    EXPECT_EQ(smtp.SMTPPswE->text(), "pa55 word");
    EXPECT_TRUE(smtp.AuthenticationCB->isChecked());
    EXPECT_EQ(smtp.SMTPSecurityCB->currentText(), "STARTTLS");
    EXPECT_TRUE(smtp.SMTPReportsCB->isChecked());
    EXPECT_TRUE(smtp.SMTPWarningsCB->isChecked());
    EXPECT_EQ(smtp.SMTPDelayE->text(), "50");
    EXPECT_EQ(smtp.SMTPWarningRepeatE->text(), "30");
    // A stored "SMTP Reports" starts the reports with the stored interval,
    // before the scan.
    ASSERT_TRUE(reportsAtScan.has_value());
    EXPECT_TRUE(*reportsAtScan);
    EXPECT_TRUE(f->SMTPReportsTimer.isActive());
    EXPECT_EQ(f->SMTPReportsTimer.interval(), 50 * 60000);
}

// An arrow of the report delay sets the report timer's interval at once: a
// running timer counts the new one from the click, a stopped one stays
// stopped. A typed number moves the position only.
TEST(SettingsWindow, TheReportDelayArrowsRetimeTheReportTimer) {
    FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    TSMTPForm& smtp = *f->SMTPForm;
    QToolButton* up = smtp.SMTPDelayUD->findChild<QToolButton*>("Up");
    QToolButton* down = smtp.SMTPDelayUD->findChild<QToolButton*>("Down");
    ASSERT_TRUE(up && down);
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_FALSE(f->SMTPReportsTimer.isActive());
    EXPECT_EQ(f->SMTPReportsTimer.interval(), 35 * 60000);

    QTest::mouseClick(smtp.SMTPReportsCB, Qt::LeftButton);
    ASSERT_TRUE(f->SMTPReportsTimer.isActive());
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_TRUE(f->SMTPReportsTimer.isActive());
    EXPECT_EQ(f->SMTPReportsTimer.interval(), 50 * 60000);
    // More than the 35 minutes that were left: counted from the click.
    EXPECT_GT(f->SMTPReportsTimer.remainingTime(), 50 * 60000 - 5000);
    QTest::mouseClick(down, Qt::LeftButton);
    QTest::mouseClick(down, Qt::LeftButton);
    EXPECT_EQ(f->SMTPReportsTimer.interval(), 20 * 60000);
    EXPECT_LE(f->SMTPReportsTimer.remainingTime(), 20 * 60000 + 5000);

    smtp.SMTPDelayE->clear();
    QTest::keyClicks(smtp.SMTPDelayE, "80");
    EXPECT_EQ(smtp.SMTPDelayUD->Position(), 80);
    EXPECT_EQ(f->SMTPReportsTimer.interval(), 20 * 60000);
    EXPECT_TRUE(f->SMTPReportsTimer.isActive());
}

// A user changes the interval, a colour, an icon switch and the mail
// settings, chooses Exit, starts again and finds everything as left.
TEST(SettingsWindow, ExitThroughTheTrayMenuSavesForTheNextStart) {
    QTemporaryDir config;
    const SettingsPaths paths = test::PathsIn(config.path().toStdString());
    {
        FormUnderTest f(test::SampleDrives(), true, paths);
        ASSERT_TRUE(f->StartupSequence());
        f->SettingsGB->HDDRefreshIntUD->Step(+1);
        test::WhenModal([&] {
            f->SettingsGB->ColorDialog->setCurrentColor(QColor(0, 255, 0));
            f->SettingsGB->ColorDialog->accept();
        });
        QTest::mouseClick(f->SettingsGB->HDDnTempTrayBI[3], Qt::LeftButton);
        QTest::mouseClick(f->SettingsGB->HDDnTempTrayCB[4], Qt::LeftButton);
        QTest::mouseClick(f->SettingsGB->AlertCB, Qt::LeftButton);
        QTest::mouseClick(f->SettingsGB->AutoRunCB, Qt::LeftButton);
        QTest::mouseClick(f->SettingsGB->LetDrivesSleepCB, Qt::LeftButton);
        TSMTPForm& smtp = *f->SMTPForm;
        smtp.SMTPHostE->setText("relay.example.org");
        QTest::mouseClick(smtp.SMTPReportsCB, Qt::LeftButton);
        QTest::mouseClick(smtp.SMTPDelayUD->findChild<QToolButton*>("Up"), Qt::LeftButton);
        EXPECT_FALSE(std::filesystem::exists(paths.SettingsFile)); // nothing before a save

        QSignalSpy ended(f.Form.get(), &TMainForm::ProgramEnded);
        f->Tray->Exit1->trigger();
        EXPECT_EQ(ended.count(), 1);
        EXPECT_FALSE(f->SMTPReportsTimer.isActive());
    }
    ASSERT_TRUE(std::filesystem::exists(paths.SettingsFile));
    // A new file is private: it holds the password.
    struct stat st {};
    ASSERT_EQ(::stat(paths.SettingsFile.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(HasLine(paths.SettingsFile, "HDD5 Temperature Icon=0"));
    // Six drives, the NVMe one among them: keys for every slot.
    EXPECT_TRUE(HasLine(paths.SettingsFile, "HDD6 Temperature Icon=1"));
    EXPECT_NE(ReadText(paths.AutostartEntry).find(std::string("Exec=\"") + test::TestExecutable),
              std::string::npos);

    FormUnderTest again(test::SampleDrives(), true, paths);
    ASSERT_TRUE(again->StartupSequence());
    EXPECT_EQ(again->SettingsGB->HDDRefreshIntE->text(), "30");
    EXPECT_EQ(again->SMARTT.interval(), 30000);
    EXPECT_EQ(again->Tray->Icon(4)->Color(), 0x0000FF00u);
    EXPECT_EQ(again->SettingsGB->HDDnTempTrayBI[3]->PaintedColor(), 0x0000FF00u);
    EXPECT_FALSE(again->Tray->Icon(5)->IconVisible());
    EXPECT_TRUE(again->SettingsGB->AlertCB->isChecked());
    EXPECT_TRUE(again->SettingsGB->AutoRunCB->isChecked());
    EXPECT_TRUE(again->SettingsGB->LetDrivesSleepCB->isChecked());
    EXPECT_EQ(again->SMTPForm->SMTPHostE->text(), "relay.example.org");
    EXPECT_TRUE(again->SMTPForm->SMTPReportsCB->isChecked());
    EXPECT_EQ(again->SMTPForm->SMTPDelayE->text(), "35");
    EXPECT_TRUE(again->SMTPReportsTimer.isActive());
    EXPECT_EQ(again->SMTPReportsTimer.interval(), 35 * 60000);
}

TEST(SettingsWindow, TheSaveButtonWritesWhatTheWindowsShow) {
    FormUnderTest f(test::SampleDrives());
    // Keys of a slot the scan did not fill, and lines the program does not
    // write, stay as they are.
    f.WriteSettings("# mine\n[Settings]\nHDD6 Temperature Icon FColor=255\nUnknown = kept\n");
    ASSERT_TRUE(f->StartupSequence());
    EXPECT_TRUE(f->SettingsGB->SaveSettingsSB->toolTip().isEmpty());
    TSMTPForm& smtp = *f->SMTPForm;
    QTest::keyClicks(smtp.SMTPPswE, "plain text");
    smtp.SMTPSecurityCB->setCurrentIndex(3);
    f->SMARTForm->DECRB->click();
    QTest::mouseClick(f->SettingsGB->AutoRunCB, Qt::LeftButton);

    // Others may read the file: with the password in it, no longer, and the
    // status bar says so.
    const std::string& file = f.Paths.SettingsFile;
    ASSERT_EQ(::chmod(file.c_str(), 0644), 0);
    QTest::mouseClick(f->SettingsGB->SaveSettingsSB, Qt::LeftButton);
    struct stat st {};
    ASSERT_EQ(::stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(f->StatusSB->currentMessage().toStdString(), PasswordFileNarrowedText(file));
    const auto lines = Lines(file);
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(lines[0], "# mine");
    EXPECT_EQ(lines[1], "[Settings]");
    EXPECT_EQ(lines[2], "HDD6 Temperature Icon FColor=255");
    EXPECT_EQ(lines[3], "Unknown = kept");
    EXPECT_TRUE(HasLine(file, "SMTP Password=plain text")); // as typed, readable
    EXPECT_TRUE(HasLine(file, "SMTP Security=3"));
    EXPECT_TRUE(HasLine(file, "RAW Values=1"));
    EXPECT_TRUE(HasLine(file, "HDD5 Temperature Icon FColor=65535"));
    EXPECT_TRUE(HasLine(file, "SMTP Delay=20"));
    EXPECT_TRUE(std::filesystem::exists(f.Paths.AutostartEntry));

    // Unchecked and saved again: the autostart entry goes.
    QTest::mouseClick(f->SettingsGB->AutoRunCB, Qt::LeftButton);
    QTest::mouseClick(f->SettingsGB->SaveSettingsSB, Qt::LeftButton);
    EXPECT_FALSE(std::filesystem::exists(f.Paths.AutostartEntry));
    // The program runs on.
    EXPECT_FALSE(f.App->Data().ExitRequested);
    EXPECT_TRUE(f->SMARTT.isActive());
}

// A folder nobody may write into: a fresh one made read-only, or, for root,
// who writes anywhere else, one under /proc.
struct UnwritableFolder {
    QTemporaryDir Temp;
    std::string Path;
    UnwritableFolder() {
        if (::geteuid() == 0) {
            Path = "/proc/self/quorvane-settings";
        } else {
            Path = Temp.path().toStdString() + "/locked";
            std::filesystem::create_directories(Path);
            ::chmod(Path.c_str(), 0555);
        }
    }
    ~UnwritableFolder() {
        if (::geteuid() != 0)
            ::chmod(Path.c_str(), 0755);
    }
};

TEST(SettingsWindow, ASaveThatCannotBeWrittenSaysSoAndExitKeepsTheProgramRunning) {
    const UnwritableFolder folder;
    SettingsPaths paths = test::PathsIn(folder.Path);
    FormUnderTest f(test::SampleDrives(), true, paths);
    ASSERT_TRUE(f->StartupSequence());
    const QString expected = QString::fromStdString("Unable to write to " + paths.SettingsFile);

    QString shown;
    AnswerMessageBox(shown);
    QTest::mouseClick(f->SettingsGB->SaveSettingsSB, Qt::LeftButton);
    EXPECT_EQ(shown, expected);

    // Exit: the message, and the program keeps running as before.
    QTest::mouseClick(f->SMTPForm->SMTPReportsCB, Qt::LeftButton);
    ASSERT_TRUE(f->SMTPReportsTimer.isActive());
    QSignalSpy ended(f.Form.get(), &TMainForm::ProgramEnded);
    shown.clear();
    AnswerMessageBox(shown);
    f->Tray->Exit1->trigger();
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(ended.count(), 0);
    EXPECT_FALSE(f.App->Data().ExitRequested);
    EXPECT_TRUE(f->SMARTT.isActive());
    EXPECT_TRUE(f->SMTPReportsTimer.isActive());
    EXPECT_TRUE(f->Tray->Icon(1)->IconVisible());
    ASSERT_TRUE(f->SMTPForm);
    // Closing the window still only hides it.
    emit f->Tray->Icon(1)->Click();
    f->close();
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(ended.count(), 0);
    EXPECT_FALSE(std::filesystem::exists(paths.AutostartEntry));
}

} // namespace
} // namespace quorvane
