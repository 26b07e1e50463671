// The S.M.A.R.T. window: grid texts against the hand-decoded rows of the same
// pages, row colours as painted, the height rule, HEX/DEC, the report file,
// the clipboard image, and simulated self-tests run from the window.
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "GuiTestSupport.h"
#include "common/TestDrives.h"
#include "gui/MbrForm.h"
#include "gui/SmartForm.h"
#include "gui/SmtpForm.h"
#include "gui/TextTrayIcon.h"
#include "mail/MailTestSupport.h"
#include "monitor/MonitorSession.h"

namespace quorvane {
namespace {

using test::Rgb;

// The rows of a .grid.txt file: seven cells (raw in HEX), then the raw in DEC.
std::vector<QStringList> HandDecodedRows(const std::string& drive) {
    std::ifstream in(test::PagesDir() / (drive + ".grid.txt"));
    std::vector<QStringList> rows;
    std::string line;
    while (std::getline(in, line))
        if (!line.empty() && line[0] != '#')
            rows.push_back(QString::fromStdString(line).split('|'));
    return rows;
}

QStringList GridRow(const QTableWidget* grid, int row) {
    QStringList cells;
    for (int c = 0; c < grid->columnCount(); ++c)
        cells << grid->item(row, c)->text();
    return cells;
}

// The colour the grid paints at the right end of a row's Status cell.
QColor PaintedRowColour(QTableWidget* grid, int row) {
    const QImage image = grid->viewport()->grab().toImage();
    const int x = grid->columnViewportPosition(6) + grid->columnWidth(6) - 3;
    const int y = grid->rowViewportPosition(row) + 8;
    return image.pixelColor(x * image.width() / grid->viewport()->width(),
                            y * image.height() / grid->viewport()->height());
}

int RowOf(const QTableWidget* grid, const QString& name) {
    for (int r = 1; r < grid->rowCount(); ++r)
        if (grid->item(r, 0)->text() == name)
            return r;
    return -1;
}

// The window's height by the grid rules, and the self-test part under it.
int RuledHeight(const TSMARTForm& smart) {
    return ComputeSmartGridHeights(smart.SMARTSG->rowCount()).Window -
           TSMARTForm::NonClientHeight + TSMARTForm::SelfTestPartHeight;
}

// The self-test row and the log table sit under the grid, the log last.
void ExpectSelfTestPartUnderTheGrid(const TSMARTForm& smart) {
    const int gridBottom = smart.SMARTSG->geometry().bottom();
    EXPECT_GT(smart.SelfTestStartB->geometry().top(), gridBottom);
    EXPECT_GT(smart.SelfTestPB->geometry().top(), gridBottom);
    EXPECT_GT(smart.SelfTestLogSG->geometry().top(), smart.SelfTestStartB->geometry().bottom());
    EXPECT_EQ(smart.SelfTestLogSG->geometry().bottom() + 1 + 4, smart.height());
}

QStringList Items(const QComboBox* box) {
    QStringList items;
    for (int i = 0; i < box->count(); ++i)
        items << box->itemText(i);
    return items;
}

QStringList LogRow(const QTableWidget* log, int row) {
    QStringList cells;
    for (int c = 0; c < log->columnCount(); ++c)
        cells << (log->item(row, c) ? log->item(row, c)->text() : QString());
    return cells;
}

class SmartFormTest : public ::testing::Test {
protected:
    void Start(const char* drive, const std::string& ini = "") {
        dir.AddRealDrive(0, drive, ini);
        f = std::make_unique<test::FormUnderTest>(dir.Path());
        ASSERT_TRUE((*f)->StartupSequence());
    }
    TMainForm& Form() { return *f->Form; }
    // The S.M.A.R.T. window's read button.
    void ReadAsTheUserDoes() { QTest::mouseClick(Smart().ReadSMARTSB, Qt::LeftButton); }
    TSMARTForm& Smart() { return *Form().SMARTForm; }

