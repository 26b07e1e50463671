// The history in the desktop program: a sector count that rises on a
// simulated drive frames its icon amber, says so in its tooltip and brings
// one balloon and one warning mail, never an ERROR; the History window draws
// a week of the sample drives' history with real chart widgets.
#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeAxis>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QValueAxis>
#include <ctime>
#include <map>
#include <set>
#include <gtest/gtest.h>

#include "GuiTestSupport.h"
#include "common/TestDrives.h"
#include "gui/HistoryForm.h"
#include "gui/SettingsGroup.h"
#include "gui/TextTrayIcon.h"
#include "mail/MailTestSupport.h"
#include "program/HistoryRecorder.h"

namespace quorvane {
namespace {

using test::FormUnderTest;

TEST(HistoryWindow, ARisingSectorCountFramesTheIconAmberWithOneBalloonAndOneMailNeverError) {
    test::DriveDir drives;
    // The start reads the drive more than once: the rise comes in a later tick.
    drives.AddRealDrive(0, "ST9160821AS--3.CLH", "raise-raw = 05 8 8");
    FormUnderTest f(drives.Path());
    f.App->SetHistoryFile(drives.Path() + "/history.db");
    ASSERT_TRUE(f->StartupSequence());
    f->SettingsGB->BallHCB->setChecked(true);
    f.App->Options().SMTPWarnings = true;
    test::RefusingPort nowhere; // the mail is composed and fails on loopback
    f.App->Options().SMTPHost = "127.0.0.1";
    f.App->Options().SMTPPort = std::to_string(nowhere.Port());
    TTextTrayIcon* icon = f->Tray->Icon(1);
    EXPECT_EQ(icon->BorderColor(), BorderColorHealthy);
    QSignalSpy balloons(icon, &TCoolTrayIcon::BalloonHintShow);

    for (int tick = 0; tick < 8 && balloons.count() == 0; ++tick) {
        EXPECT_EQ(icon->BorderColor(), BorderColorHealthy) << tick;
        ASSERT_TRUE(test::FireTimer(f->SMARTT));
    }
    const std::string rise = "HDD1: 05h Reallocated Sector Count rose from 0 to 8 (";
    EXPECT_EQ(icon->BorderColor(), BorderColorRising);
    ASSERT_EQ(balloons.count(), 1);
    EXPECT_EQ(balloons[0][0].toString(), RisingBalloonTitle);
    EXPECT_TRUE(balloons[0][1].toString().startsWith(QString::fromStdString(rise)))
        << balloons[0][1].toString().toStdString();
    EXPECT_EQ(balloons[0][3].value<TCoolTrayIcon::BalloonIcon>(),
              TCoolTrayIcon::BalloonIcon::Warning);
    EXPECT_EQ(f.App->Reports().LastReport().Subject.rfind("Rising sector count - " + rise, 0), 0u)
        << f.App->Reports().LastReport().Subject;
    EXPECT_NE(icon->ToolTip().indexOf("05h Reallocated Sector Count rose from 0 to 8"), -1)
        << icon->ToolTip().toStdString();
    EXPECT_EQ(f->SMARTStatusL->text(), "O.K.");
    ASSERT_TRUE(test::ReportsDone(*f.App));

    // The next ticks: still amber and marked, no second balloon or mail.
    const std::string subject = f.App->Reports().LastReport().Subject;
    ASSERT_TRUE(test::FireTimer(f->SMARTT));
    ASSERT_TRUE(test::FireTimer(f->SMARTT));
    EXPECT_EQ(icon->BorderColor(), BorderColorRising);
    EXPECT_EQ(balloons.count(), 1);
    EXPECT_EQ(f.App->Reports().Workers(), 0);
    EXPECT_EQ(f.App->Reports().LastReport().Subject, subject);
    // Switched off, the frame is the drive's health again and the tooltip plain.
    f->SettingsGB->RisingCB->setChecked(false);
    ASSERT_TRUE(test::FireTimer(f->SMARTT));
    EXPECT_EQ(icon->BorderColor(), BorderColorHealthy);
    EXPECT_EQ(icon->ToolTip().indexOf("rose"), -1);
}

// A week of the sample drives, a reading every ten minutes, with slot 2's
// reallocated sectors rising twice.
void MakeWeek(const ProgramData& data, const std::string& file, history::Seconds now) {
    history::HistoryStore store(file);
    for (history::Seconds t = now - 7 * history::DaySeconds; t <= now; t += 600) {
        history::TickRecord tick = TickRecordOf(data, TickResult{}, t);
        for (history::DriveRecord& d : tick.Drives) {
            d.Temperature = 30 + d.Slot + static_cast<int>((t / 600) % 5);
            for (history::AttributeReading& a : d.Attributes) {
                if (a.Id == 5 && d.Slot == 2)
                    a.Raw = t > now - 2 * history::DaySeconds ? 12
                            : t > now - 3 * history::DaySeconds ? 8 : 0;
            }
        }
        ASSERT_TRUE(store.Record(tick).Written);
    }
}

// The chart the charts module drew into a view of the window.
QChart* ChartOf(QWidget* view) {
    auto* chartView = qobject_cast<QChartView*>(view);
    return chartView ? chartView->chart() : nullptr;
}

template <typename Series> int Count(QChart* chart) {
    int n = 0;
    for (QAbstractSeries* s : chart->series())
        n += qobject_cast<Series*>(s) != nullptr;
    return n;
}

TEST(HistoryWindow, AWeekOfEveryDriveOnOneChartWithItsBandRangesLegendAndChanges) {
    FormUnderTest f(test::SampleDrives());
    test::DriveDir folder;
    ASSERT_TRUE(f->StartupSequence());
    const int drives = f.App->Data().DriveCount;
    const std::string file = folder.Path() + "/history.db";
    MakeWeek(f.App->Data(), file, static_cast<history::Seconds>(std::time(nullptr)) - 60);
    f.App->SetHistoryFile(file);
    EXPECT_EQ(f->HistoryForm.Made(), nullptr); // made when first opened

    QTest::mouseClick(f->HistorySB, Qt::LeftButton);
    THistoryForm* form = f->HistoryForm.Made();
    ASSERT_NE(form, nullptr);
    EXPECT_TRUE(form->isVisible());
    QChart* temperatures = ChartOf(form->TemperatureCV);
    ASSERT_NE(temperatures, nullptr) << "no charts module";
    // The week is drawn by the hour: a line and a min/max band per drive,
    // one legend entry each.
    EXPECT_TRUE(form->RangeB[1]->isChecked());
    EXPECT_EQ(Count<QLineSeries>(temperatures), drives);
    EXPECT_EQ(Count<QAreaSeries>(temperatures), drives);
    int entries = 0;
    for (QLegendMarker* m : temperatures->legend()->markers())
        entries += m->isVisible();
    EXPECT_EQ(entries, drives);
    // Each drive its own colour, the same on the attribute chart.
    std::map<QString, QRgb> colours; // "HDD2" -> colour
    for (QAbstractSeries* s : temperatures->series()) {
        if (auto* line = qobject_cast<QLineSeries*>(s))
            colours[line->name().section(' ', 0, 0)] = line->color().rgb();
    }
    std::set<QRgb> distinct;
    for (const auto& [drive, colour] : colours)
        distinct.insert(colour);
    EXPECT_EQ(distinct.size(), static_cast<size_t>(drives));
    for (QAbstractSeries* s : ChartOf(form->AttributeCV)->series()) {
        if (auto* line = qobject_cast<QLineSeries*>(s)) {
            EXPECT_EQ(line->color().rgb(), colours[line->name()]) << line->name().toStdString();
        }
    }
    auto* time = qobject_cast<QDateTimeAxis*>(temperatures->axes(Qt::Horizontal).value(0));
    auto* degrees = qobject_cast<QValueAxis*>(temperatures->axes(Qt::Vertical).value(0));
    ASSERT_TRUE(time && degrees);
    EXPECT_EQ(time->titleText(), "Date (local)");
    EXPECT_EQ(degrees->titleText(), "Temperature (\u00B0C)");
    EXPECT_LE(degrees->min(), 31 - 2);
    EXPECT_GE(degrees->max(), 30 + drives + 4);

    // The legend switches a drive (and its band) off and on.
    QAbstractSeries* first = temperatures->series().front();
    QLegendMarker* marker = temperatures->legend()->markers(first).front();
    emit marker->clicked();
    EXPECT_FALSE(first->isVisible());
    EXPECT_TRUE(marker->isVisible());
    emit marker->clicked();
    EXPECT_TRUE(first->isVisible());

    // Reallocated Sector Count first, with its changes newest first.
    EXPECT_EQ(form->AttributeCB->currentText(), "05h Reallocated Sector Count");
    ASSERT_GE(form->ChangesLB->count(), 2);
    EXPECT_TRUE(form->ChangesLB->item(0)->text().startsWith(
        "HDD2: 05h Reallocated Sector Count raw 8 -> 12, "));
    EXPECT_TRUE(form->ChangesLB->item(1)->text().startsWith(
        "HDD2: 05h Reallocated Sector Count raw 0 -> 8, "));
    EXPECT_GE(Count<QLineSeries>(ChartOf(form->AttributeCV)), 1);

    // A day is drawn from the ticks: no band.
    QTest::mouseClick(form->RangeB[0], Qt::LeftButton);
    EXPECT_TRUE(form->RangeB[0]->isChecked());
    EXPECT_EQ(Count<QAreaSeries>(ChartOf(form->TemperatureCV)), 0);
    EXPECT_EQ(Count<QLineSeries>(ChartOf(form->TemperatureCV)), drives);
    // Another attribute: its own title and changes.
    const int power = form->AttributeCB->findText("09h Power-On Hours Count");
    ASSERT_GE(power, 0);
    emit form->AttributeCB->activated(power);
    EXPECT_EQ(ChartOf(form->AttributeCV)->title(), "09h Power-On Hours Count, raw value");
}

} // namespace
} // namespace quorvane
