#include "app/FeatureLevels.h"

#include <algorithm>

#include "ata/Identify.h"

namespace quorvane {

const char* FeatureName(Feature feature) {
    return FeatureRow(feature).Name;
}

std::string FeatureGetHint(Feature feature) {
    return feature == Feature::AAM ? "Get AAM" : "";
}

std::string FeatureSetHint(Feature feature) {
    return feature == Feature::AAM ? "Set AAM" : "";
}

FeatureLevels DecodeFeatureLevels(std::span<const uint8_t> identify, Feature feature) {
    const AtaFeatureRow& words = FeatureRow(feature);
    const uint16_t level = IdentifyWord(identify, words.LevelWord);
    FeatureLevels levels;
    levels.CurrentLevel = static_cast<uint8_t>(level & 0xFF);
    levels.SecondLevel = static_cast<uint8_t>(level >> 8);
    levels.Enabled = (IdentifyWord(identify, FeatureEnabledWord) & words.Mask) != 0;
    levels.Supported = (IdentifyWord(identify, FeatureSupportedWord) & words.Mask) != 0;
    return levels;
}

FeatureLevels GetFeatureLevels(DriveBus& bus, const ProgramData& data, int slot, Feature feature) {
    // AAM and APM are ATA features: an NVMe drive reads as one without them.
    if (!data.IsDriveSlot(slot) || data.Drives[slot].IsNvme())
        return {};
    const unsigned n = data.Drives[slot].DriveNumber;
    AtaCommand identify = AtaCommand::IdentifyDevice(n);
    if (!SendOnce(bus, n, identify))
        return {};
    return DecodeFeatureLevels(identify.Data, feature);
}

FeatureLevels GetAAM(DriveBus& bus, const ProgramData& data, int slot) {
    return GetFeatureLevels(bus, data, slot, Feature::AAM);
}

FeatureLevels GetAPM(DriveBus& bus, const ProgramData& data, int slot) {
    return GetFeatureLevels(bus, data, slot, Feature::APM);
}

uint8_t SetFeaturesSubcommand(Feature feature, bool enable) {
    const AtaFeatureRow& words = FeatureRow(feature);
    return enable ? words.EnableSubcommand : words.DisableSubcommand;
}

SetFeatureResult SendFeatureLevel(DriveBus& bus, const ProgramData& data, int slot, Feature feature,
                                  uint8_t level, bool enable) {
    if (!data.IsDriveSlot(slot) || data.Drives[slot].IsNvme())
        return SetFeatureResult::NotSent;
    const unsigned n = data.Drives[slot].DriveNumber;
    AtaCommand cmd = AtaCommand::SetFeatures(n, SetFeaturesSubcommand(feature, enable), level);
    if (!SendOnce(bus, n, cmd))
        return SetFeatureResult::NotSent;
    return (cmd.TaskFile.Status() & StatusErr) ? SetFeatureResult::Aborted : SetFeatureResult::Done;
}

bool SetAAM(DriveBus& bus, const ProgramData& data, int slot, uint8_t level, bool enable) {
    return SendFeatureLevel(bus, data, slot, Feature::AAM, level, enable) !=
           SetFeatureResult::NotSent;
}

bool SetAPM(DriveBus& bus, const ProgramData& data, int slot, uint8_t level, bool enable) {
    return SendFeatureLevel(bus, data, slot, Feature::APM, level, enable) !=
           SetFeatureResult::NotSent;
}

void MoveFeatureLevel(FeatureGroupState& group, int position) {
    group.LevelPosition = std::clamp(position, FeatureLevelMin, FeatureLevelMax);
    group.CurrentLevelCaption = std::to_string(group.LevelPosition);
}

FeatureGroupState FeatureGroupFromLevels(Feature feature, const FeatureLevels& levels,
                                         const FeatureGroupState& previous) {
    FeatureGroupState group;
    group.RecommendedLevelCaption = previous.RecommendedLevelCaption;
    group.RecommendedLevelEnabled = previous.RecommendedLevelEnabled;
    if (!levels.Supported) {
        // Greyed out as a whole until another read finds the feature.
        MoveFeatureLevel(group, 0);
        group.Checked = false;
        group.CheckBoxEnabled = false;
        group.LevelEnabled = false;
        group.CurrentLevelCaption = NotMeasuredText;
        group.CurrentLevelEnabled = false;
        group.RecommendedLevelCaption = NotMeasuredText;
        group.RecommendedLevelEnabled = false;
        group.GetEnabled = false;
        group.SetEnabled = false;
        return group;
    }
    if (!levels.Enabled) {
        // The bar is greyed at 0, so a set sends the disable subcommand with
        // level 0; the second-level label keeps what it showed.
        MoveFeatureLevel(group, 0);
        group.Checked = false;
        group.CheckBoxEnabled = feature == Feature::AAM;
        group.LevelEnabled = false;
        group.CurrentLevelCaption = NotMeasuredText;
        group.CurrentLevelEnabled = false;
        group.GetEnabled = true;
        group.SetEnabled = true;
        return group;
    }
    group.Checked = true;
    group.CheckBoxEnabled = true;
    group.LevelEnabled = true;
    group.CurrentLevelEnabled = true;
    group.RecommendedLevelEnabled = true;
    group.GetEnabled = true;
    group.SetEnabled = true;
    // 0xFF is no level; APM drives also report 0 for it.
    const bool noLevel =
        levels.CurrentLevel == 0xFF || (feature == Feature::APM && levels.CurrentLevel == 0);
    if (noLevel) {
        MoveFeatureLevel(group, 0);
        group.CurrentLevelCaption = NotMeasuredText;
        group.RecommendedLevelCaption = NotMeasuredText;
    } else {
        MoveFeatureLevel(group, levels.CurrentLevel);
        group.CurrentLevelCaption = std::to_string(levels.CurrentLevel);
        group.RecommendedLevelCaption = std::to_string(levels.SecondLevel);
    }
    return group;
}

FeatureGroupState AAMGroupState(const FeatureLevels& levels, const FeatureGroupState& previous) {
    return FeatureGroupFromLevels(Feature::AAM, levels, previous);
}

FeatureGroupState APMGroupState(const FeatureLevels& levels, const FeatureGroupState& previous) {
    return FeatureGroupFromLevels(Feature::APM, levels, previous);
}

void FeatureGetExecute(Feature feature, FeatureGroupState& group, DriveBus& bus,
                       const ProgramData& data, int slot) {
    group = FeatureGroupFromLevels(feature, GetFeatureLevels(bus, data, slot, feature), group);
}

void FeatureSetExecute(Feature feature, FeatureGroupState& group, DriveBus& bus,
                       const ProgramData& data, int slot) {
    const int position = std::clamp(group.LevelPosition, FeatureLevelMin, FeatureLevelMax);
    SendFeatureLevel(bus, data, slot, feature, static_cast<uint8_t>(position), group.Checked);
    FeatureGetExecute(feature, group, bus, data, slot);
}

void AAMGetExecute(FeatureGroupState& group, DriveBus& bus, const ProgramData& data, int slot) {
    FeatureGetExecute(Feature::AAM, group, bus, data, slot);
}

void APMGetExecute(FeatureGroupState& group, DriveBus& bus, const ProgramData& data, int slot) {
    FeatureGetExecute(Feature::APM, group, bus, data, slot);
}

void AAMSetExecute(FeatureGroupState& group, DriveBus& bus, const ProgramData& data, int slot) {
    FeatureSetExecute(Feature::AAM, group, bus, data, slot);
}

void APMSetExecute(FeatureGroupState& group, DriveBus& bus, const ProgramData& data, int slot) {
    FeatureSetExecute(Feature::APM, group, bus, data, slot);
}

} // namespace quorvane