    test::DriveDir dir;
    std::unique_ptr<test::FormUnderTest> f;
};

TEST_F(SmartFormTest, ReadButtonShowsTheGridModallyWithTheHandDecodedRows) {
    Start("ST9160821AS--3.CLH");
    bool shown = false;
    test::WhenModal([&] {
        shown = Smart().isVisible() && Smart().isModal();
        Smart().close();
    });
    QTest::mouseClick(Form().SMARTReadSB, Qt::LeftButton);
    EXPECT_TRUE(shown);
    EXPECT_EQ(Smart().windowTitle(), "S.M.A.R.T.");
    EXPECT_EQ(Smart().SMARTStatusL->text(), "O.K.");

    const auto expected = HandDecodedRows("ST9160821AS--3.CLH");
    QTableWidget* grid = Smart().SMARTSG;
    ASSERT_EQ(grid->rowCount(), static_cast<int>(expected.size()) + 1);
    EXPECT_EQ(GridRow(grid, 0),
              (QStringList{"Name", "Attr", "Worst", "Raw", "Threshold", "Flags", "Status"}));
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(GridRow(grid, static_cast<int>(i) + 1), expected[i].mid(0, 7)) << i;

    // 21 rows of 16: grid 340, window 416 outside, 380 inside, and the
    // self-test row and log under the grid.
    EXPECT_EQ(grid->rowCount(), 21);
    EXPECT_EQ(grid->height(), 340);
    EXPECT_EQ(Smart().height(), 416 - TSMARTForm::NonClientHeight + TSMARTForm::SelfTestPartHeight);
    EXPECT_EQ(Smart().width(), 487);
    ExpectSelfTestPartUnderTheGrid(Smart());
}

TEST_F(SmartFormTest, PreFailureRowsArePaintedGreenOrPinkOthersPlain) {
    Start("Maxtor_96147H8--BAC51KJ0--2");
    ReadAsTheUserDoes();
    QTableWidget* grid = Smart().SMARTSG;
    const auto rows = HandDecodedRows("Maxtor_96147H8--BAC51KJ0--2");
    int pink = 0, green = 0, plain = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        const int row = static_cast<int>(i) + 1;
        const QStringList& cells = rows[i];
        QColor want = grid->palette().base().color();
        if (cells[5].contains('F'))
            want = cells[1].toInt() < cells[4].toInt() ? Rgb(0x00CBC0FF) : Rgb(0x0090EE90);
        SCOPED_TRACE(cells[0].toStdString());
        EXPECT_EQ(PaintedRowColour(grid, row), want);
        pink += want == Rgb(0x00CBC0FF);
        green += want == Rgb(0x0090EE90);
        plain += want == grid->palette().base().color();
    }
    // The drive was picked for a pre-failure value below its threshold.
    EXPECT_GE(pink, 1);
    EXPECT_GE(green, 1);
    EXPECT_GE(plain, 1);
    EXPECT_EQ(PaintedRowColour(grid, 0), grid->palette().button().color());
}

// An NVMe drive's grid: name, value and status only, the hidden columns' room
// given to the shown ones, the verdicts coloured, the HEX/DEC switch acting
// on the counters, and the window sized by the same rules.
TEST_F(SmartFormTest, AnNvmeDrivesHealthLogShowsAsNameValueAndVerdict) {
    dir.AddRealNvme(0, "KBG30ZMS256G_NVMe_TOSHIBA_256GB--ADDA0105", "critical-warning = 0x04");
    f = std::make_unique<test::FormUnderTest>(dir.Path());
    ASSERT_TRUE((*f)->StartupSequence());
    ReadAsTheUserDoes();
    QTableWidget* grid = Smart().SMARTSG;
    EXPECT_EQ(Smart().SMARTStatusL->text(), "ERROR");
    std::vector<int> shown;
    int width = 0;
    for (int c = 0; c < grid->columnCount(); ++c)
        if (!grid->isColumnHidden(c)) {
            shown.push_back(c);
            width += grid->columnWidth(c);
        }
    EXPECT_EQ(shown, (std::vector<int>{0, 3, 6}));
    EXPECT_EQ(width, grid->viewport()->width());
    EXPECT_EQ(grid->item(0, 3)->text(), "Value");
    const int warning = RowOf(grid, "Critical Warning");
    const int spare = RowOf(grid, "Available Spare");
    const int entries = RowOf(grid, "Error Information Log Entries");
    ASSERT_GT(warning, 0);
    EXPECT_EQ(grid->item(warning, 3)->text(), "0x04");
    EXPECT_EQ(PaintedRowColour(grid, warning), Rgb(0x00CBC0FF));
    EXPECT_EQ(PaintedRowColour(grid, spare), Rgb(0x0090EE90));
    EXPECT_EQ(PaintedRowColour(grid, entries), grid->palette().base().color());
    EXPECT_EQ(grid->item(entries, 3)->text(), "000000000BCBh"); // 3019 entries
    QTest::mouseClick(Smart().DECRB, Qt::LeftButton);
    EXPECT_EQ(grid->item(entries, 3)->text(), "3019");
    EXPECT_EQ(grid->height(), ComputeSmartGridHeights(grid->rowCount()).Grid);
    // The main window's flags of ATA drives are greyed for it.
    EXPECT_FALSE(Form().InformationGB->HDDLBA48L->isEnabled());
    EXPECT_FALSE(Form().InformationGB->HDDHPAL->isEnabled());
}

// The header is a fixed row: a click on it selects nothing and it keeps its
// colour, while a data cell clicked turns light sky blue.
TEST_F(SmartFormTest, OnlyDataCellsCanBeSelected) {
    Start("ST9160821AS--3.CLH");
    ReadAsTheUserDoes();
    QTableWidget* grid = Smart().SMARTSG;
    const auto clickCell = [grid](int row, int column) {
        const QPoint centre(grid->columnViewportPosition(column) + 10,
                            grid->rowViewportPosition(row) + 8);
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, centre);
    };
    clickCell(0, 6);
    EXPECT_TRUE(grid->selectedItems().isEmpty());
    EXPECT_EQ(PaintedRowColour(grid, 0), grid->palette().button().color());
    clickCell(3, 6);
    ASSERT_EQ(grid->selectedItems().size(), 1);
    EXPECT_EQ(grid->selectedItems()[0]->row(), 3);
    EXPECT_EQ(PaintedRowColour(grid, 3), Rgb(0x00FACE87));
}

