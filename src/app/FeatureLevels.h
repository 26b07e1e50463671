// Automatic Acoustic Management (AAM) and Advanced Power Management (APM):
// reading and setting a drive's levels, and what the two groups of the
// Information panel show.
// Information panel show. Where IDENTIFY keeps each feature is the device
// layer's feature table (ata/AtaCommand.h).
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "ata/DriveBus.h"
#include "app/DriveTable.h"
#include "app/FeatureGroupState.h"

namespace quorvane {

// The result of a read. A read that failed gives 0xFF/0xFF/false/false.
struct FeatureLevels {
    uint8_t CurrentLevel = 0xFF; // low byte of the level word
    uint8_t SecondLevel = 0xFF;  // high byte of the same word
    bool Enabled = false;
    bool Supported = false;

    bool operator==(const FeatureLevels&) const = default;
};

// "AAM" or "APM": the group caption and the name the CLI prints.
const char* FeatureName(Feature feature);

// Takes a feature's bits and level bytes from IDENTIFY DEVICE data.
FeatureLevels DecodeFeatureLevels(std::span<const uint8_t> identify, Feature feature);

// Reads the feature from a fresh IDENTIFY DEVICE of the slot's drive. Only a
// request that does not go through counts as failed (the Status byte is not
// looked at); a slot that holds no drive sends nothing and reads as failed.
FeatureLevels GetFeatureLevels(DriveBus& bus, const ProgramData& data, int slot, Feature feature);
FeatureLevels GetAAM(DriveBus& bus, const ProgramData& data, int slot);
FeatureLevels GetAPM(DriveBus& bus, const ProgramData& data, int slot);

// How a SET FEATURES ended.
enum class SetFeatureResult {
    NotSent, // no drive in the slot, the drive did not open, or the request failed
    Done,
    Aborted, // it reached the drive, which answered with ERR
};

// The SET FEATURES subcommand for enabling or disabling a feature.
uint8_t SetFeaturesSubcommand(Feature feature, bool enable);

// Sends SET FEATURES with the enable or disable subcommand and the level in
// Sector Count. The level is not checked against any range.
SetFeatureResult SendFeatureLevel(DriveBus& bus, const ProgramData& data, int slot, Feature feature,
                                  uint8_t level, bool enable);
// True when the request went through, whatever the drive answered.
bool SetAAM(DriveBus& bus, const ProgramData& data, int slot, uint8_t level, bool enable);
bool SetAPM(DriveBus& bus, const ProgramData& data, int slot, uint8_t level, bool enable);

// The hints of the two buttons; the APM buttons have none.
std::string FeatureGetHint(Feature feature);
std::string FeatureSetHint(Feature feature);

// What the group shows after a read, from what it showed before: a supported
// but disabled feature leaves the second-level label (caption and enabled
// state) as it was.
FeatureGroupState AAMGroupState(const FeatureLevels& levels, const FeatureGroupState& previous);
// The same for APM: its check box greys out while APM is disabled, and a
// current level of 0 shows like 0xFF.
FeatureGroupState APMGroupState(const FeatureLevels& levels, const FeatureGroupState& previous);
FeatureGroupState FeatureGroupFromLevels(Feature feature, const FeatureLevels& levels,
                                         const FeatureGroupState& previous);

// The bar moved (by the user or by a read): its position shows in the
// current-level label at once. A position outside 0..254 stops at the end.
void MoveFeatureLevel(FeatureGroupState& group, int position);

// The get handlers: read the feature of the slot and show it on the group.
void AAMGetExecute(FeatureGroupState& group, DriveBus& bus, const ProgramData& data, int slot);
void APMGetExecute(FeatureGroupState& group, DriveBus& bus, const ProgramData& data, int slot);
// The set handlers: send the bar's level, enabling when the box is checked
// and disabling when it is not, then read again. The outcome of the set is
// seen only through that read.
void AAMSetExecute(FeatureGroupState& group, DriveBus& bus, const ProgramData& data, int slot);
void APMSetExecute(FeatureGroupState& group, DriveBus& bus, const ProgramData& data, int slot);
void FeatureGetExecute(Feature feature, FeatureGroupState& group, DriveBus& bus,
                       const ProgramData& data, int slot);
void FeatureSetExecute(Feature feature, FeatureGroupState& group, DriveBus& bus,
                       const ProgramData& data, int slot);

} // namespace quorvane
