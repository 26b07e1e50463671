// The SMTP window: the mail server, the account, sender and recipient, the
// switches for periodic reports and warnings, and the test button. It has
// no OK or Cancel: every control writes into the settings as it changes, and
// what is typed counts for the next send.
#pragma once

#include <QDialog>

#include "app/Settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace quorvane {

class TUpDown;

class TSMTPForm : public QDialog {
    Q_OBJECT

public:
    // settings is the program's mirror the controls write into;
    // exitRequested tells whether closing the window releases it (the
    // program ends) or only hides it. Both outlive the window.
    TSMTPForm(Settings& settings, const bool& exitRequested, QWidget* parent);

    static constexpr int ClientWidth = 300;
    static constexpr int ClientHeight = 131;

    // Copies the SMTP part of the settings into the controls; no click
    // behaviour runs.
    void ShowSettings();
    // What the close button does: hides the window while the program runs,
    // releases it once the program ends. (A hidden window that was shown
    // modally receives no close event from close().)
    void CloseWindow();

    QLabel* SMTPHostNL;
    QLineEdit* SMTPHostE;
    QLabel* SMTPPortNL;
    QLineEdit* SMTPPortE;
    QLabel* SMTPLoginNL;
    QLineEdit* SMTPLoginE;
    QLabel* SMTPPswNL;
    QLineEdit* SMTPPswE;
    QLabel* SMTPFromNL;
    QLineEdit* SMTPFromE;
    QCheckBox* AuthenticationCB;
    QLabel* SMTPMailNL;
    QLineEdit* SMTPMailE;
    QCheckBox* SMTPReportsCB;
    QLineEdit* SMTPDelayE;
    TUpDown* SMTPDelayUD;
    QLabel* SMTPDelayNL;
    QToolButton* SendSMTPRepSB;
    QCheckBox* SMTPWarningsCB;
    QLineEdit* SMTPWarningRepeatE;
    TUpDown* SMTPWarningRepeatUD;
    QLabel* SMTPWarningRepeatNL;
    QLabel* SMTPSecurityNL;
    QComboBox* SMTPSecurityCB;

signals:
    // SMTPReportsCB was clicked: the report timer is to run exactly when
    // checked.
    void ReportsClicked(bool checked);
    // An arrow of SMTPDelayUD was clicked: the report timer takes the new
    // interval.
    void DelayClicked();
    // SendSMTPRepSB: a report goes out now, whatever the switches say.
    void SendTestReportClicked();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void createServerControls();
    void createReportControls();
    void createTabOrder();
    void createConnections();
    // A number typed into an up-down's edit moves the up-down, as its
    // arrows would next step from it; anything else leaves it.
    static void TakeTypedNumber(const QString& text, TUpDown* upDown);
    // When the typing is done the edit shows the position again: a number
    // outside the range is held to it, anything else gives way to the
    // position.
    static void FinishTypedNumber(QLineEdit* edit, TUpDown* upDown);

    Settings& settings_;
    const bool& exitRequested_;
    bool placed_ = false;
};

} // namespace quorvane
