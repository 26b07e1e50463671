// Report mails sent from the desktop program to real servers on loopback:
// the test button, the report timer and the warnings of a failing drive,
// each ending with its result in the status bar and the normal cursor.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "gui/Controls.h"
#include "gui/SmtpForm.h"
#include "mail/MailTestSupport.h"

namespace quorvane {
namespace {

using std::chrono::seconds;

constexpr int SendMs = 20000; // a send on loopback takes well under a second

void TypeInto(QLineEdit* edit, const QString& text) {
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
}

// Points the SMTP window at a loopback port, as the user types it.
void PointAt(TSMTPForm& smtp, const QString& port) {
    TypeInto(smtp.SMTPHostE, "127.0.0.1");
    TypeInto(smtp.SMTPPortE, port);
    TypeInto(smtp.SMTPFromE, "Quorvane <watch@example.org>");
    TypeInto(smtp.SMTPMailE, "admin@example.org");
}

QString Status(const test::FormUnderTest& f) {
    return f->StatusSB->currentMessage();
}

// Waits, running the event loop, until the status bar shows text.
bool StatusBecomes(const test::FormUnderTest& f, const char* text) {
    return QTest::qWaitFor([&] { return Status(f) == text; }, SendMs);
}

// Lets the report timer tick once now, then run on with its interval.
bool TickOnce(QTimer& timer) {
    const int interval = timer.interval();
    QSignalSpy fired(&timer, &QTimer::timeout);
    timer.start(0);
    const bool ticked = fired.wait(5000);
    timer.start(interval);
    return ticked && fired.count() == 1;
}

bool NormalCursor() {
    return QApplication::overrideCursor() == nullptr;
}

std::string Sample(const test::SinkServer& sink, int n, const char* file) {
    const auto message = sink.Message(n);
    const auto it = message.find(file);
    return it == message.end() ? std::string() : it->second;
}

TEST(ReportMail, TheTestButtonDeliversTheReportAndSaysSo) {
    const test::SinkServer sink({{"reporter", "s3cret"}});
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    test::FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    TSMTPForm& smtp = *f->SMTPForm;
    PointAt(smtp, QString::number(sink.Port()));
    TypeInto(smtp.SMTPLoginE, "reporter");
    TypeInto(smtp.SMTPPswE, "s3cret");
    QTest::mouseClick(smtp.AuthenticationCB, Qt::LeftButton);
    // The sink speaks no TLS: the password goes in clear only under None.
    smtp.SMTPSecurityCB->setCurrentIndex(static_cast<int>(SMTPSecurityMode::None));
    // Reports and warnings are off: the button sends all the same.
    ASSERT_FALSE(smtp.SMTPReportsCB->isChecked());
    ASSERT_FALSE(smtp.SMTPWarningsCB->isChecked());

    QTest::mouseClick(smtp.SendSMTPRepSB, Qt::LeftButton);
    ASSERT_TRUE(StatusBecomes(f, "Report sending O.K.")) << Status(f).toStdString();
    EXPECT_TRUE(NormalCursor());
    EXPECT_EQ(Sample(sink, 1, "login"), "reporter");
    EXPECT_EQ(Sample(sink, 1, "password"), "s3cret");
    EXPECT_EQ(Sample(sink, 1, "rcpt_tos"), "admin@example.org\n");
    const std::string content = Sample(sink, 1, "content");
    EXPECT_NE(content.find("Subject: Quorvane Report - "), std::string::npos);
    EXPECT_NE(content.find("X-Mailer: Quorvane"), std::string::npos);
    // Each drive's block with its own status, as the start-up's first tick
    // read it: the failing sample is the only "ERROR".
    EXPECT_NE(content.find("ST9160821AS:\r\n\r\nS.M.A.R.T.: O.K.\r\nTemperature: 38 \xc2\xb0"
                           "C\r\n\r\n\r\n"),
              std::string::npos);
    EXPECT_NE(content.find("WDC WD20EARS-00MVWB0:\r\n\r\nS.M.A.R.T.: ERROR\r\n"
                           "Temperature: 44 \xc2\xb0"
                           "C\r\n"),
              std::string::npos);

    // The report timer's tick sends the same report, composed afresh.
    f->StatusSB->clearMessage();
    QTest::mouseClick(smtp.SMTPReportsCB, Qt::LeftButton);
    ASSERT_TRUE(TickOnce(f->SMTPReportsTimer));
    ASSERT_TRUE(StatusBecomes(f, "Report sending O.K.")) << Status(f).toStdString();
    EXPECT_NE(Sample(sink, 2, "content").find("Subject: Quorvane Report - "), std::string::npos);
    EXPECT_TRUE(NormalCursor());
}

TEST(ReportMail, AClosedPortOrAPortThatIsNoNumberSaysFailed) {
    const test::RefusingPort closed;
    test::FormUnderTest f(test::SampleDrives());
    ASSERT_TRUE(f->StartupSequence());
    TSMTPForm& smtp = *f->SMTPForm;
    PointAt(smtp, QString::number(closed.Port()));
    QTest::mouseClick(smtp.SendSMTPRepSB, Qt::LeftButton);
    ASSERT_TRUE(StatusBecomes(f, "Report sending failed")) << Status(f).toStdString();
    EXPECT_TRUE(NormalCursor());

    // A port that is no number fails the same way, and the lock is free
    // again for the next send.
    f->StatusSB->clearMessage();
    TypeInto(smtp.SMTPPortE, "25x");
    QTest::mouseClick(smtp.SendSMTPRepSB, Qt::LeftButton);
    ASSERT_TRUE(StatusBecomes(f, "Report sending failed")) << Status(f).toStdString();
    EXPECT_TRUE(NormalCursor());
    EXPECT_TRUE(f.App->Reports().WaitForSendLock(seconds(1)));
}

TEST(ReportMail, AFailingDriveMailsOneWarningThenWaitsForTheRepeatTime) {
    const test::SinkServer sink;
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    test::FormUnderTest f(test::SampleDrives());
    f.WriteSettings("[Settings]\nSMTP Host=127.0.0.1\nSMTP Port=" + std::to_string(sink.Port()) +
                    "\nSMTP Mail=admin@example.org\nSMTP Warnings=1\n"
                    "SMTP Warning Repeat=60\n");
    // The first tick at start-up finds the failing sample: a new failure.
    ASSERT_TRUE(f->StartupSequence());
    ASSERT_TRUE(StatusBecomes(f, "Report sending O.K.")) << Status(f).toStdString();
    EXPECT_EQ(sink.Count(), 1);

    // The failure lasts: the next cycles raise no mail.
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(test::FireTimer(f->SMARTT));
    ASSERT_TRUE(test::ReportsDone(*f.App));
    EXPECT_EQ(sink.Count(), 1);

    // A repeat time of 0, set with the arrows, mails with every cycle again.
    TSMTPForm& smtp = *f->SMTPForm;
    auto* down = smtp.SMTPWarningRepeatUD->findChild<QToolButton*>("Down");
    for (int i = 0; i < 4; ++i)
        QTest::mouseClick(down, Qt::LeftButton);
    ASSERT_EQ(smtp.SMTPWarningRepeatE->text(), "0");
    f->StatusSB->clearMessage();
    ASSERT_TRUE(test::FireTimer(f->SMARTT));
    ASSERT_TRUE(StatusBecomes(f, "Report sending O.K.")) << Status(f).toStdString();
    EXPECT_EQ(sink.Count(), 2);
    EXPECT_NE(Sample(sink, 2, "content").find("S.M.A.R.T.: ERROR"), std::string::npos);

    // Warnings switched off: nothing more.
    QTest::mouseClick(smtp.SMTPWarningsCB, Qt::LeftButton);
    ASSERT_TRUE(test::FireTimer(f->SMARTT));
    ASSERT_TRUE(test::ReportsDone(*f.App));
    EXPECT_EQ(sink.Count(), 2);
    EXPECT_TRUE(NormalCursor());
}

} // namespace
} // namespace quorvane
