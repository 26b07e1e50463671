// The main window's life: shown from the tray and hidden into it, the
// computer's sleep and wake, and the end of the program, by Exit or with the
// session.
#include <QCloseEvent>
#include <QCoreApplication>
#include <functional>

#include "gui/MainForm.h"
#include "gui/HistoryForm.h"
#include "gui/Controls.h"
#include "gui/MbrForm.h"
#include "gui/SmartForm.h"

namespace quorvane {

namespace {

// One of the two periodic timers as the sleep and wake rules see it. The
// monitoring timer also carries the session's running state, which its
// timeout checks.
class QtProgramTimer final : public ProgramTimer {
public:
    QtProgramTimer(QTimer& timer, std::function<void(bool)> running = {})
        : timer_(timer), running_(std::move(running)) {}
    bool Running() const override { return timer_.isActive(); }
    void Start() override {
        if (running_)
            running_(true);
        timer_.start();
    }
    void Stop() override {
        if (running_)
            running_(false);
        timer_.stop();
    }

private:
    QTimer& timer_;
    std::function<void(bool)> running_;
};

class ReportSendLock final : public SendLockWaiter {
public:
    explicit ReportSendLock(ReportService& reports) : reports_(reports) {}
    bool WaitForSendLock(std::chrono::milliseconds bound) override {
        return reports_.WaitForSendLock(bound);
    }

private:
    ReportService& reports_;
};

} // namespace

void TMainForm::ShowMainWindow() {
    if (!placed_) {
        CentreOnScreen(this);
        placed_ = true;
    }
    show();
    setWindowState(windowState() & ~Qt::WindowMinimized);
    raise();
    activateWindow();
}

void TMainForm::MinimizeApplication() {
    if (trayAvailable_)
        hide();
    else
        showMinimized();
}

void TMainForm::HDDnIClick() {
    ShowMainWindow();
}

void TMainForm::HDDnIMinimizeToTray() {
    hide();
    QCoreApplication::processEvents();
}

void TMainForm::Restore1Click() {
    ShowMainWindow();
}

void TMainForm::Minimize1Click() {
    MinimizeApplication();
}

void TMainForm::Exit1Click() {
    SetEnd(AfterExitCommand(end_));
    close();
}

void TMainForm::SleepStarting() {
    QtProgramTimer monitoring(SMARTT, [this](bool on) { on ? program_.Session().Start() : program_.Session().Stop(); });
    QtProgramTimer reports(SMTPReportsTimer);
    ReportSendLock lock(program_.Reports());
    SuspendActions({monitoring, reports}, lock);
}

void TMainForm::Woken() {
    QtProgramTimer monitoring(SMARTT, [this](bool on) { on ? program_.Session().Start() : program_.Session().Stop(); });
    QtProgramTimer reports(SMTPReportsTimer);
    ResumeActions({monitoring, reports}, settings_.SMTPReports);
}

void TMainForm::SetEnd(ProgramEnd end) {
    end_ = end;
    data_.ExitRequested = ExitRequestedIn(end);
}

bool TMainForm::SessionEnding(SessionEvent event) {
    const SessionOutcome outcome = AfterSessionEvent(event, end_);
    SetEnd(outcome.End);
    if (outcome.EndsNow)
        EndWithoutSaving();
    return outcome.EndsNow;
}

// The windows made so far close; one never shown is not made for it.
void TMainForm::CloseSecondaryWindows() {
    if (TSMARTForm* smart = SMARTForm.Made())
        smart->close();
    if (TMBRForm* mbr = MBRForm.Made())
        mbr->close();
    if (TSMTPForm* smtp = SMTPForm.Made())
        smtp->CloseWindow();
    if (QWidget* history = HistoryForm.Made())
        history->close();
}

void TMainForm::EndWithoutSaving() {
    SMTPReportsTimer.stop();
    program_.Session().Stop();
    SMARTT.stop();
    CloseSecondaryWindows();
    hide();
    Tray->HideAll();
    SetEnd(ProgramEnd::Ended);
    emit ProgramEnded();
}

void TMainForm::closeEvent(QCloseEvent* event) {
    const CloseOutcome outcome = WhenClosing(end_, trayAvailable_);
    SetEnd(outcome.End);
    switch (outcome.Action) {
    case CloseAction::HideIntoTray:
        event->ignore();
        MinimizeApplication();
        return;
    case CloseAction::EndWithoutSaving:
        // The session goes: settings changed since the last save are not
        // written, and no message may hold the end up.
        event->accept();
        EndWithoutSaving();
        return;
    case CloseAction::CloseHandler:
        if (!CloseHandler()) {
            event->ignore();
            return;
        }
        event->accept();
        emit ProgramEnded();
        return;
    case CloseAction::None:
        event->accept();
        return;
    }
}

bool TMainForm::CloseHandler() {
    const bool reportsRunning = SMTPReportsTimer.isActive();
    SMTPReportsTimer.stop();
    // A transfer in flight gets a bounded time to end; one that takes longer
    // goes on by itself and touches nothing of the closing window.
    program_.Reports().WaitForSendLock(CloseSendLockWait);
    const bool saved = SaveSettingsFromWindows();
    SetEnd(AfterCloseHandler(end_, saved));
    if (!saved) {
        // The program keeps running as before: closing a window hides it
        // again, and the reports go on.
        if (reportsRunning && end_ == ProgramEnd::Running)
            SMTPReportsTimer.start();
        return false;
    }
    CloseSecondaryWindows();
    if (data_.DriveCount > 0) {
        program_.Session().Stop();
        SMARTT.stop();
    }
    Tray->HideAll();
    return true;
}

} // namespace quorvane
