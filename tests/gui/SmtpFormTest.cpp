// The SMTP window: its controls, what typing and clicking write into the
// settings, the report timer it drives, and its life as a modal window.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "gui/Controls.h"
#include "gui/SmtpForm.h"

namespace quorvane {
namespace {

// One arrow of an up-down, clicked as the user does.
void ClickArrow(TUpDown* upDown, bool up) {
    auto* arrow = upDown->findChild<QToolButton*>(up ? "Up" : "Down");
    ASSERT_NE(arrow, nullptr);
    QTest::mouseClick(arrow, Qt::LeftButton);
}

void TypeInto(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

struct StandaloneForm {
    Settings Mirror;
    bool ExitRequested = false;
    TSMTPForm Form{Mirror, ExitRequested, nullptr};
};

TEST(SmtpForm, EveryControlHasItsNameCaptionAndHint) {
    StandaloneForm s;
    TSMTPForm& f = s.Form;
    EXPECT_EQ(f.windowTitle(), "SMTP Reports & Warnings");
    EXPECT_EQ(f.size(), QSize(300, 131));
    EXPECT_EQ(f.minimumSize(), f.maximumSize()); // a fixed frame
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMinimizeButtonHint);
    EXPECT_FALSE(f.windowFlags() & Qt::WindowMaximizeButtonHint);

    const std::vector<std::pair<const char*, const char*>> labels = {
        {"SMTPHostNL", "Host:"},    {"SMTPPortNL", "Port:"},        {"SMTPLoginNL", "Login:"},
        {"SMTPPswNL", "Password:"}, {"SMTPFromNL", "From:"},        {"SMTPMailNL", "E-Mail:"},
        {"SMTPDelayNL", "min"},     {"SMTPSecurityNL", "Security:"}};
    for (const auto& [name, caption] : labels) {
        auto* label = f.findChild<QLabel*>(name);
        ASSERT_NE(label, nullptr) << name;
        EXPECT_EQ(label->text(), caption) << name;
    }
    const std::vector<std::pair<const char*, const char*>> boxes = {
        {"AuthenticationCB", "Authentication"},
        {"SMTPReportsCB", "Reports"},
        {"SMTPWarningsCB", "Warnings"}};
    for (const auto& [name, caption] : boxes) {
        auto* box = f.findChild<QCheckBox*>(name);
        ASSERT_NE(box, nullptr) << name;
        EXPECT_EQ(box->text(), caption) << name;
        EXPECT_FALSE(box->isChecked()) << name;
    }
    // A first start: the program's own placeholders, port 25, no password.
    const std::vector<std::pair<const char*, const char*>> edits = {
        {"SMTPHostE", "smtp.quorvane.example.org"},
        {"SMTPPortE", "25"},
        {"SMTPLoginE", "support"},
        {"SMTPPswE", ""},
        {"SMTPFromE", "support@quorvane.example.org"},
        {"SMTPMailE", "support@quorvane.example.org"},
        {"SMTPDelayE", "20"},
        {"SMTPWarningRepeatE", "60"}};
    for (const auto& [name, text] : edits) {
        auto* edit = f.findChild<QLineEdit*>(name);
        ASSERT_NE(edit, nullptr) << name;
        EXPECT_EQ(edit->text(), text) << name;
    }
    EXPECT_EQ(f.findChild<QToolButton*>("SendSMTPRepSB")->toolTip(), "Send Test Report");
    EXPECT_EQ(f.findChild<TUpDown*>("SMTPDelayUD"), f.SMTPDelayUD);
    EXPECT_EQ(f.findChild<TUpDown*>("SMTPWarningRepeatUD"), f.SMTPWarningRepeatUD);

    auto* security = f.findChild<QComboBox*>("SMTPSecurityCB");
    ASSERT_NE(security, nullptr);
    QStringList items;
    for (int i = 0; i < security->count(); ++i)
        items << security->itemText(i);
    EXPECT_EQ(items, (QStringList{"Auto", "None", "STARTTLS", "SSL/TLS"}));
    EXPECT_EQ(security->currentIndex(), 0);
}

// Every caption shows whole with the fonts the window really gets, and no
// control covers another or reaches past the window's edge.
TEST(SmtpForm, NothingClipsOrOverlaps) {
    StandaloneForm s;
    TSMTPForm& f = s.Form;
    f.show();
    const QList<QWidget*> controls = f.findChildren<QWidget*>(Qt::FindDirectChildrenOnly);
    ASSERT_GE(controls.size(), 24);
    for (QWidget* w : controls) {
        SCOPED_TRACE(w->objectName().toStdString());
        EXPECT_TRUE(f.rect().contains(w->geometry())) << w->x() << "," << w->y();
        if (qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w) ||
            qobject_cast<QComboBox*>(w)) {
            EXPECT_GE(w->width(), w->sizeHint().width());
            EXPECT_GE(w->height(), w->sizeHint().height());
        }
    }
    for (qsizetype i = 0; i < controls.size(); ++i)
        for (qsizetype j = i + 1; j < controls.size(); ++j)
            EXPECT_FALSE(controls[i]->geometry().intersects(controls[j]->geometry()))
                << controls[i]->objectName().toStdString() << " and "
                << controls[j]->objectName().toStdString();
    // The numbers of the two interval edits show whole.
    for (QLineEdit* edit : {f.SMTPDelayE, f.SMTPWarningRepeatE}) {
        edit->setText("180");
        EXPECT_LE(edit->fontMetrics().horizontalAdvance("180"), edit->contentsRect().width() - 4);
    }
}

TEST(SmtpForm, WhatIsTypedOrClickedIsInTheSettingsAtOnce) {
    StandaloneForm s;
    TSMTPForm& f = s.Form;
    TypeInto(f.SMTPHostE, "127.0.0.1");
    TypeInto(f.SMTPPortE, "2525");
    TypeInto(f.SMTPLoginE, "reporter");
    TypeInto(f.SMTPFromE, "Disk Watch <watch@example.org>");
    TypeInto(f.SMTPMailE, "admin@example.org, ops@example.org");
    QTest::keyClicks(f.SMTPPswE, "s3cr");
    QTest::sendKeyEvent(QTest::Click, f.SMTPPswE, Qt::Key_Eacute, QString::fromUtf8("\xc3\xa9"),
                        Qt::NoModifier);
    QTest::keyClicks(f.SMTPPswE, "t");
    QTest::mouseClick(f.AuthenticationCB, Qt::LeftButton);
    QTest::mouseClick(f.SMTPWarningsCB, Qt::LeftButton);
    QTest::keyClick(f.SMTPSecurityCB, Qt::Key_Down); // Auto -> None -> STARTTLS
    QTest::keyClick(f.SMTPSecurityCB, Qt::Key_Down);

    const Settings& m = s.Mirror;
    EXPECT_EQ(m.SMTPHost, "127.0.0.1");
    EXPECT_EQ(m.SMTPPort, "2525");
    EXPECT_EQ(m.SMTPLogin, "reporter");
    EXPECT_EQ(m.SMTPFrom, "Disk Watch <watch@example.org>");
    EXPECT_EQ(m.SMTPMail, "admin@example.org, ops@example.org");
    EXPECT_EQ(m.SMTPPassword, "s3cr\xc3\xa9t"); // as typed, in UTF-8
    EXPECT_TRUE(m.SMTPAuthentication);
    EXPECT_TRUE(m.SMTPWarnings);
    EXPECT_EQ(m.SMTPSecurity, SMTPSecurityMode::StartTLS);
    // The password edit shows a star for every character.
    EXPECT_EQ(f.SMTPPswE->displayText(), "******");
    EXPECT_EQ(f.SMTPPswE->echoMode(), QLineEdit::Password);

    // Nothing is validated as typed: a port that is no number stays.
    TypeInto(f.SMTPPortE, "smtp");
    EXPECT_EQ(m.SMTPPort, "smtp");
    TypeInto(f.SMTPHostE, "");
    EXPECT_EQ(m.SMTPHost, "");
}

TEST(SmtpForm, TheUpDownsStepWithinTheirRanges) {
    StandaloneForm s;
    TSMTPForm& f = s.Form;
    QSignalSpy clicked(&f, &TSMTPForm::DelayClicked);
    ClickArrow(f.SMTPDelayUD, true);
    EXPECT_EQ(f.SMTPDelayE->text(), "35");
    EXPECT_EQ(s.Mirror.SMTPDelay, 35);
    for (int i = 0; i < 12; ++i)
        ClickArrow(f.SMTPDelayUD, true);
    EXPECT_EQ(f.SMTPDelayE->text(), "180");
    EXPECT_EQ(s.Mirror.SMTPDelay, 180);
    for (int i = 0; i < 20; ++i)
        ClickArrow(f.SMTPDelayUD, false);
    EXPECT_EQ(f.SMTPDelayE->text(), "10");
    EXPECT_EQ(s.Mirror.SMTPDelay, 10);
    EXPECT_EQ(clicked.count(), 33); // also the clicks at a limit

    // Typing a number moves the position without a click; the arrows step
    // on from it; the arrow keys in the edit step as the arrows do.
    TypeInto(f.SMTPDelayE, "45");
    EXPECT_EQ(f.SMTPDelayUD->Position(), 45);
    EXPECT_EQ(s.Mirror.SMTPDelay, 45);
    EXPECT_EQ(clicked.count(), 33);
    // When the typing is done the edit shows what counts: a number outside
    // the range is held to it, a text that is no number gives way.
    TypeInto(f.SMTPDelayE, "500");
    QTest::keyClick(f.SMTPDelayE, Qt::Key_Return);
    EXPECT_EQ(f.SMTPDelayE->text(), "180");
    EXPECT_EQ(s.Mirror.SMTPDelay, 180);
    TypeInto(f.SMTPDelayE, "soon");
    QTest::keyClick(f.SMTPDelayE, Qt::Key_Return);
    EXPECT_EQ(f.SMTPDelayE->text(), "180");
    TypeInto(f.SMTPDelayE, "45");
    QTest::keyClick(f.SMTPDelayE, Qt::Key_Up);
    EXPECT_EQ(f.SMTPDelayE->text(), "60");
    EXPECT_EQ(clicked.count(), 34);

    // The warning repeat: 0 (every cycle) up to a day, in quarter hours.
    for (int i = 0; i < 4; ++i)
        ClickArrow(f.SMTPWarningRepeatUD, false);
    EXPECT_EQ(f.SMTPWarningRepeatE->text(), "0");
    EXPECT_EQ(s.Mirror.SMTPWarningRepeat, 0);
    ClickArrow(f.SMTPWarningRepeatUD, false);
    EXPECT_EQ(s.Mirror.SMTPWarningRepeat, 0);
    TypeInto(f.SMTPWarningRepeatE, "1430");
    ClickArrow(f.SMTPWarningRepeatUD, true);
    EXPECT_EQ(s.Mirror.SMTPWarningRepeat, 1440);
}

TEST(SmtpForm, TheTabKeyVisitsTheFieldsInTheirOrder) {
    StandaloneForm s;
    TSMTPForm& f = s.Form;
    f.show();
    f.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.SMTPHostE->setFocus();
    QStringList visited{QApplication::focusWidget()->objectName()};
    for (int i = 0; i < 12; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(visited, (QStringList{"SMTPHostE", "SMTPPortE", "SMTPLoginE", "SMTPMailE", "SMTPPswE",
                                    "SMTPFromE", "SMTPReportsCB", "SMTPDelayE", "SMTPWarningsCB",
                                    "SMTPWarningRepeatE", "AuthenticationCB", "SMTPSecurityCB",
                                    "SMTPHostE"}));
}

TEST(SmtpForm, CloseOnlyHidesWhileTheProgramRunsAndReleasesAtItsEnd) {
    auto* s = new StandaloneForm;
    QPointer<TSMTPForm> form = &s->Form;
    TypeInto(form->SMTPHostE, "mail.example.org");
    bool modal = false;
    test::WhenModal([&] {
        modal = QApplication::activeModalWidget() == form;
        form->close();
    });
    form->exec();
    EXPECT_TRUE(modal);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(form);
    EXPECT_FALSE(form->isVisible());
    EXPECT_EQ(form->SMTPHostE->text(), "mail.example.org");

    // The program ends: the window goes.
    s->ExitRequested = true;
    auto* heap = new TSMTPForm(s->Mirror, s->ExitRequested, nullptr);
    QPointer<TSMTPForm> released = heap;
    heap->show();
    heap->CloseWindow();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(released);
    delete s;
}

} // namespace
} // namespace quorvane
