// The window's life in and out of the tray, and the single running copy.
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QToolButton>
#include <filesystem>
#include <gtest/gtest.h>
#include <thread>

#include "GuiTestSupport.h"
#include "common/TestDrives.h"
#include "gui/SmartForm.h"
#include "mail/MailTestSupport.h"
#include "platform/SingleInstance.h"

namespace quorvane {
namespace {

int MinimizeNotifications(const std::vector<std::unique_ptr<QSignalSpy>>& spies) {
    int n = 0;
    for (const auto& spy : spies)
        n += static_cast<int>(spy->count());
    return n;
}

TEST(LifeCycle, CloseAndMinimiseOnlyHideAndOnlyExitEndsTheProgram) {
    test::FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    QSignalSpy ended(f.Form.get(), &TMainForm::ProgramEnded);

    // A click on any tray icon shows the window.
    emit f->Tray->Icon(3)->Click();
    EXPECT_TRUE(f->isVisible());
    f->close();
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(ended.count(), 0);

    f->Tray->Restore1->trigger();
    EXPECT_TRUE(f->isVisible());
    f->Tray->Minimize1->trigger();
    EXPECT_FALSE(f->isVisible());

    // The title bar's minimise: hidden with one notification from the six icons.
    std::vector<std::unique_ptr<QSignalSpy>> spies;
    for (int slot = 1; slot <= 6; ++slot)
        spies.push_back(std::make_unique<QSignalSpy>(f->Tray->Icon(slot),
                                                     &TCoolTrayIcon::MinimizeToTrayRequested));
    f->Tray->Restore1->trigger();
    f->setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(MinimizeNotifications(spies), 1);
    f->Tray->Restore1->trigger();
    EXPECT_TRUE(f->isVisible());
    EXPECT_FALSE(f->windowState() & Qt::WindowMinimized);
    EXPECT_EQ(ended.count(), 0);
    EXPECT_TRUE(f->Tray->Icon(1)->IconVisible());

    f->Tray->Exit1->trigger();
    EXPECT_TRUE(f.App->Data().ExitRequested);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(f->isVisible());
    EXPECT_FALSE(f->SMARTT.isActive());
    for (int slot = 1; slot <= 6; ++slot)
        EXPECT_FALSE(f->Tray->Icon(slot)->IconVisible()) << slot;
}

TEST(LifeCycle, ASecondStartEndsAtOnceSilentlyWithStatusZero) {
    QTemporaryDir runtime;
    ASSERT_TRUE(runtime.isValid());
    SingleInstance first(runtime.path().toStdString() + "/SMARTMutex.lock");
    ASSERT_EQ(first.Acquire(), SingleInstance::Result::Acquired);

    QProcess second;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", runtime.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QUORVANE_DRIVES", QString::fromStdString(test::SampleDrives()));
    second.setProcessEnvironment(env);
    second.start(QUORVANE_GUI_PROGRAM, {});
    ASSERT_TRUE(second.waitForStarted());
    // Generous: the second copy ends before it builds any window.
    const bool finished = second.waitForFinished(60000);
    if (!finished)
        second.kill();
    ASSERT_TRUE(finished);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);
    EXPECT_TRUE(second.readAllStandardOutput().isEmpty());
}

