#include "gui/HistoryForm.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "gui/Controls.h"
#include "gui/HistoryCharts.h"
#include "gui/Module.h"

namespace quorvane {

const HistoryCharts* LoadHistoryCharts(QString& problem) {
    using Entry = const HistoryCharts* (*)();
    static QString why;
    static const HistoryCharts* const charts = [] {
        const auto entry =
            reinterpret_cast<Entry>(LoadModuleFunction(HistoryModuleName, "quorvane_history_charts", why));
        return entry ? entry() : nullptr;
    }();
    problem = why;
    return charts;
}

THistoryForm::THistoryForm(QWidget* parent) : QDialog(parent) {
    QString problem;
    charts_ = LoadHistoryCharts(problem);
    // Without the module the window still shows the changes, and says why
    // it draws no charts.
    const auto chartView = [&](const char* name, bool legendBelow) -> QWidget* {
        if (charts_)
            return charts_->MakeView(this, name, legendBelow);
        QLabel* label = MakeLabel(this, name, "The charts cannot be drawn: " + problem, 0, 0);
        label->setAlignment(Qt::AlignCenter);
        label->setWordWrap(true);
        return label;
    };
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

    TemperatureCV = chartView("TemperatureCV", false);
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
    AttributeCV = chartView("AttributeCV", true);
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
    ShowAttributeChoice(screen);
    if (charts_) {
        charts_->DrawTemperatures(TemperatureCV, screen);
        charts_->DrawAttribute(AttributeCV, screen);
    }
    ChangesLB->clear();
    for (const std::string& change : screen.Changes)
        ChangesLB->addItem(QString::fromStdString(change));
}

void THistoryForm::ShowAttributeChoice(const HistoryScreen& screen) {
    const QSignalBlocker quiet(AttributeCB);
    AttributeCB->clear();
    for (const auto& [key, name] : screen.Attributes) {
        AttributeCB->addItem(QString::fromStdString(name), QVariant::fromValue<qlonglong>(key));
        if (key == screen.Attribute)
            AttributeCB->setCurrentIndex(AttributeCB->count() - 1);
    }
}

} // namespace quorvane
