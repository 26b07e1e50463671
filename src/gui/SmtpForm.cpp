#include "gui/SmtpForm.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProxyStyle>
#include <QStyle>
#include <QToolButton>

#include "gui/Controls.h"
#include "gui/Fonts.h"
#include "mail/ReportService.h"

namespace quorvane {

namespace {

constexpr int EditHeight = 20;
// The report interval and the warning repeat step in quarter hours.
constexpr int DelayStep = 15;
constexpr int WarningRepeatStep = 15;

// Shows every character of a masked edit as "*".
class StarPasswordStyle final : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override {
        if (hint == SH_LineEdit_PasswordCharacter)
            return '*';
        return QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

QLineEdit* MakeEdit(QWidget* parent, const char* name, int x, int y, int width) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(name);
    edit->setGeometry(x, y, width, EditHeight);
    return edit;
}

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

std::string Text(const QString& text) {
    return text.toStdString();
}

} // namespace

TSMTPForm::TSMTPForm(Settings& settings, const bool& exitRequested, QWidget* parent)
    : QDialog(parent), settings_(settings), exitRequested_(exitRequested) {
    setObjectName("SMTPForm");
    setWindowTitle("SMTP Reports & Warnings");
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFont(NarrowFormFont());
    setFixedSize(ClientWidth, ClientHeight);
    createServerControls();
    createReportControls();
    createTabOrder();
    ShowSettings();
    createConnections();
}

void TSMTPForm::createServerControls() {
    SMTPHostNL = MakeLabel(this, "SMTPHostNL", "Host:", 4, 8);
    SMTPHostE = MakeEdit(this, "SMTPHostE", 44, 4, 121);
    SMTPPortNL = MakeLabel(this, "SMTPPortNL", "Port:", 172, 8);
    SMTPPortE = MakeEdit(this, "SMTPPortE", 224, 4, 35);
    SMTPLoginNL = MakeLabel(this, "SMTPLoginNL", "Login:", 4, 28);
    SMTPLoginE = MakeEdit(this, "SMTPLoginE", 44, 24, 121);
    SMTPPswNL = MakeLabel(this, "SMTPPswNL", "Password:", 172, 28);
    SMTPPswE = MakeEdit(this, "SMTPPswE", 224, 24, 65);
    SMTPPswE->setEchoMode(QLineEdit::Password);
    auto* stars = new StarPasswordStyle(style()->name());
    stars->setParent(SMTPPswE);
    SMTPPswE->setStyle(stars);
    SMTPFromNL = MakeLabel(this, "SMTPFromNL", "From:", 4, 48);
    SMTPFromE = MakeEdit(this, "SMTPFromE", 44, 44, 121);
    AuthenticationCB = MakeCheckBox(this, "AuthenticationCB", "Authentication", 172, 52, false);
    SMTPMailNL = MakeLabel(this, "SMTPMailNL", "E-Mail:", 4, 68);
    SMTPMailE = MakeEdit(this, "SMTPMailE", 44, 64, 121);
    SMTPSecurityNL = MakeLabel(this, "SMTPSecurityNL", "Security:", 172, 76);
    SMTPSecurityCB = new QComboBox(this);
    SMTPSecurityCB->setObjectName("SMTPSecurityCB");
    SMTPSecurityCB->addItems({"Auto", "None", "STARTTLS", "SSL/TLS"});
    SMTPSecurityCB->setToolTip(QString::fromUtf8(SmtpSecurityHint));
    SMTPSecurityCB->setGeometry(218, 72, 78, 22);
}

void TSMTPForm::createReportControls() {
    SMTPReportsCB = MakeCheckBox(this, "SMTPReportsCB", "Reports", 4, 90, false);
    SMTPDelayE = MakeEdit(this, "SMTPDelayE", 78, 88, 25);
    SMTPDelayUD = new TUpDown(MinSMTPDelay, MaxSMTPDelay, DelayStep, Settings{}.SMTPDelay, this);
    SMTPDelayUD->setObjectName("SMTPDelayUD");
    SMTPDelayUD->move(103, 88);
    SMTPDelayNL = MakeLabel(this, "SMTPDelayNL", "min", 122, 92);
    SendSMTPRepSB =
        MakeSpeedButton(this, "SendSMTPRepSB", style()->standardIcon(QStyle::SP_ArrowForward),
                        "Send Test Report", 148, 88);
    SendSMTPRepSB->setFocusPolicy(Qt::NoFocus);

    SMTPWarningsCB = MakeCheckBox(this, "SMTPWarningsCB", "Warnings", 4, 112, false);
    SMTPWarningRepeatE = MakeEdit(this, "SMTPWarningRepeatE", 78, 110, 25);
    SMTPWarningRepeatUD =
        new TUpDown(0, MaxSMTPWarningRepeat, WarningRepeatStep, Settings{}.SMTPWarningRepeat, this);
    SMTPWarningRepeatUD->setObjectName("SMTPWarningRepeatUD");
    SMTPWarningRepeatUD->move(103, 110);
    SMTPWarningRepeatNL = MakeLabel(this, "SMTPWarningRepeatNL", "min, repeat", 122, 114);
    const QString repeatHint =
        "A lasting failure's warning is mailed again after this many minutes (0: every cycle)";
    for (QWidget* w :
         {static_cast<QWidget*>(SMTPWarningRepeatE), static_cast<QWidget*>(SMTPWarningRepeatUD),
          static_cast<QWidget*>(SMTPWarningRepeatNL)})
        w->setToolTip(repeatHint);
}

void TSMTPForm::createTabOrder() {
    // The arrows of an up-down take no focus of their own: the arrow keys
    // in the edit beside them step it.
    for (TUpDown* upDown : {SMTPDelayUD, SMTPWarningRepeatUD}) {
        for (QToolButton* arrow : upDown->findChildren<QToolButton*>())
            arrow->setFocusPolicy(Qt::NoFocus);
    }
    SMTPDelayE->installEventFilter(this);
    SMTPWarningRepeatE->installEventFilter(this);
    const QList<QWidget*> order = {SMTPHostE,          SMTPPortE,        SMTPLoginE,
                                   SMTPMailE,          SMTPPswE,         SMTPFromE,
                                   SMTPReportsCB,      SMTPDelayE,       SMTPWarningsCB,
                                   SMTPWarningRepeatE, AuthenticationCB, SMTPSecurityCB};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);
}