TEST(LifeCycle, SleepPausesBothTimersAndWakingStartsMonitoringWhateverItsSwitchSays) {
    test::FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    QTest::mouseClick(f->SettingsGB->SMARTMonCB, Qt::LeftButton);
    ASSERT_FALSE(f->SMARTT.isActive());
    QTest::mouseClick(f->SMTPForm->SMTPReportsCB, Qt::LeftButton);
    ASSERT_TRUE(f->SMTPReportsTimer.isActive());

    f->SleepStarting();
    EXPECT_FALSE(f->SMARTT.isActive());
    EXPECT_FALSE(f->SMTPReportsTimer.isActive());
    f->Woken();
    EXPECT_TRUE(f->SMARTT.isActive());
    EXPECT_TRUE(f.App->Session().IsRunning());
    EXPECT_TRUE(f->SMTPReportsTimer.isActive());
    // Each with a full interval from the wake.
    EXPECT_GT(f->SMTPReportsTimer.remainingTime(), f->SMTPReportsTimer.interval() - 5000);
    // A second wake notification leaves the running timers as they are.
    // (A report interval of 3 s, shorter than any the window allows, to see
    // it within the test.)
    const int reportInterval = f->SMTPReportsTimer.interval();
    f->SMTPReportsTimer.setInterval(3000);
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
    f->Woken();
    // Restarted it would have 2850 ms or more left (a coarse timer may be
    // 5 % early).
    EXPECT_LT(f->SMTPReportsTimer.remainingTime(), 2500);
    f->SMTPReportsTimer.setInterval(reportInterval);
    // The first tick after waking reads the drives although the switch is off.
    const uint64_t sent = f.Bus->SentTotal();
    ASSERT_TRUE(test::FireTimer(f->SMARTT));
    EXPECT_GT(f.Bus->SentTotal(), sent);
    EXPECT_TRUE(f->SMARTT.isActive());

    // Reports switched off stay off after waking.
    QTest::mouseClick(f->SMTPForm->SMTPReportsCB, Qt::LeftButton);
    f->SleepStarting();
    f->Woken();
    EXPECT_FALSE(f->SMTPReportsTimer.isActive());
    EXPECT_TRUE(f->SMARTT.isActive());
}

TEST(LifeCycle, TheEndOfTheSessionSavesNothingAndACancelledShutdownKeepsTheProgram) {
    {
        // A shutdown that goes on: closing ends the program, without a save.
        test::FormUnderTest f(test::SampleDrives());
        ASSERT_TRUE(f->StartupSequence());
        QSignalSpy ended(f.Form.get(), &TMainForm::ProgramEnded);
        QTest::mouseClick(f->SettingsGB->AlertCB, Qt::LeftButton);
        EXPECT_FALSE(f->SessionEnding(SessionEvent::ShutdownStarted));
        EXPECT_TRUE(f.App->Data().ExitRequested);
        EXPECT_EQ(ended.count(), 0);
        f->close();
        EXPECT_EQ(ended.count(), 1);
        EXPECT_FALSE(std::filesystem::exists(f.Paths.SettingsFile));
    }
    {
        // A cancelled one: the close button hides the window again.
        test::FormUnderTest f(test::SampleDrives());
        ASSERT_TRUE(f->StartupSequence());
        QSignalSpy ended(f.Form.get(), &TMainForm::ProgramEnded);
        f->SessionEnding(SessionEvent::EndQuery);
        f->SessionEnding(SessionEvent::ShutdownCancelled);
        EXPECT_FALSE(f.App->Data().ExitRequested);
        f->Tray->Restore1->trigger();
        f->close();
        EXPECT_FALSE(f->isVisible());
        EXPECT_EQ(ended.count(), 0);
        EXPECT_TRUE(f->SMARTT.isActive());
    }
    for (const SessionEvent end : {SessionEvent::TerminateSignal, SessionEvent::SessionQuit}) {
        // A terminate signal, or the session manager's quit after its query,
        // ends it at once: nothing saved, no window shown, timers stopped,
        // icons gone.
        test::FormUnderTest f(test::SampleDrives());
        ASSERT_TRUE(f->StartupSequence());
        QSignalSpy ended(f.Form.get(), &TMainForm::ProgramEnded);
        QTest::mouseClick(f->SettingsGB->AlertCB, Qt::LeftButton);
        f->Tray->Restore1->trigger();
        EXPECT_FALSE(f->SessionEnding(SessionEvent::EndQuery));
        EXPECT_TRUE(f->SessionEnding(end));
        EXPECT_EQ(ended.count(), 1);
        EXPECT_FALSE(f->isVisible());
        EXPECT_FALSE(f->SMARTT.isActive());
        EXPECT_FALSE(f->SMTPReportsTimer.isActive());
        EXPECT_FALSE(f->Tray->Icon(1)->IconVisible());
        EXPECT_FALSE(std::filesystem::exists(f.Paths.SettingsFile));
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        // The program's own quit that follows changes nothing.
        EXPECT_FALSE(f->SessionEnding(SessionEvent::SessionQuit));
        EXPECT_EQ(ended.count(), 1);
    }
}