TEST_F(SmartFormTest, HexDecSwitchReadsTheDriveAgain) {
    Start("ST9160821AS--3.CLH");
    ReadAsTheUserDoes();
    const auto expected = HandDecodedRows("ST9160821AS--3.CLH");
    QTableWidget* grid = Smart().SMARTSG;
    const int row = RowOf(grid, expected[0][0]);
    ASSERT_EQ(row, 1);
    EXPECT_EQ(grid->item(row, 3)->text(), expected[0][3]);
    QTest::mouseClick(Smart().DECRB, Qt::LeftButton);
    EXPECT_EQ(Smart().RawValuesFormat(), RawValueFormat::Dec);
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(grid->item(static_cast<int>(i) + 1, 3)->text(), expected[i][7]) << i;
    QTest::mouseClick(Smart().HEXRB, Qt::LeftButton);
    EXPECT_EQ(grid->item(row, 3)->text(), expected[0][3]);
}

TEST_F(SmartFormTest, ReportGetsTheDefaultExtensionAndTheIdentityShown) {
    Start("ST9160821AS--3.CLH");
    ReadAsTheUserDoes();
    const std::string base = dir.Path() + "/report";
    // An existing file is replaced without a question.
    std::ofstream(base + ".log") << "old contents\n";
    EXPECT_EQ(Form().SaveLogDialog()->windowTitle(), "Save Log");
    EXPECT_EQ(Form().SaveLogDialog()->nameFilters(), (QStringList{"Log files (*.log)", "All files (*.*)"}));
    test::WhenModal([&] {
        Form().SaveLogDialog()->selectFile(QString::fromStdString(base));
        static_cast<QDialog*>(Form().SaveLogDialog())->accept();
    });
    QTest::mouseClick(Smart().SaveSMARTSB, Qt::LeftButton);
    std::ifstream in(base + ".log", std::ios::binary);
    ASSERT_TRUE(in.good());
    std::stringstream text;
    text << in.rdbuf();
    const std::string report = text.str();
    EXPECT_EQ(report.rfind("S.M.A.R.T. Report - ", 0), 0u);
    EXPECT_NE(report.find("\r\n\r\nModel Number: ST9160821AS\r\nFirmware Revision: 3.CLH\r\n"
                          "Serial Number: 5MAC2QTA\r\n"),
              std::string::npos);
    EXPECT_NE(report.find("(01h) Raw Read Error Rate"), std::string::npos);
    EXPECT_EQ(report.find("old contents"), std::string::npos);

    // Cancelled: nothing is written.
    test::WhenModal([&] { Form().SaveLogDialog()->reject(); });
    std::filesystem::remove(base + ".log");
    QTest::mouseClick(Smart().SaveSMARTSB, Qt::LeftButton);
    EXPECT_FALSE(std::filesystem::exists(base + ".log"));
}

