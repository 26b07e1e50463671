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
#include <csignal>
#include <gtest/gtest.h>

#include "gui/SessionEvents.h"

Q_DECLARE_METATYPE(quorvane::SessionEvent)

namespace quorvane {
namespace {

const QString Login1 = "org.freedesktop.login1";
const QString Login1Path = "/org/freedesktop/login1";

class FakeLogind {
public:
    FakeLogind() {
        const QString socket = dir_.path() + "/system_bus_socket";
        QFile config(dir_.path() + "/bus.conf");
        config.open(QIODevice::WriteOnly);
        config.write(QString("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus "
                             "Configuration 1.0//EN\" "
                             "\"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">"
                             "<busconfig><type>system</type><listen>unix:path=%1</listen>"
                             "<auth>EXTERNAL</auth><policy context=\"default\">"
                             "<allow send_destination=\"*\"/><allow own=\"*\"/>"
                             "<allow receive_sender=\"*\"/></policy></busconfig>")
                         .arg(socket)
                         .toUtf8());
        config.close();
        daemon_.start("dbus-daemon", {"--nofork", "--config-file=" + config.fileName()});
        address_ = "unix:path=" + socket;
        for (int i = 0; i < 100 && !QFile::exists(socket); ++i)
            QTest::qWait(50);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("DBUS_SYSTEM_BUS_ADDRESS", address_);
        mock_.setProcessEnvironment(env);
        mock_.start("/usr/bin/python3", {"-m", "dbusmock", "--template", "logind"});
    }
    ~FakeLogind() {
        mock_.kill();
        mock_.waitForFinished();
        daemon_.kill();
        daemon_.waitForFinished();
    }
    QString Address() const { return address_; }
    void Emit(const QString& name, bool value) {
        QDBusMessage call = QDBusMessage::createMethodCall(
            Login1, Login1Path, "org.freedesktop.DBus.Mock", "EmitSignal");
        call << QString("org.freedesktop.login1.Manager") << name << QString("b")
             << QVariantList{value};
        QDBusConnection::systemBus().call(call);
    }
    // The inhibitors logind holds, as "what/who/why/mode".
    QStringList Inhibitors() {
        QDBusMessage call = QDBusMessage::createMethodCall(
            Login1, Login1Path, "org.freedesktop.login1.Manager", "ListInhibitors");
        QDBusMessage reply = QDBusConnection::systemBus().call(call);
        QStringList out;
        if (reply.type() != QDBusMessage::ReplyMessage)
            return {"no answer: " + reply.errorMessage()};
        const QDBusArgument arg = reply.arguments().value(0).value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            QString what, who, why, mode;
            uint uid = 0, pid = 0;
            arg.beginStructure();
            arg >> what >> who >> why >> mode >> uid >> pid;
            arg.endStructure();
            out << what + "/" + who + "/" + why + "/" + mode;
        }
        arg.endArray();
        return out;
    }
    bool WaitForLogind() {
        for (int i = 0; i < 200; ++i) {
            if (QDBusConnection::systemBus().interface()->isServiceRegistered(Login1))
                return true;
            QTest::qWait(50);
        }
        return false;
    }

private:
    QTemporaryDir dir_;
    QString address_;
    QProcess daemon_, mock_;
};

const QString OurLock = "sleep/Quorvane/Finishing a report mail before sleep/delay";

// Waits for logind's list to become want (the mock sees a lock go only when
// its descriptor's last copy is closed).
bool InhibitorsBecome(FakeLogind& logind, const QStringList& want) {
    for (int i = 0; i < 100; ++i) {
        if (logind.Inhibitors() == want)
            return true;
        QTest::qWait(50);
    }
    return false;
}

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

} // namespace
} // namespace quorvane