// The session manager asks, and the logout is then cancelled elsewhere: it
// says nothing more. The program runs on as before the query.
TEST(LifeCycle, ALogoutCancelledAfterTheQueryHidesOnCloseAndExitSaves) {
    test::FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    QSignalSpy ended(f.Form.get(), &TMainForm::ProgramEnded);
    EXPECT_FALSE(f->SessionEnding(SessionEvent::EndQuery));
    EXPECT_TRUE(f.App->Data().ExitRequested);
    EXPECT_EQ(ended.count(), 0);
    EXPECT_FALSE(std::filesystem::exists(f.Paths.SettingsFile)); // the query saves nothing

    f->Tray->Restore1->trigger();
    f->close();
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(ended.count(), 0);
    EXPECT_FALSE(f.App->Data().ExitRequested);
    EXPECT_TRUE(f->SMARTT.isActive());
    EXPECT_TRUE(f->Tray->Icon(1)->IconVisible());
    EXPECT_FALSE(std::filesystem::exists(f.Paths.SettingsFile));

    // A second query that nothing follows either; then Exit saves what the
    // window shows and ends the program.
    f->SessionEnding(SessionEvent::EndQuery);
    QTest::mouseClick(f->SettingsGB->AlertCB, Qt::LeftButton);
    f->Tray->Exit1->trigger();
    EXPECT_EQ(ended.count(), 1);
    ASSERT_TRUE(std::filesystem::exists(f.Paths.SettingsFile));
    EXPECT_NE(test::ReadFileBytes(f.Paths.SettingsFile).find("Alert Sound=1"), std::string::npos);
    EXPECT_FALSE(f->SMARTT.isActive());
    EXPECT_FALSE(f->Tray->Icon(1)->IconVisible());
}

// While the S.M.A.R.T. window is open, other top-level windows (as a tray
// icon's is) still take clicks, and Exit from the tray closes the window first.
TEST(LifeCycle, TheTrayStaysUsableWhileAWindowIsOpenAndExitClosesIt) {
    test::FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    QSignalSpy ended(f.Form.get(), &TMainForm::ProgramEnded);
    f->Tray->Restore1->trigger();
    QPushButton elsewhere("tray");
    elsewhere.show();
    QSignalSpy clicked(&elsewhere, &QPushButton::clicked);
    bool modalOpen = false;
    test::WhenModal([&] {
        modalOpen = f->SMARTForm->isVisible();
        // Through the window system, where a modal window blocks others.
        QTest::mouseClick(elsewhere.windowHandle(), Qt::LeftButton, {},
                          elsewhere.rect().center());
        f->Tray->Exit1->trigger();
    });
    QTest::mouseClick(f->SMARTReadSB, Qt::LeftButton);
    EXPECT_TRUE(modalOpen);
    EXPECT_EQ(clicked.count(), 1);
    EXPECT_FALSE(f->SMARTForm->isVisible());
    EXPECT_EQ(ended.count(), 1);
}