bool TSMTPForm::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        TUpDown* upDown = watched == SMTPDelayE           ? SMTPDelayUD
                          : watched == SMTPWarningRepeatE ? SMTPWarningRepeatUD
                                                          : nullptr;
        if (upDown && (key == Qt::Key_Up || key == Qt::Key_Down)) {
            upDown->Step(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TSMTPForm::TakeTypedNumber(const QString& text, TUpDown* upDown) {
    bool ok = false;
    const int value = text.trimmed().toInt(&ok, 10);
    if (ok && value >= upDown->Min() && value <= upDown->Max())
        upDown->SetPosition(value);
}

void TSMTPForm::FinishTypedNumber(QLineEdit* edit, TUpDown* upDown) {
    bool ok = false;
    const int value = edit->text().trimmed().toInt(&ok, 10);
    if (ok)
        upDown->SetPosition(value); // held to the range
    edit->setText(QString::number(upDown->Position()));
}

void TSMTPForm::createConnections() {
    connect(SMTPHostE, &QLineEdit::textChanged, this,
            [this](const QString& text) { settings_.SMTPHost = Text(text); });
    connect(SMTPPortE, &QLineEdit::textChanged, this,
            [this](const QString& text) { settings_.SMTPPort = Text(text); });
    connect(SMTPLoginE, &QLineEdit::textChanged, this,
            [this](const QString& text) { settings_.SMTPLogin = Text(text); });
    connect(SMTPPswE, &QLineEdit::textChanged, this,
            [this](const QString& text) { settings_.SMTPPassword = Text(text); });
    connect(SMTPFromE, &QLineEdit::textChanged, this,
            [this](const QString& text) { settings_.SMTPFrom = Text(text); });
    connect(SMTPMailE, &QLineEdit::textChanged, this,
            [this](const QString& text) { settings_.SMTPMail = Text(text); });
    connect(AuthenticationCB, &QCheckBox::toggled, this,
            [this](bool on) { settings_.SMTPAuthentication = on; });
    connect(SMTPSecurityCB, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0)
            settings_.SMTPSecurity = static_cast<SMTPSecurityMode>(index);
    });

    connect(SMTPReportsCB, &QCheckBox::toggled, this,
            [this](bool on) { settings_.SMTPReports = on; });
    connect(SMTPReportsCB, &QCheckBox::clicked, this, &TSMTPForm::ReportsClicked);
    connect(SMTPDelayUD, &TUpDown::PositionChanged, this, [this](int position) {
        settings_.SMTPDelay = position;
        if (SMTPDelayE->text().trimmed().toInt() != position)
            SMTPDelayE->setText(QString::number(position));
    });
    connect(SMTPDelayUD, &TUpDown::Clicked, this, &TSMTPForm::DelayClicked);
    // Typing moves the position (a save stores it) but sets no interval.
    connect(SMTPDelayE, &QLineEdit::textEdited, this,
            [this](const QString& text) { TakeTypedNumber(text, SMTPDelayUD); });
    connect(SMTPDelayE, &QLineEdit::editingFinished, this,
            [this] { FinishTypedNumber(SMTPDelayE, SMTPDelayUD); });
    connect(SendSMTPRepSB, &QToolButton::clicked, this, &TSMTPForm::SendTestReportClicked);

    connect(SMTPWarningsCB, &QCheckBox::toggled, this,
            [this](bool on) { settings_.SMTPWarnings = on; });
    connect(SMTPWarningRepeatUD, &TUpDown::PositionChanged, this, [this](int position) {
        settings_.SMTPWarningRepeat = position;
        if (SMTPWarningRepeatE->text().trimmed().toInt() != position)
            SMTPWarningRepeatE->setText(QString::number(position));
    });
    connect(SMTPWarningRepeatE, &QLineEdit::textEdited, this,
            [this](const QString& text) { TakeTypedNumber(text, SMTPWarningRepeatUD); });
    connect(SMTPWarningRepeatE, &QLineEdit::editingFinished, this,
            [this] { FinishTypedNumber(SMTPWarningRepeatE, SMTPWarningRepeatUD); });
}

