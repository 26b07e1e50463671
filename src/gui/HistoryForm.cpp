#include "gui/HistoryForm.h"

#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDateTimeAxis>
#include <QHBoxLayout>
#include <QLabel>
#include <QLegendMarker>
#include <QLineSeries>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <limits>

#include "gui/Controls.h"

namespace quorvane {

namespace {

qint64 Msecs(history::Seconds t) {
    return static_cast<qint64>(t) * 1000;
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

QChartView* MakeChartView(QWidget* parent, const char* name) {
    auto* view = new QChartView(new QChart, parent);
    view->setObjectName(name);
    view->setRenderHint(QPainter::Antialiasing);
    view->chart()->legend()->setAlignment(Qt::AlignRight);
    view->chart()->setMargins(QMargins(4, 4, 4, 4));
    return view;
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

} // namespace

THistoryForm::THistoryForm(QWidget* parent) : QDialog(parent) {
    setObjectName("HistoryForm");
    setWindowTitle("History");
    resize(820, 680);
    auto* layout = new QVBoxLayout(this);

    auto* ranges = new QHBoxLayout;
    ranges->addWidget(MakeLabel(this, "RangeNL", "Range:", 0, 0));
    for (size_t i = 0; i < RangeB.size(); ++i) {
        const HistoryRangeButton& b = HistoryRangeButtons[i];
        RangeB[i] = new QPushButton(b.Caption, this);
        RangeB[i]->setObjectName(b.Name);
        RangeB[i]->setCheckable(true);
        RangeB[i]->setAutoExclusive(true);
        RangeB[i]->setCursor(Qt::PointingHandCursor);
        ranges->addWidget(RangeB[i]);
        connect(RangeB[i], &QPushButton::clicked, this,
                [this, range = b.Range] { emit RangeChosen(range); });
    }
    ranges->addStretch();
    HistoryStatusL = MakeLabel(this, "HistoryStatusL", "", 0, 0);
    ranges->addWidget(HistoryStatusL);
    layout->addLayout(ranges);

    TemperatureCV = MakeChartView(this, "TemperatureCV");
    layout->addWidget(TemperatureCV, 3);

    auto* attribute = new QHBoxLayout;
    AttributeNL = MakeLabel(this, "AttributeNL", "Attribute:", 0, 0);
    AttributeCB = new QComboBox(this);
    AttributeCB->setObjectName("AttributeCB");
    AttributeCB->setMinimumWidth(280);
    attribute->addWidget(AttributeNL);
    attribute->addWidget(AttributeCB);
    attribute->addStretch();
    layout->addLayout(attribute);
    connect(AttributeCB, &QComboBox::activated, this, [this](int index) {
        emit AttributeChosen(AttributeCB->itemData(index).toLongLong());
    });

    auto* lower = new QHBoxLayout;
    AttributeCV = MakeChartView(this, "AttributeCV");
    AttributeCV->chart()->legend()->setAlignment(Qt::AlignBottom);
    lower->addWidget(AttributeCV, 1);
    ChangesLB = new QListWidget(this);
    ChangesLB->setObjectName("ChangesLB");
    ChangesLB->setWordWrap(true);
    lower->addWidget(ChangesLB, 1);
    layout->addLayout(lower, 2);
}

void THistoryForm::Show(const HistoryScreen& screen) {
    for (size_t i = 0; i < RangeB.size(); ++i)
        RangeB[i]->setChecked(HistoryRangeButtons[i].Range == screen.Range);
    HistoryStatusL->setText(QString::fromStdString(screen.Status));
    ShowTemperatures(screen);
    ShowAttribute(screen);
}

void THistoryForm::ShowTemperatures(const HistoryScreen& screen) {
    QChart* chart = TemperatureCV->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes())
        chart->removeAxis(axis);
    chart->setTitle(QString::fromStdString(screen.TemperatureTitle));
    QDateTimeAxis* x = TimeAxis(screen, 8);
    auto* y = new QValueAxis;
    y->setTitleText(QString::fromStdString(screen.TemperatureAxis));
    y->setLabelFormat("%d");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (const HistoryDriveLine& drive : screen.Drives) {
        auto* line = new QLineSeries;
        line->setName(CoreText(drive.Name));
        QLineSeries* upper = screen.Hourly ? new QLineSeries : nullptr;
        QLineSeries* lower = screen.Hourly ? new QLineSeries : nullptr;
        for (const history::TemperaturePoint& p : drive.Points) {
            line->append(static_cast<qreal>(Msecs(p.Time)), p.Average);
            if (upper) {
                upper->append(static_cast<qreal>(Msecs(p.Time)), p.Max);
                lower->append(static_cast<qreal>(Msecs(p.Time)), p.Min);
            }
        }
        chart->addSeries(line);
        line->attachAxis(x);
        line->attachAxis(y);
        if (upper) {
            auto* band = new QAreaSeries(upper, lower);
            band->setObjectName(line->name() + " band");
            QColor colour = line->color();
            colour.setAlpha(60);
            band->setColor(colour);
            band->setBorderColor(Qt::transparent);
            chart->addSeries(band);
            band->attachAxis(x);
            band->attachAxis(y);
            // One legend entry per drive: the band goes with its line.
            for (QLegendMarker* marker : chart->legend()->markers(band))
                marker->setVisible(false);
            connect(line, &QLineSeries::visibleChanged, band, [chart, line, band] {
                band->setVisible(line->isVisible());
                for (QLegendMarker* marker : chart->legend()->markers(band))
                    marker->setVisible(false);
            });
        }
    }
    FitValueAxis(chart);
    ConnectLegend(chart);
}

void THistoryForm::ShowAttribute(const HistoryScreen& screen) {
    {
        const QSignalBlocker quiet(AttributeCB);
        AttributeCB->clear();
        for (const auto& [key, name] : screen.Attributes) {
            AttributeCB->addItem(QString::fromStdString(name), QVariant::fromValue<qlonglong>(key));
            if (key == screen.Attribute)
                AttributeCB->setCurrentIndex(AttributeCB->count() - 1);
        }
    }
    QChart* chart = AttributeCV->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes())
        chart->removeAxis(axis);
    chart->setTitle(QString::fromStdString(screen.AttributeTitle));
    QDateTimeAxis* x = TimeAxis(screen, 5);
    auto* y = new QValueAxis;
    y->setTitleText(QString::fromStdString(screen.AttributeAxis));
    y->setLabelFormat("%.0f");
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    for (const HistoryAttributeLine& line : screen.AttributeLines) {
        // A raw value holds until it changes: drawn as steps to the range's end.
        auto* steps = new QLineSeries;
        steps->setName(CoreText(line.Name));
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
        chart->addSeries(steps);
        steps->attachAxis(x);
        steps->attachAxis(y);
    }
    FitValueAxis(chart);
    ConnectLegend(chart);

    ChangesLB->clear();
    for (const std::string& change : screen.Changes)
        ChangesLB->addItem(QString::fromStdString(change));
}

void THistoryForm::ConnectLegend(QChart* chart) {
    for (QLegendMarker* marker : chart->legend()->markers()) {
        marker->disconnect(this);
        connect(marker, &QLegendMarker::clicked, this, [chart, marker] {
            QAbstractSeries* series = marker->series();
            series->setVisible(!series->isVisible());
            FitValueAxis(chart);
            // The entry stays, greyed, so the drive can be switched on again.
            marker->setVisible(true);
            QFont font = marker->font();
            font.setStrikeOut(!series->isVisible());
            marker->setFont(font);
        });
    }
}

} // namespace quorvane