// The S.M.A.R.T. window's height follows the drive shown: it is centred on
// the screen's free area at every showing.
TEST(LifeCycle, TheSmartWindowIsCentredEachTimeItIsShown) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "Biwintech_SSD_SX500");    // 5 attributes
    dir.AddRealDrive(1, "ST9160821AS--3.CLH");     // 20 attributes
    test::FormUnderTest f(dir.Path());
    ASSERT_TRUE(f->StartupSequence());
    const QRect area = f->SMARTForm->screen()->availableGeometry();
    std::vector<QRect> shown;
    for (int slot : {1, 2}) {
        f->HDDCB->setCurrentIndex(slot - 1);
        test::WhenModal([&] {
            shown.push_back(f->SMARTForm->frameGeometry());
            f->SMARTForm->close();
        });
        QTest::mouseClick(f->SMARTReadSB, Qt::LeftButton);
    }
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_LT(shown[0].height(), shown[1].height());
    for (const QRect& r : shown) {
        EXPECT_TRUE(area.contains(r)) << r.y() << "+" << r.height();
        EXPECT_LE(std::abs(r.center().y() - area.center().y()), 3);
        EXPECT_LE(std::abs(r.center().x() - area.center().x()), 3);
    }
}

TEST(LifeCycle, ASmartWindowTallerThanTheScreenIsCutToItAndScrolls) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH"); // 20 attributes: 380 pixels inside
    test::FormUnderTest f(dir.Path());
    ASSERT_TRUE(f->StartupSequence());
    TSMARTForm& smart = *f->SMARTForm;
    const int full = smart.height();
    smart.FitWithin(QRect(0, 0, 800, full + 100));
    EXPECT_EQ(smart.height(), full);
    const QRect small(0, 0, 800, 300);
    smart.FitWithin(small);
    EXPECT_LE(smart.height() + TSMARTForm::NonClientHeight, small.height());
    EXPECT_LE(smart.SMARTSG->geometry().bottom(), smart.height());
    // The self-test row and the log move up with the grid's end.
    EXPECT_GT(smart.SelfTestStartB->geometry().top(), smart.SMARTSG->geometry().bottom());
    EXPECT_EQ(smart.SelfTestLogSG->geometry().bottom() + 1 + 4, smart.height());
    smart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&smart));
    EXPECT_GT(smart.SMARTSG->verticalScrollBar()->maximum(), 0);
    EXPECT_TRUE(smart.SMARTSG->verticalScrollBar()->isVisible());
    smart.hide();
}

TEST(LifeCycle, ABrokenPageFileOfASimulatedDriveIsSaidInTheStatusBar) {
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    dir.AddRealDrive(1, "ST9160821AS--3.CLH");
    dir.WriteBytes(1, "identify.bin", std::vector<uint8_t>(300, 0));
    test::FormUnderTest f(dir.Path());
    ASSERT_TRUE(f->StartupSequence());
    EXPECT_EQ(f.App->Data().DriveCount, 1);
    const QString shown = f->StatusSB->currentMessage();
    EXPECT_TRUE(shown.contains("drive1/identify.bin: 300 bytes")) << shown.toStdString();
}

// "Save Log": the dialog is made when first used; a file that cannot be
// written is said, and the dialog keeps the choice for another try.
TEST(LifeCycle, SaveLogIsMadeOnFirstUseAndAFailedWriteIsSaid) {
    test::FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    EXPECT_EQ(f->findChild<QFileDialog*>(), nullptr);

    // A folder that is gone by the time the dialog is accepted (root may
    // write anywhere else).
    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const QString gone = work.path() + "/gone";
    ASSERT_TRUE(QDir().mkdir(gone));
    const QString target = gone + "/rep";
    QString message;
    QStringList kept;
    test::WhenModal([&] {
        f->SaveLogDialog()->selectFile(target);
        QDir(gone).removeRecursively();
        static_cast<QDialog*>(f->SaveLogDialog())->accept();
    });
    // The message comes once the dialog's own loop has ended.
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            message = box->text();
            kept = f->SaveLogDialog()->selectedFiles();
            box->accept();
            answer.stop();
        }
    });
    answer.start(10);
    QTest::mouseClick(f->SMARTForm->SaveSMARTSB, Qt::LeftButton);
    EXPECT_EQ(message, "Unable to write to " + target + ".log");
    EXPECT_EQ(kept, QStringList{target + ".log"});
    EXPECT_EQ(f->findChildren<QFileDialog*>().size(), 1);
}

} // namespace
} // namespace quorvane
