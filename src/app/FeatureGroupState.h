// What one AAM or APM group of the Information panel shows; the screen
// state holds one of each.
#pragma once

#include <string>

#include "smart/SmartHealth.h"

namespace quorvane {


// The level bar's range and tick spacing.
inline constexpr int FeatureLevelMin = 0;
inline constexpr int FeatureLevelMax = 254;
inline constexpr int FeatureLevelTick = 16;

// Every control of one group (AAMGB / APMGB): the check box (on a panel that
// stays disabled, so it only shows), the level bar, the current-level and
// second-level labels and the two buttons. Before the first read the labels
// read "..." and the bar stands at 0.
struct FeatureGroupState {
    bool Checked = false; // AAMCB / APMCB
    bool CheckBoxEnabled = true;
    int LevelPosition = FeatureLevelMin; // AAMLevelTB / APMLevelTB
    bool LevelEnabled = true;
    std::string CurrentLevelCaption = NotMeasuredText; // CurrentAAMLevelL / CurrentAPMLevelL
    bool CurrentLevelEnabled = true;
    std::string RecommendedLevelCaption =
        NotMeasuredText; // RecommendedAAMLevelL / RecommendedAPMLevelL
    bool RecommendedLevelEnabled = true;
    bool GetEnabled = true; // AAMGetSB / APMGetSB
    bool SetEnabled = true; // AAMSetSB / APMSetSB

    bool operator==(const FeatureGroupState&) const = default;
};

} // namespace quorvane
