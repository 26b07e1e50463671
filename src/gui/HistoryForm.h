// The History window: every drive's temperature on one chart (the legend
// switches drives on and off; hourly data with its min/max band), the range
// buttons, and below one attribute's raw value per drive with the list of its
// changes. The charts module (HistoryCharts.h) draws the charts. It shows a
// HistoryScreen; the range and the attribute it sends back are all it decides.
#pragma once

#include <QDialog>
#include <array>

#include "program/HistoryScreen.h"

class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace quorvane {

class THistoryForm final : public QDialog {
    Q_OBJECT

public:
    explicit THistoryForm(QWidget* parent = nullptr);

    void Show(const HistoryScreen& screen);

    std::array<QPushButton*, 5> RangeB{}; // DayB, WeekB, MonthB, YearB, AllB
    // The chart views (QChartView) the module made, or a label that says
    // why there are no charts.
    QWidget* TemperatureCV;
    QLabel* AttributeNL;
    QComboBox* AttributeCB;
    QWidget* AttributeCV;
    QListWidget* ChangesLB;
    QLabel* HistoryStatusL;

signals:
    void RangeChosen(quorvane::HistoryRange range);
    void AttributeChosen(qint64 key);

private:
    void ShowAttributeChoice(const HistoryScreen& screen);

    const struct HistoryCharts* charts_;
};

} // namespace quorvane
