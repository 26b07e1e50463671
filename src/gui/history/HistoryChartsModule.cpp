// The History window's charts, a module of their own: Qt Charts and the
// OpenGL libraries behind it are loaded when the window is first made, not
// when the program starts. LoadHistoryCharts (HistoryCharts.h) loads it. It
// uses only Qt and the screen it is given, nothing of the program's code.
#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QLegendMarker>
#include <QLineSeries>
#include <QValueAxis>
#include <algorithm>
#include <iterator>
#include <limits>

#include "gui/HistoryCharts.h"

namespace quorvane {
namespace {

qint64 Msecs(history::Seconds t) {
    return static_cast<qint64>(t) * 1000;
}

// The drives' names are the program's 8-bit texts.
QString DriveText(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A drive's line, named, in its colour: six drives, six colours, the same
// on both charts, in the theme's line width.
QLineSeries* DriveLine(const std::string& name, size_t colour) {
    static const QRgb palette[] = {0x209fdf, 0xf6a625, 0xbf593e, 0x99ca53,
                                   0x6d5fd5, 0x34495e, 0xd63384, 0x1b9e77};
    auto* line = new QLineSeries;
    line->setName(DriveText(name));
    QPen pen(QColor(palette[colour % std::size(palette)]));
    pen.setWidth(2);
    line->setPen(pen);
    return line;
}

QDateTimeAxis* TimeAxis(const HistoryScreen& screen, int ticks) {
    auto* axis = new QDateTimeAxis;
    axis->setFormat(QString::fromStdString(screen.TimeFormat));
    axis->setTitleText(QString::fromStdString(screen.TimeAxis));
    axis->setRange(QDateTime::fromMSecsSinceEpoch(Msecs(screen.From)),
                   QDateTime::fromMSecsSinceEpoch(Msecs(screen.To)));
    axis->setTickCount(ticks);
    return axis;
}

QWidget* MakeView(QWidget* parent, const char* name, bool legendBelow) {
    auto* view = new QChartView(new QChart, parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->chart()->legend()->setAlignment(legendBelow ? Qt::AlignBottom : Qt::AlignRight);
    view->chart()->setMargins(QMargins(4, 4, 4, 4));
    return view;
}

// The view's chart emptied, titled, with a time axis and a value axis.
QChart* NewChart(QWidget* view, const QString& title, QDateTimeAxis* x, const QString& yTitle,
                 const char* yFormat) {
    QChart* chart = static_cast<QChartView*>(view)->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes())
        chart->removeAxis(axis);
    chart->setTitle(title);
    auto* y = new QValueAxis;
    y->setTitleText(yTitle);
    y->setLabelFormat(yFormat);
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    return chart;
}

void AddSeries(QChart* chart, QAbstractSeries* series) {
    chart->addSeries(series);
    for (QAbstractAxis* axis : chart->axes())
        series->attachAxis(axis);
}

// The value axis spans the lines that are switched on (from 0 for raw
// values, with a margin for temperatures).
void FitValueAxis(QChart* chart) {
    auto* axis = qobject_cast<QValueAxis*>(chart->axes(Qt::Vertical).value(0));
    if (axis == nullptr)
        return;
    const bool raw = axis->labelFormat() == "%.0f";
    double low = std::numeric_limits<double>::max(), high = std::numeric_limits<double>::lowest();
    const auto take = [&](const QLineSeries* line) {
        for (const QPointF& p : line->points()) {
            low = std::min(low, p.y());
            high = std::max(high, p.y());
        }
    };
    for (QAbstractSeries* series : chart->series()) {
        if (!series->isVisible())
            continue;
        if (auto* line = qobject_cast<QLineSeries*>(series))
            take(line);
        if (auto* band = qobject_cast<QAreaSeries*>(series)) {
            take(band->upperSeries());
            take(band->lowerSeries());
        }
    }
    if (low > high) {
        low = raw ? 0 : 20;
        high = raw ? 1 : 40;
    }
    if (raw) {
        axis->setRange(0, std::max(1.0, high * 1.15));
        axis->applyNiceNumbers();
    } else {
        axis->setRange(low - 2, high + 2);
    }
}

// A click on a legend entry switches its drive (and its band) on or off; the
// entry stays, struck out, so the drive can be switched on again.
void ConnectLegend(QChart* chart) {
    for (QLegendMarker* marker : chart->legend()->markers()) {
        marker->disconnect(chart);
        QObject::connect(marker, &QLegendMarker::clicked, chart, [chart, marker] {
            QAbstractSeries* series = marker->series();
            series->setVisible(!series->isVisible());
            FitValueAxis(chart);
            marker->setVisible(true);
            QFont font = marker->font();
            font.setStrikeOut(!series->isVisible());
            marker->setFont(font);
        });
    }
}

void DrawTemperatures(QWidget* view, const HistoryScreen& screen) {
    QChart* chart = NewChart(view, QString::fromStdString(screen.TemperatureTitle),
                             TimeAxis(screen, 8), QString::fromStdString(screen.TemperatureAxis),
                             "%d");
    for (const HistoryDriveLine& drive : screen.Drives) {
        QLineSeries* line = DriveLine(drive.Name, drive.Colour);
        QLineSeries* upper = screen.Hourly ? new QLineSeries : nullptr;
        QLineSeries* lower = screen.Hourly ? new QLineSeries : nullptr;
        for (const history::TemperaturePoint& p : drive.Points) {
            line->append(static_cast<qreal>(Msecs(p.Time)), p.Average);
            if (upper) {
                upper->append(static_cast<qreal>(Msecs(p.Time)), p.Max);
                lower->append(static_cast<qreal>(Msecs(p.Time)), p.Min);
            }
        }
        AddSeries(chart, line);
        if (upper) {
            auto* band = new QAreaSeries(upper, lower);
            band->setObjectName(line->name() + " band");
            QColor colour = line->color();
            colour.setAlpha(60);
            band->setColor(colour);
            band->setBorderColor(Qt::transparent);
            AddSeries(chart, band);
            // One legend entry per drive: the band goes with its line.
            for (QLegendMarker* marker : chart->legend()->markers(band))
                marker->setVisible(false);
            QObject::connect(line, &QLineSeries::visibleChanged, band, [chart, line, band] {
                band->setVisible(line->isVisible());
                for (QLegendMarker* marker : chart->legend()->markers(band))
                    marker->setVisible(false);
            });
        }
    }
    FitValueAxis(chart);
    ConnectLegend(chart);
}

void DrawAttribute(QWidget* view, const HistoryScreen& screen) {
    QChart* chart = NewChart(view, QString::fromStdString(screen.AttributeTitle),
                             TimeAxis(screen, 5), QString::fromStdString(screen.AttributeAxis),
                             "%.0f");
    for (const HistoryAttributeLine& line : screen.AttributeLines) {
        // A raw value holds until it changes: drawn as steps to the range's end.
        QLineSeries* steps = DriveLine(line.Name, line.Colour);
        double last = 0;
        bool first = true;
        for (const history::AttributePoint& p : line.Points) {
            const qreal at = static_cast<qreal>(Msecs(std::max(p.Time, screen.From)));
            if (!first)
                steps->append(at, last);
            last = static_cast<double>(p.Raw);
            steps->append(at, last);
            first = false;
        }
        steps->append(static_cast<qreal>(Msecs(screen.To)), last);
        AddSeries(chart, steps);
    }
    FitValueAxis(chart);
    ConnectLegend(chart);
}

constexpr HistoryCharts Charts{MakeView, DrawTemperatures, DrawAttribute};

} // namespace
} // namespace quorvane

extern "C" Q_DECL_EXPORT const quorvane::HistoryCharts* quorvane_history_charts() {
    return &quorvane::Charts;
}
