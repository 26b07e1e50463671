// The desktop program: one running copy per user, the window hidden behind
// one temperature icon per drive in the tray.
#include <QApplication>
#include <QDesktopServices>
#include <QSystemTrayIcon>
#include <QUrl>

#include "ata/BusSelect.h"
#include "gui/MainForm.h"
#include "gui/SessionEvents.h"
#include "gui/Siren.h"
#include "monitor/TextIcon.h"
#include "platform/Platform.h"
#include "platform/SingleInstance.h"
#include "program/Program.h"

int main(int argc, char* argv[]) {
    using namespace quorvane;
    // Before Qt starts its threads (X events, D-Bus, file info), so that
    // every one of them inherits the raised priority.
    RaiseProcessPriority();
    // A second copy ends at once, silently. When the lock file cannot be
    // made at all there is no way to tell, and the program runs.
    SingleInstance instance(SingleInstanceLockPath());
    if (instance.Acquire() == SingleInstance::Result::HeldElsewhere)
        return 0;

    QApplication app(argc, argv);
    QApplication::setApplicationName(ProgramTitle);
    // The window is hidden most of the time and dialogs come and go; only
    // Exit ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    Program program(MakeDriveBus(""), Program::FindPaths());
    MainFormServices services;
    services.Siren = std::make_unique<QtSirenSound>();
    services.TrayAvailable = QSystemTrayIcon::isSystemTrayAvailable();
    TMainForm form(program, std::move(services));
    QObject::connect(&form, &TMainForm::ProgramEnded, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);
    QObject::connect(&form, &TMainForm::OpenLinkRequested, &form,
                     [](const QString& target) { QDesktopServices::openUrl(QUrl(target)); });
    // Sleep, wake and the end of the session. The pipe for the terminate
    // signals is set up before anything else can take long.
    SessionEvents events;
    events.WatchTerminateSignals();
    events.WatchSessionManager(app);
    // Directly: the sleep waits for the suspend actions before the lock goes.
    QObject::connect(&events, &SessionEvents::SleepStarting, &form, &TMainForm::SleepStarting,
                     Qt::DirectConnection);
    QObject::connect(&events, &SessionEvents::Woken, &form, &TMainForm::Woken,
                     Qt::DirectConnection);
    QObject::connect(&events, &SessionEvents::SessionEnding, &form,
                     [&form](SessionEvent event) { form.SessionEnding(event); });
    if (!form.StartupSequence())
        return 0;
    // The delay lock is taken once there is something to finish before sleep.
    events.ConnectToLogind();
    return app.exec();
}