TEST_F(SmartFormTest, CopyPutsAnImageOfTheWindowOnTheClipboard) {
    Start("ST9160821AS--3.CLH");
    ReadAsTheUserDoes();
    QGuiApplication::clipboard()->clear();
    QTest::mouseClick(Smart().CopySMARTWindowSB, Qt::LeftButton);
    const QImage image = QGuiApplication::clipboard()->image();
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size() / image.devicePixelRatio(), Smart().size());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(SmartFormTest, ADriveWithoutKnownAttributesShrinksTheWindowToOneRow) {
    auto data = test::PageOf("ST9160821AS--3.CLH", "smart-data");
    std::fill(data.begin() + 2, data.begin() + 362, 0); // every attribute slot empty
    Start("ST9160821AS--3.CLH");
    dir.WriteBytes(0, "smart-data.bin", data);
    // The simulated drive keeps its pages once loaded: a fresh window reads them.
    f = std::make_unique<test::FormUnderTest>(dir.Path());
    ASSERT_TRUE(Form().StartupSequence());
    ReadAsTheUserDoes();
    EXPECT_EQ(Smart().SMARTSG->rowCount(), 1);
    EXPECT_EQ(Smart().SMARTSG->height(), 20);
    EXPECT_EQ(Smart().height(), 96 - TSMARTForm::NonClientHeight + TSMARTForm::SelfTestPartHeight);
    ExpectSelfTestPartUnderTheGrid(Smart());
}

TEST_F(SmartFormTest, EveryTextFitsItsColumnAndNoScrollBarShowsWhenAllRowsFit) {
    // Raw Read Error Rate at the largest 48-bit raw value, Spin Up Time with
    // the widest hexadecimal digits.
    auto data = test::PageOf("ST9160821AS--3.CLH", "smart-data");
    for (size_t at = 2; at + 12 <= 362; at += 12) {
        if (data[at] == 1)
            std::fill(data.begin() + static_cast<std::ptrdiff_t>(at + 5),
                      data.begin() + static_cast<std::ptrdiff_t>(at + 11), 0xFF);
        if (data[at] == 3)
            std::fill(data.begin() + static_cast<std::ptrdiff_t>(at + 5),
                      data.begin() + static_cast<std::ptrdiff_t>(at + 11), 0xDD);
    }
    dir.AddRealDrive(0, "ST9160821AS--3.CLH");
    dir.WriteBytes(0, "smart-data.bin", data);
    f = std::make_unique<test::FormUnderTest>(dir.Path());
    ASSERT_TRUE(Form().StartupSequence());
    ReadAsTheUserDoes();
    Smart().show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&Smart()));
    QTableWidget* grid = Smart().SMARTSG;
    const QFontMetrics metrics = grid->fontMetrics();

    // Every text starts 2 pixels into its cell and ends before the grid line.
    auto checkEveryCell = [&] {
        for (int r = 0; r < grid->rowCount(); ++r)
            for (int c = 0; c < grid->columnCount(); ++c) {
                const QString text = grid->item(r, c)->text();
                EXPECT_LE(2 + metrics.horizontalAdvance(text), grid->columnWidth(c) - 1)
                    << text.toStdString();
            }
    };
    const int spinUp = RowOf(grid, "(03h) Spin Up Time");
    ASSERT_GT(spinUp, 0);
    EXPECT_EQ(grid->item(spinUp, SmartColRaw)->text(), "DDDDDDDDDDDDh");
    checkEveryCell();
    QTest::mouseClick(Smart().DECRB, Qt::LeftButton);
    ASSERT_EQ(grid->item(RowOf(grid, "(01h) Raw Read Error Rate"), SmartColRaw)->text(),
              "281474976710655");
    checkEveryCell();
    EXPECT_GE(grid->columnWidth(SmartColRaw), 2 + metrics.horizontalAdvance("281474976710655") + 1);

    // All rows and columns are in view: no scroll bar, and the last column
    // ends inside the grid.
    EXPECT_FALSE(grid->verticalScrollBar()->isVisible());
    EXPECT_FALSE(grid->horizontalScrollBar()->isVisible());
    EXPECT_EQ(grid->rowViewportPosition(grid->rowCount() - 1) + grid->rowHeight(0),
              grid->rowCount() * (SmartGridDefaultRowHeight + 1));
    EXPECT_LE(grid->rowCount() * (SmartGridDefaultRowHeight + 1), grid->viewport()->height());
    EXPECT_LE(grid->columnViewportPosition(SmartColStatus) + grid->columnWidth(SmartColStatus),
              grid->viewport()->width());
    EXPECT_EQ(Smart().width(), TSMARTForm::ClientWidth);
    Smart().hide();
}