void TSMTPForm::ShowSettings() {
    const QSignalBlocker blockers[] = {
        QSignalBlocker(SMTPHostE),        QSignalBlocker(SMTPPortE),
        QSignalBlocker(SMTPLoginE),       QSignalBlocker(SMTPPswE),
        QSignalBlocker(SMTPFromE),        QSignalBlocker(SMTPMailE),
        QSignalBlocker(AuthenticationCB), QSignalBlocker(SMTPSecurityCB),
        QSignalBlocker(SMTPReportsCB),    QSignalBlocker(SMTPWarningsCB),
        QSignalBlocker(SMTPDelayUD),      QSignalBlocker(SMTPWarningRepeatUD)};
    SMTPHostE->setText(Text(settings_.SMTPHost));
    SMTPPortE->setText(Text(settings_.SMTPPort));
    SMTPLoginE->setText(Text(settings_.SMTPLogin));
    SMTPPswE->setText(Text(settings_.SMTPPassword));
    SMTPFromE->setText(Text(settings_.SMTPFrom));
    SMTPMailE->setText(Text(settings_.SMTPMail));
    AuthenticationCB->setChecked(settings_.SMTPAuthentication);
    SMTPSecurityCB->setCurrentIndex(static_cast<int>(settings_.SMTPSecurity));
    SMTPReportsCB->setChecked(settings_.SMTPReports);
    SMTPWarningsCB->setChecked(settings_.SMTPWarnings);
    SMTPDelayUD->SetPosition(settings_.SMTPDelay);
    SMTPDelayE->setText(QString::number(SMTPDelayUD->Position()));
    SMTPWarningRepeatUD->SetPosition(settings_.SMTPWarningRepeat);
    SMTPWarningRepeatE->setText(QString::number(SMTPWarningRepeatUD->Position()));
}

void TSMTPForm::showEvent(QShowEvent* event) {
    if (!placed_) {
        CentreOnScreen(this);
        placed_ = true;
    }
    QDialog::showEvent(event);
}

void TSMTPForm::CloseWindow() {
    // While the program runs the window is only hidden and keeps every
    // value; when it ends, the window goes.
    hide();
    if (exitRequested_)
        deleteLater();
}

void TSMTPForm::closeEvent(QCloseEvent* event) {
    QDialog::closeEvent(event);
    if (event->isAccepted())
        CloseWindow();
}

} // namespace quorvane
