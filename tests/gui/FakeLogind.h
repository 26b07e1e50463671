// A fake logind on a private system bus: a dbus-daemon of its own and the
// logind template of python-dbusmock, for the tests of sleep, wake and the
// end of the session.
#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace quorvane::test {

inline const QString Login1 = "org.freedesktop.login1";
inline const QString Login1Path = "/org/freedesktop/login1";

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

inline const QString OurLock = "sleep/Quorvane/Finishing a report mail before sleep/delay";

// Waits for logind's list to become want (the mock sees a lock go only when
// its descriptor's last copy is closed).
inline bool InhibitorsBecome(FakeLogind& logind, const QStringList& want) {
    for (int i = 0; i < 100; ++i) {
        if (logind.Inhibitors() == want)
            return true;
        QTest::qWait(50);
    }
    return false;
}

} // namespace quorvane::test