// Start on a simulated drive whose test takes four reads: the window's read
// after Start and each monitoring tick move it on, the bar and the tray
// tooltip follow, and at its end the log table gets its row.
TEST_F(SmartFormTest, ASimulatedSelfTestRunsInStepsToItsLogRow) {
    Start("ST9160821AS--3.CLH", "selftest-steps = 4");
    ReadAsTheUserDoes();
    TSMARTForm& w = Smart();
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(Items(w.SelfTestKindCB), (QStringList{"Short", "Extended"}));
    EXPECT_TRUE(w.SelfTestStartB->isEnabled());
    EXPECT_FALSE(w.SelfTestAbortB->isEnabled());
    EXPECT_EQ(w.SelfTestLogSG->rowCount(), 0);
    const int height = RuledHeight(w);

    w.SelfTestKindCB->setCurrentIndex(1);
    QTest::mouseClick(w.SelfTestStartB, Qt::LeftButton);
    // What the bar and the tooltip showed after the Start and each tick.
    QStringList bar, tooltip;
    for (int tick = 0; tick < 10 && w.SelfTestAbortB->isEnabled(); ++tick) {
        bar << QString::number(w.SelfTestPB->value()) + "|" + w.SelfTestPB->text();
        EXPECT_FALSE(w.SelfTestStartB->isEnabled());
        EXPECT_FALSE(w.SelfTestKindCB->isEnabled());
        EXPECT_EQ(w.SelfTestKindCB->currentText(), "Extended"); // the ticks keep the choice
        ASSERT_TRUE(test::FireTimer(Form().SMARTT));
        tooltip << Form().Tray->Icon(1)->Hint();
    }
    // 80 minutes for the whole test.
    EXPECT_EQ(bar, (QStringList{"40|40 %, about 48 min left", "60|60 %, about 32 min left",
                                "80|80 %, about 16 min left"}));
    EXPECT_EQ(tooltip, (QStringList{"ST9160821AS\nself-test 60 %", "ST9160821AS\nself-test 80 %",
                                    "ST9160821AS"}));
    EXPECT_TRUE(w.SelfTestStartB->isEnabled());
    EXPECT_EQ(w.SelfTestPB->value(), 0);
    EXPECT_EQ(w.SelfTestPB->text(), "");
    ASSERT_EQ(w.SelfTestLogSG->rowCount(), 1);
    EXPECT_EQ(LogRow(w.SelfTestLogSG, 0),
              (QStringList{"1", "Extended offline", "Completed without error", "0 %", "556", "-"}));
    EXPECT_EQ(w.height(), height);
    w.hide();
}

