#include "gui/SessionEvents.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>
#include <QEvent>
#include <QGuiApplication>
#include <QSessionManager>
#include <QSocketNotifier>
#include <array>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace quorvane {
namespace {

const QString LogindService = QStringLiteral("org.freedesktop.login1");
const QString LogindPath = QStringLiteral("/org/freedesktop/login1");
const QString LogindManager = QStringLiteral("org.freedesktop.login1.Manager");
// logind answers at once; a bus that does not should not hold up start-up.
constexpr int LogindCallTimeoutMs = 2000;

constexpr std::array TerminateSignals{SIGTERM, SIGHUP, SIGINT};

// The pipe the signal handler writes to; -1 while nobody watches.
int signalPipe[2] = {-1, -1};

extern "C" void OnTerminateSignal(int signal) {
    const int saved = errno;
    const unsigned char byte = static_cast<unsigned char>(signal);
    // A full pipe already holds a wake-up; nothing else is safe here.
    [[maybe_unused]] const ssize_t n = write(signalPipe[1], &byte, 1);
    errno = saved;
}

} // namespace

SessionEvents::SessionEvents(QObject* parent) : QObject(parent) {}

SessionEvents::~SessionEvents() {
    if (signalNotifier_) {
        struct sigaction action = {};
        action.sa_handler = SIG_DFL;
        for (int signal : TerminateSignals)
            sigaction(signal, &action, nullptr);
        close(signalPipe[0]);
        close(signalPipe[1]);
        signalPipe[0] = signalPipe[1] = -1;
    }
}

bool SessionEvents::ConnectToLogind() {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return false;
    bus.connect(LogindService, LogindPath, LogindManager, QStringLiteral("PrepareForSleep"), this,
                SLOT(OnPrepareForSleep(bool)));
    bus.connect(LogindService, LogindPath, LogindManager, QStringLiteral("PrepareForShutdown"),
                this, SLOT(OnPrepareForShutdown(bool)));
    TakeSleepLock();
    return true;
}

void SessionEvents::TakeSleepLock() {
    if (sleepLock_.isValid())
        return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(LogindService, LogindPath, LogindManager, "Inhibit");
    call << QStringLiteral("sleep") << QStringLiteral("Quorvane")
         << QStringLiteral("Finishing a report mail before sleep") << QStringLiteral("delay");
    const QDBusReply<QDBusUnixFileDescriptor> reply =
        QDBusConnection::systemBus().call(call, QDBus::Block, LogindCallTimeoutMs);
    // No logind, or one that refuses: the sleep simply does not wait for us.
    if (reply.isValid() && reply.value().isValid())
        sleepLock_ = reply.value();
}

void SessionEvents::OnPrepareForSleep(bool start) {
    if (start) {
        emit SleepStarting();
        // The last copy of the descriptor closes here, and logind goes on.
        sleepLock_ = QDBusUnixFileDescriptor();
    } else {
        emit Woken();
        TakeSleepLock();
    }
}

void SessionEvents::OnPrepareForShutdown(bool start) {
    emit SessionEnding(start ? SessionEvent::ShutdownStarted : SessionEvent::ShutdownCancelled);
}

bool SessionEvents::WatchTerminateSignals() {
    if (signalNotifier_ || signalPipe[0] != -1)
        return false;
    if (pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        signalPipe[0] = signalPipe[1] = -1;
        return false;
    }
    signalNotifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(signalNotifier_, &QSocketNotifier::activated, this, &SessionEvents::OnSignalPipe);
    struct sigaction action = {};
    action.sa_handler = OnTerminateSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int signal : TerminateSignals)
        sigaction(signal, &action, nullptr);
    return true;
}

void SessionEvents::OnSignalPipe() {
    unsigned char bytes[16];
    bool any = false;
    while (read(signalPipe[0], bytes, sizeof bytes) > 0)
        any = true;
    if (any)
        emit SessionEnding(SessionEvent::TerminateSignal);
}

void SessionEvents::WatchSessionManager(QGuiApplication& app) {
    // The query is answered yes (nothing is cancelled): the session may end.
    // Whether it does is told later, by the quit; a logout cancelled
    // elsewhere, or a mere checkpoint, is followed by nothing.
    connect(
        &app, &QGuiApplication::commitDataRequest, this,
        [this](QSessionManager&) { emit SessionEnding(SessionEvent::EndQuery); },
        Qt::DirectConnection);
    app_ = &app;
    app.installEventFilter(this);
}

bool SessionEvents::eventFilter(QObject* watched, QEvent* event) {
    // The program's own quit comes after it has ended, and changes nothing.
    if (watched == app_ && event->type() == QEvent::Quit)
        emit SessionEnding(SessionEvent::SessionQuit);
    return QObject::eventFilter(watched, event);
}

} // namespace quorvane
