// The drive scan and the Information panel.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "drive/DriveBus.h"
#include "drive/DriveTable.h"
#include "drive/FeatureLevels.h"

namespace quorvane {

inline constexpr const char* NotMeasuredText = "...";
inline constexpr const char* NoDrivesText = "S.M.A.R.T. HDD(s) not found!";
inline constexpr const char* NoDrivesCaption = "Warning";
inline constexpr const char* DrivesBalloonTitle = "HDDs";
inline constexpr int BalloonSeconds = 10;

// The state of the Information group's labels: each caption and whether the
// label is enabled (a disabled flag label is shown greyed).
struct InfoPanel {
    std::string HDDSNL = NotMeasuredText;
    std::string HDDFirmwareL = NotMeasuredText;
    std::string HDDModelL = NotMeasuredText;
    std::string HDDSizeL = NotMeasuredText;
    std::string HDDHPAUL = NotMeasuredText;
    bool HDDLBA48LEnabled = false;
    bool HDDSMARTLEnabled = false;
    bool HDDHPALEnabled = false; // also HDDHPANL and HDDHPAUL
    bool HDDSecMLEnabled = false;
    bool HDDTempEnabled = false;  // HDDTempNL and the four temperature labels
    std::optional<int> LogoIndex; // the vendor logo, none for an unknown vendor
    FeatureGroupState AAMGB;      // the AAM and APM groups, as the last read left them
    FeatureGroupState APMGB;
};

// What the scan does to the rest of the window and the tray. Every call does
// nothing by default, so a caller overrides only what it shows.
class ScanView {
public:
    virtual ~ScanView() = default;
    virtual void ClearDriveList() {}
    // The model exactly as the drive gives it, trailing blanks included.
    virtual void AddDriveListItem(const std::string& /*model*/) {}
    virtual void SelectDriveListItem(int /*index*/) {}
    virtual void SetTrayColors(int /*slot*/, uint32_t /*fontColor*/, uint32_t /*backColor*/) {}
    // Enables the slot's tray check box, and checks it when check is true.
    virtual void EnableTrayCheckBox(int /*slot*/, bool /*check*/) {}
    virtual void SetTrayIcon(int /*slot*/, const std::string& /*hint*/, bool /*visible*/) {}
    virtual void ShowInfoBalloon(int /*slot*/, const std::string& /*title*/,
                                 const std::string& /*text*/, int /*seconds*/) {}
    virtual void InfoPanelChanged(const InfoPanel& /*panel*/) {}
    // Sets the monitoring timer's interval, enables it and runs one cycle.
    virtual void StartMonitoring(int /*intervalSeconds*/) {}
};

struct ScanOptions {
    bool BalloonHints = true;        // BallHCB
    int RefreshIntervalSeconds = 60; // HDDRefreshIntUD
};

// Finds up to six drives that take S.M.A.R.T. commands among drive numbers
// 0..15 and fills the drive table; false when none was found.
bool ScanDrives(ProgramData& data, DriveBus& bus, InfoPanel& panel, ScanView& view,
                const ScanOptions& options);

// Shows a slot's identity on the panel and reads its AAM and APM levels into
// the two groups; nothing while no drive is known.
void ShowDriveInfo(InfoPanel& panel, const ProgramData& data, DriveBus& bus, int slot,
                   ScanView& view);

// The balloon text listing the found drives: "model size GB\r" per slot.
std::string DrivesBalloonText(const ProgramData& data);

} // namespace quorvane