// Abort ends the test and the log says so; the row offers what each drive
// offers, and nothing (disabled) for a drive without self-tests and for an
// NVMe controller without Device Self-test; one with it runs its test too.
TEST_F(SmartFormTest, AbortStopsTheTestAndEachDriveGetsItsOwnRow) {
    auto noTests = test::PageOf("ST9160821AS--3.CLH", "smart-data");
    noTests[367] = 0x03; // off-line collection, but no self-test
    dir.AddRealDrive(0, "ST9160821AS--3.CLH", "selftest-steps = 5");
    dir.AddRealDrive(1, "WDC_WD20EARS-00MVWB0");
    dir.AddRealDrive(2, "ST9160821AS--3.CLH");
    dir.WriteBytes(2, "smart-data.bin", noTests);
    dir.AddRealNvme(3, "KBG30ZMS256G_NVMe_TOSHIBA_256GB--ADDA0105"); // OACS lists self-test
    dir.AddRealNvme(4, "Samsung_SSD_960_EVO_1TB--2B7QCXE7");         // and this one not
    f = std::make_unique<test::FormUnderTest>(dir.Path());
    ASSERT_TRUE(Form().StartupSequence());
    ReadAsTheUserDoes();
    TSMARTForm& w = Smart();
    QTest::mouseClick(w.SelfTestStartB, Qt::LeftButton); // the first kind: short
    ASSERT_TRUE(w.SelfTestAbortB->isEnabled());
    EXPECT_EQ(w.SelfTestPB->text(), "30 %, about 1 min left");
    QTest::mouseClick(w.SelfTestAbortB, Qt::LeftButton);
    EXPECT_FALSE(w.SelfTestAbortB->isEnabled());
    EXPECT_TRUE(w.SelfTestStartB->isEnabled());
    EXPECT_EQ(w.SelfTestPB->value(), 0);
    EXPECT_EQ(w.SelfTestPB->text(), "the self-test was aborted");
    ASSERT_EQ(w.SelfTestLogSG->rowCount(), 1);
    EXPECT_EQ(LogRow(w.SelfTestLogSG, 0),
              (QStringList{"1", "Short offline", "Aborted by host", "90 %", "556", "-"}));
    // The next tick finds the drive idle: nothing changes.
    ASSERT_TRUE(test::FireTimer(Form().SMARTT));
    EXPECT_EQ(w.SelfTestLogSG->rowCount(), 1);
    EXPECT_EQ(w.SelfTestPB->text(), "the self-test was aborted");

    struct Row {
        int Index;
        QStringList Kinds;
    };
    const Row rows[] = {{1, {"Short", "Extended", "Conveyance"}},
                        {2, {}},
                        {3, {"Short", "Extended"}},
                        {4, {}},
                        {0, {"Short", "Extended"}}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Index);
        Form().HDDCB->setCurrentIndex(row.Index);
        emit Form().HDDCB->activated(row.Index);
        const bool offered = !row.Kinds.isEmpty();
        EXPECT_EQ(Items(w.SelfTestKindCB), row.Kinds);
        EXPECT_EQ(w.SelfTestKindCB->isEnabled(), offered);
        EXPECT_EQ(w.SelfTestStartB->isEnabled(), offered);
        EXPECT_FALSE(w.SelfTestAbortB->isEnabled());
        EXPECT_EQ(w.SelfTestLogSG->isEnabled(), offered);
        EXPECT_EQ(w.SelfTestPB->text(), "");
        // Only the first drive has run a test.
        EXPECT_EQ(w.SelfTestLogSG->rowCount(), row.Index == 0 ? 1 : 0);
        EXPECT_EQ(w.height(), RuledHeight(w));
    }

    // The NVMe controller's test: its own log tells the progress and the end.
    Form().HDDCB->setCurrentIndex(3);
    emit Form().HDDCB->activated(3);
    QTest::mouseClick(w.SelfTestStartB, Qt::LeftButton);
    QStringList bar;
    for (int tick = 0; tick < 10 && w.SelfTestAbortB->isEnabled(); ++tick) {
        bar << w.SelfTestPB->text();
        ASSERT_TRUE(test::FireTimer(Form().SMARTT));
    }
    // The simulated controller's three steps; it keeps no power-on hours,
    // and an NVMe result no percent remaining.
    EXPECT_EQ(bar, (QStringList{"34 %", "67 %"}));
    ASSERT_EQ(w.SelfTestLogSG->rowCount(), 1);
    EXPECT_EQ(LogRow(w.SelfTestLogSG, 0),
              (QStringList{"1", "Short", "Completed without error", "-", "0", "-"}));
}

