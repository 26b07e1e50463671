// Sleep, wake and the end of the session as the desktop hears of them:
// systemd-logind on the system bus (a delay lock held while awake, released
// once the program is ready for sleep), the X11 session manager's query and
// its quit, and SIGTERM / SIGHUP / SIGINT carried into the event loop through
// a pipe.
// Without a system bus or logind, or when logind refuses the lock, the
// program runs as before and says nothing.
#pragma once

#include <QDBusUnixFileDescriptor>
#include <QObject>

#include "monitor/PowerEvents.h"

class QGuiApplication;
class QSocketNotifier;

namespace quorvane {

class SessionEvents final : public QObject {
    Q_OBJECT
public:
    explicit SessionEvents(QObject* parent = nullptr);
    ~SessionEvents() override;

    // Subscribes to logind's PrepareForSleep and PrepareForShutdown and takes
    // the first delay lock. False when there is no system bus to ask.
    bool ConnectToLogind();
    // SIGTERM, SIGHUP and SIGINT become SessionEnding(TerminateSignal). One
    // object of the process may watch them.
    bool WatchTerminateSignals();
    // The session manager's query becomes SessionEnding(EndQuery); the quit
    // it sends the application when the session really ends (Qt's Quit
    // event, before any window is closed) SessionEnding(SessionQuit).
    void WatchSessionManager(QGuiApplication& app);

    bool eventFilter(QObject* watched, QEvent* event) override;

    bool HoldsSleepLock() const { return sleepLock_.isValid(); }

signals:
    // Emitted before sleep; the lock is released when every slot returned,
    // so connect directly.
    void SleepStarting();
    // Emitted after waking, before a new lock is taken.
    void Woken();
    void SessionEnding(quorvane::SessionEvent event);

private slots:
    void OnPrepareForSleep(bool start);
    void OnPrepareForShutdown(bool start);
    void OnSignalPipe();

private:
    void TakeSleepLock();

    QDBusUnixFileDescriptor sleepLock_;
    QSocketNotifier* signalNotifier_ = nullptr;
    QGuiApplication* app_ = nullptr; // watched for its quit
};

} // namespace quorvane
