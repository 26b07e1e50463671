#include "gui/FeatureGroup.h"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPolygon>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>

#include "gui/Controls.h"
#include "smart/SmartHealth.h"

namespace quorvane {

namespace {

// The buttons' glyph: a drive seen from the front, and an arrow out of it
// (get: the level is read from the drive) or into it (set: sent to it).
QIcon FeatureGlyph(bool intoDrive) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QColor(64, 64, 64));
    p.setBrush(QColor(200, 200, 200));
    p.drawRect(1, 10, 13, 4);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 160, 0));
    p.drawRect(11, 12, 2, 1); // the activity light
    const QColor arrow = intoDrive ? QColor(0, 128, 0) : QColor(0, 64, 200);
    p.setBrush(arrow);
    p.drawRect(7, intoDrive ? 1 : 4, 2, 4);
    const QPolygon head = intoDrive ? QPolygon({QPoint(4, 5), QPoint(12, 5), QPoint(8, 9)})
                                    : QPolygon({QPoint(4, 5), QPoint(12, 5), QPoint(8, 1)});
    p.drawPolygon(head);
    return QIcon(pixmap);
}

} // namespace

TFeatureGroup::TFeatureGroup(const QString& prefix, const QString& caption, const QString& getHint,
                             const QString& setHint, QWidget* parent)
    : QGroupBox(caption, parent) {
    const QString& p = prefix;
    setObjectName(p + "GB");

    Panel = new QWidget(this);
    Panel->setObjectName(p + "Panel");
    Panel->setGeometry(6, 16, 18, 18);
    Panel->setEnabled(false);
    CB = new QCheckBox(Panel);
    CB->setObjectName(p + "CB");
    CB->move(1, 1);
    CurrentLevelL = MakeLabel(this, "Current" + p + "LevelL", NotMeasuredText, 30, 18, 36);
    RecommendedLevelL = MakeLabel(this, "Recommended" + p + "LevelL", NotMeasuredText, 70, 18, 36);
    LevelTB = new QSlider(Qt::Horizontal, this);
    LevelTB->setObjectName(p + "LevelTB");
    LevelTB->setRange(FeatureLevelMin, FeatureLevelMax);
    LevelTB->setTickInterval(FeatureLevelTick);
    LevelTB->setTickPosition(QSlider::TicksBelow);
    LevelTB->setGeometry(4, 38, 107, 26);
    GetSB = MakeSpeedButton(this, "", FeatureGlyph(false), getHint, 30, 68);
    GetSB->setObjectName(p + "GetSB");
    SetSB = MakeSpeedButton(this, "", FeatureGlyph(true), setHint, 60, 68);
    SetSB->setObjectName(p + "SetSB");
    connect(LevelTB, &QSlider::valueChanged, this, &TFeatureGroup::LevelMoved);
}

void TFeatureGroup::Show(const FeatureGroupState& state) {
    CB->setChecked(state.Checked);
    CB->setEnabled(state.CheckBoxEnabled);
    {
        const QSignalBlocker quiet(LevelTB);
        LevelTB->setValue(state.LevelPosition);
    }
    LevelTB->setEnabled(state.LevelEnabled);
    CurrentLevelL->setText(CoreText(state.CurrentLevelCaption));
    CurrentLevelL->setEnabled(state.CurrentLevelEnabled);
    RecommendedLevelL->setText(CoreText(state.RecommendedLevelCaption));
    RecommendedLevelL->setEnabled(state.RecommendedLevelEnabled);
    GetSB->setEnabled(state.GetEnabled);
    SetSB->setEnabled(state.SetEnabled);
}

} // namespace quorvane
