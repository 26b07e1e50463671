#include "gui/FeatureGroup.h"

#include <QCheckBox>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QStyle>
#include <QToolButton>

#include "gui/Controls.h"

namespace quorvane {

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
    CurrentLevelL = MakeLabel(this, "Current" + p + "LevelL", "...", 30, 18, 36);
    RecommendedLevelL = MakeLabel(this, "Recommended" + p + "LevelL", "...", 70, 18, 36);
    LevelTB = new QSlider(Qt::Horizontal, this);
    LevelTB->setObjectName(p + "LevelTB");
    LevelTB->setRange(FeatureLevelMin, FeatureLevelMax);
    LevelTB->setTickInterval(FeatureLevelTick);
    LevelTB->setTickPosition(QSlider::TicksBelow);
    LevelTB->setGeometry(4, 38, 107, 26);
    GetSB =
        MakeSpeedButton(this, "", style()->standardIcon(QStyle::SP_BrowserReload), getHint, 30, 68);
    GetSB->setObjectName(p + "GetSB");
    SetSB = MakeSpeedButton(this, "", style()->standardIcon(QStyle::SP_DialogApplyButton), setHint,
                            60, 68);
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
