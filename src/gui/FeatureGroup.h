// One feature group of the Information group: AAMGB and APMGB are the same
// set of controls under different names.
#pragma once

#include <QGroupBox>

#include "app/FeatureGroupState.h"

class QCheckBox;
class QLabel;
class QSlider;
class QToolButton;

namespace quorvane {

class TFeatureGroup : public QGroupBox {
    Q_OBJECT

public:
    // prefix names the group and its controls: "AAM" gives AAMGB, AAMCB,
    // AAMLevelTB, CurrentAAMLevelL, RecommendedAAMLevelL, AAMGetSB, AAMSetSB.
    TFeatureGroup(const QString& prefix, const QString& caption, const QString& getHint,
                  const QString& setHint, QWidget* parent);

    // Copies every control's state. Moving the bar here is not a move by
    // the user: LevelMoved is not emitted.
    void Show(const FeatureGroupState& state);

    // The check box sits on a disabled panel: it only shows what the last
    // read found.
    QWidget* Panel;
    QCheckBox* CB;
    QSlider* LevelTB;
    QLabel* CurrentLevelL;
    QLabel* RecommendedLevelL;
    QToolButton* GetSB;
    QToolButton* SetSB;

signals:
    // The user moved the bar (by mouse, wheel or keys) to position.
    void LevelMoved(int position);
};

} // namespace quorvane
