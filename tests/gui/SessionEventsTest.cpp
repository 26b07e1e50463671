// logind's sleep and shutdown signals and the terminate signals, heard by the
// desktop's session watcher, against a fake logind on a private system bus.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QElapsedTimer>
#include <csignal>
#include <fstream>
#include <iostream>
#include <sstream>
#include <gtest/gtest.h>

#include "FakeLogind.h"
#include "GuiTestSupport.h"
#include "common/TestDrives.h"
#include "gui/SessionEvents.h"

Q_DECLARE_METATYPE(quorvane::SessionEvent)

namespace quorvane {
namespace {

using test::FakeLogind;
using test::InhibitorsBecome;
using test::OurLock;

TEST(SessionEvents, HoldsADelayLockWhileAwakeAndHearsSleepShutdownAndSignals) {
    qRegisterMetaType<quorvane::SessionEvent>();
    FakeLogind logind;
    // The system bus connection is made on first use, from this variable.
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", logind.Address().toUtf8());
    ASSERT_TRUE(logind.WaitForLogind());

    SessionEvents events;
    QSignalSpy sleeping(&events, &SessionEvents::SleepStarting);
    QSignalSpy woken(&events, &SessionEvents::Woken);
    QSignalSpy ending(&events, &SessionEvents::SessionEnding);
    bool lockHeldWhileSleepStarted = false;
    QObject::connect(&events, &SessionEvents::SleepStarting, &events,
                     [&] { lockHeldWhileSleepStarted = events.HoldsSleepLock(); });
    ASSERT_TRUE(events.ConnectToLogind());
    EXPECT_TRUE(events.HoldsSleepLock());
    EXPECT_TRUE(InhibitorsBecome(logind, {OurLock}))
        << logind.Inhibitors().join(", ").toStdString();

    logind.Emit("PrepareForSleep", true);
    EXPECT_TRUE(sleeping.wait(5000));
    EXPECT_TRUE(lockHeldWhileSleepStarted);
    EXPECT_FALSE(events.HoldsSleepLock());
    EXPECT_TRUE(InhibitorsBecome(logind, {})) << logind.Inhibitors().join(", ").toStdString();
    EXPECT_EQ(woken.count(), 0);

    logind.Emit("PrepareForSleep", false);
    EXPECT_TRUE(woken.wait(5000));
    EXPECT_EQ(sleeping.count(), 1);
    EXPECT_TRUE(events.HoldsSleepLock());
    EXPECT_TRUE(InhibitorsBecome(logind, {OurLock}))
        << logind.Inhibitors().join(", ").toStdString();

    logind.Emit("PrepareForShutdown", true);
    ASSERT_TRUE(ending.wait(5000));
    logind.Emit("PrepareForShutdown", false);
    ASSERT_TRUE(ending.wait(5000));
    ASSERT_TRUE(events.WatchTerminateSignals());
    raise(SIGTERM); // caught: the test goes on
    ASSERT_TRUE(ending.wait(5000));
    raise(SIGHUP);
    ASSERT_TRUE(ending.wait(5000));
    ASSERT_EQ(ending.count(), 4);
    EXPECT_EQ(ending.at(0).at(0).value<SessionEvent>(), SessionEvent::ShutdownStarted);
    EXPECT_EQ(ending.at(1).at(0).value<SessionEvent>(), SessionEvent::ShutdownCancelled);
    EXPECT_EQ(ending.at(2).at(0).value<SessionEvent>(), SessionEvent::TerminateSignal);
    EXPECT_EQ(ending.at(3).at(0).value<SessionEvent>(), SessionEvent::TerminateSignal);
}

// The session manager's quit reaches the application as Qt's Quit event; the
// watcher hears it before any window is closed. A filter installed first
// (filters run newest first) keeps it from ending this test program.
TEST(SessionEvents, TheSessionManagersQuitIsTheRealEnd) {
    qRegisterMetaType<quorvane::SessionEvent>();
    struct KeepRunning : QObject {
        bool eventFilter(QObject*, QEvent* event) override { return event->type() == QEvent::Quit; }
    } keep;
    qApp->installEventFilter(&keep);
    {
        SessionEvents events;
        QSignalSpy ending(&events, &SessionEvents::SessionEnding);
        events.WatchSessionManager(*qApp);
        QObject other;
        for (QObject* to : {static_cast<QObject*>(&other), static_cast<QObject*>(qApp)}) {
            QEvent quit(QEvent::Quit);
            QCoreApplication::sendEvent(to, &quit);
        }
        QEvent user(QEvent::User);
        QCoreApplication::sendEvent(qApp, &user);
        ASSERT_EQ(ending.count(), 1);
        EXPECT_EQ(ending.at(0).at(0).value<SessionEvent>(), SessionEvent::SessionQuit);
    }
    qApp->removeEventFilter(&keep);
}

} // namespace
} // namespace quorvane

namespace quorvane {
namespace {

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The desktop program itself, against the fake logind: it holds its delay
// lock once started, reads no drive while asleep, takes a new lock after
// waking, and a SIGTERM ends it at once without touching the settings.
TEST(SessionEvents, TheProgramPausesMonitoringInSleepAndEndsOnSigtermWithoutSaving) {
    FakeLogind logind;
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", logind.Address().toUtf8());
    ASSERT_TRUE(logind.WaitForLogind());

    QTemporaryDir work;
    ASSERT_TRUE(work.isValid());
    const std::string log = work.path().toStdString() + "/commands.log";
    test::DriveDir drives;
    drives.AddRealDrive(0, "ST9160821AS--3.CLH", "log = " + log);
    const std::string settings = work.path().toStdString() + "/Quorvane.ini";
    const std::string stored = "[Settings]\nRefresh Interval=15\nAlert Sound=1\n";
    test::WriteTextFile(settings, stored);

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_RUNTIME_DIR", work.path());
    env.insert("QUORVANE_DRIVES", QString::fromStdString(drives.Path()));
    env.insert("QUORVANE_SETTINGS", QString::fromStdString(settings));
    env.insert("DBUS_SYSTEM_BUS_ADDRESS", logind.Address());
    program.setProcessEnvironment(env);
    program.start(QUORVANE_GUI_PROGRAM, {});
    ASSERT_TRUE(program.waitForStarted());
    // The lock is taken once the scan and the first tick are done.
    EXPECT_TRUE(InhibitorsBecome(logind, {OurLock}))
        << logind.Inhibitors().join(", ").toStdString();
    ASSERT_FALSE(FileText(log).empty());

    logind.Emit("PrepareForSleep", true);
    EXPECT_TRUE(InhibitorsBecome(logind, {})) << logind.Inhibitors().join(", ").toStdString();
    // Asleep for longer than one refresh interval: no command reaches the drive.
    const std::string beforeSleep = FileText(log);
    QTest::qWait(16500);
    EXPECT_EQ(FileText(log), beforeSleep);

    logind.Emit("PrepareForSleep", false);
    EXPECT_TRUE(InhibitorsBecome(logind, {OurLock}))
        << logind.Inhibitors().join(", ").toStdString();
    EXPECT_EQ(program.state(), QProcess::Running);

    QElapsedTimer ending;
    ending.start();
    program.terminate();
    const bool ended = program.waitForFinished(10000);
    if (!ended)
        program.kill();
    ASSERT_TRUE(ended);
    std::cout << "SIGTERM to exit: " << ending.elapsed() << " ms\n";
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0);
    EXPECT_EQ(FileText(settings), stored);
    EXPECT_TRUE(InhibitorsBecome(logind, {}));
}

} // namespace
} // namespace quorvane
