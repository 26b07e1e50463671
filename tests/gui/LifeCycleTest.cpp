// The window's life in and out of the tray, and the single running copy.
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "gui/SmartForm.h"
#include "shell/SingleInstance.h"

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
    emit f->TrayIcon(3)->Click();
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
        spies.push_back(std::make_unique<QSignalSpy>(f->TrayIcon(slot),
                                                     &TCoolTrayIcon::MinimizeToTrayRequested));
    f->Tray->Restore1->trigger();
    f->setWindowState(Qt::WindowMinimized);
    EXPECT_FALSE(f->isVisible());
    EXPECT_EQ(MinimizeNotifications(spies), 1);
    f->Tray->Restore1->trigger();
    EXPECT_TRUE(f->isVisible());
    EXPECT_FALSE(f->windowState() & Qt::WindowMinimized);
    EXPECT_EQ(ended.count(), 0);
    EXPECT_TRUE(f->TrayIcon(1)->IconVisible());

    f->Tray->Exit1->trigger();
    EXPECT_TRUE(f->Data().ExitRequested);
    EXPECT_EQ(ended.count(), 1);
    EXPECT_FALSE(f->isVisible());
    EXPECT_FALSE(f->SMARTT.isActive());
    for (int slot = 1; slot <= 6; ++slot)
        EXPECT_FALSE(f->TrayIcon(slot)->IconVisible()) << slot;
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

} // namespace
} // namespace quorvane
