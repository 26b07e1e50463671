// The History window: every drive's temperature on one chart (the legend
// switches drives on and off; hourly data with its min/max band), the range
// buttons, and below one attribute's raw value per drive with the list of its
// changes. It draws a HistoryScreen; the range and the attribute it sends
// back are all it decides.
#pragma once

#include <QDialog>
#include <array>

#include "program/HistoryScreen.h"

class QChart;
class QChartView;
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
    QChartView* TemperatureCV;
    QLabel* AttributeNL;
    QComboBox* AttributeCB;
    QChartView* AttributeCV;
    QListWidget* ChangesLB;
    QLabel* HistoryStatusL;

signals:
    void RangeChosen(quorvane::HistoryRange range);
    void AttributeChosen(qint64 key);

private:
    void ShowTemperatures(const HistoryScreen& screen);
    void ShowAttribute(const HistoryScreen& screen);
    // A click on a legend entry switches its drive (and its band) on or off.
    void ConnectLegend(QChart* chart);
};

} // namespace quorvane