std::string MailContent(const test::SinkServer& sink, int n) {
    const auto message = sink.Message(n);
    const auto it = message.find("content");
    return it == message.end() ? std::string() : it->second;
}

// A test that fails: its row names the failure and the first failing LBA,
// the tick frames the icon red and mails a warning once.
TEST(SmartFormSelfTest, AFailingTestShowsItsLbaTurnsTheIconRedAndMailsOnce) {
    const test::SinkServer sink;
    ASSERT_TRUE(sink.Running()) << sink.StartError();
    test::DriveDir dir;
    dir.AddRealDrive(0, "ST9160821AS--3.CLH",
                     "selftest = fail\nselftest-steps = 2\nselftest-lba = 123456");
    test::FormUnderTest f(dir.Path());
    f.WriteSettings("[Settings]\nSMTP Host=127.0.0.1\nSMTP Port=" + std::to_string(sink.Port()) +
                    "\nSMTP Mail=admin@example.org\nSMTP Warnings=1\n"
                    "SMTP Warning Repeat=60\n");
    ASSERT_TRUE(f->StartupSequence());
    TTextTrayIcon* icon = f->Tray->Icon(1);
    EXPECT_EQ(icon->BorderColor(), BorderColorHealthy);
    TSMARTForm& w = *f->SMARTForm;
    QTest::mouseClick(w.ReadSMARTSB, Qt::LeftButton);
    QTest::mouseClick(w.SelfTestStartB, Qt::LeftButton);
    EXPECT_EQ(w.SelfTestPB->text(), "60 %, about 1 min left");
    ASSERT_TRUE(test::FireTimer(f->SMARTT)); // the last step: the test fails
    EXPECT_FALSE(w.SelfTestAbortB->isEnabled());
    ASSERT_EQ(w.SelfTestLogSG->rowCount(), 1);
    EXPECT_EQ(LogRow(w.SelfTestLogSG, 0), (QStringList{"1", "Short offline",
                                                       "Completed: read failure", "60 %", "556",
                                                       "123456"}));
    EXPECT_EQ(icon->BorderColor(), BorderColorFailing);
    EXPECT_TRUE(icon->Hint().contains("self-test failed")) << icon->Hint().toStdString();
    ASSERT_TRUE(QTest::qWaitFor([&] { return sink.Count() == 1; }, 20000));
    const std::string mail = MailContent(sink, 1);
    EXPECT_NE(mail.find("Short offline"), std::string::npos) << mail;
    EXPECT_NE(mail.find("first failing LBA 123456"), std::string::npos) << mail;
    // It stays the newest entry: still red, and no second mail.
    for (int i = 0; i < 2; ++i)
        ASSERT_TRUE(test::FireTimer(f->SMARTT));
    ASSERT_TRUE(test::ReportsDone(*f.App));
    EXPECT_EQ(sink.Count(), 1);
    EXPECT_EQ(icon->BorderColor(), BorderColorFailing);
}

TEST(FixedSizeWindows, OfferNoMaximise) {
    Settings mirror;
    bool exitRequested = false;
    TSMARTForm smart(nullptr);
    TMBRForm mbr(nullptr);
    TSMTPForm smtp(mirror, exitRequested, nullptr);
    for (QWidget* window : std::initializer_list<QWidget*>{&smart, &mbr, &smtp}) {
        SCOPED_TRACE(window->objectName().toStdString());
        window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
        EXPECT_EQ(window->minimumSize(), window->maximumSize());
        EXPECT_FALSE(window->windowFlags() & Qt::WindowMaximizeButtonHint);
        ASSERT_NE(window->windowHandle(), nullptr);
        EXPECT_FALSE(window->windowHandle()->flags() & Qt::WindowMaximizeButtonHint);
        EXPECT_EQ(window->windowHandle()->minimumSize(), window->windowHandle()->maximumSize());
        window->hide();
    }
}

} // namespace
} // namespace quorvane
