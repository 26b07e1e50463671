// The drive scan and the Information panel.
#pragma once

#include <cstdint>
#include <string>

#include "ata/DriveBus.h"
#include "app/DriveTable.h"
#include "app/Settings.h"

namespace quorvane {

inline constexpr const char* NoDrivesText = "S.M.A.R.T. HDD(s) not found!";
inline constexpr const char* NoDrivesCaption = "Warning";
inline constexpr const char* DrivesBalloonTitle = "HDDs";
inline constexpr int BalloonSeconds = 10;

// What the scan does to the rest of the window and the tray. Every call is
// one a display must answer; a caller without a display says so with
// HeadlessScanView.
class ScanView {
public:
    virtual ~ScanView() = default;
    virtual void ClearDriveList() = 0;
    // The model exactly as the drive gives it, trailing blanks included.
    virtual void AddDriveListItem(const std::string& model) = 0;
    virtual void SelectDriveListItem(int index) = 0;
    virtual void SetTrayColors(int slot, uint32_t fontColor, uint32_t backColor) = 0;
    // Enables the slot's tray check box, and checks it when check is true.
    virtual void EnableTrayCheckBox(int slot, bool check) = 0;
    virtual void SetTrayIcon(int slot, const std::string& hint, bool visible) = 0;
    virtual void ShowInfoBalloon(int slot, const std::string& title, const std::string& text,
                                 int seconds) = 0;
    // The Information group is to copy the panel (ProgramData::Screen.Info).
    virtual void InfoPanelChanged(const InfoPanel& panel) = 0;
};

// For callers that show nothing (the CLI, a headless monitor); a view that
// wants only some of the calls overrides those.
class HeadlessScanView : public ScanView {
public:
    void ClearDriveList() override {}
    void AddDriveListItem(const std::string&) override {}
    void SelectDriveListItem(int) override {}
    void SetTrayColors(int, uint32_t, uint32_t) override {}
    void EnableTrayCheckBox(int, bool) override {}
    void SetTrayIcon(int, const std::string&, bool) override {}
    void ShowInfoBalloon(int, const std::string&, const std::string&, int) override {}
    void InfoPanelChanged(const InfoPanel&) override {}
};

// What a scan is for. The window and the monitors prepare each drive as the
// program always has: automatic off-line data collection and attribute
// autosave switched on where the drive offers them, and the first drive's
// AAM and APM levels read for the Information panel. A one-off command
// changes no switch of the drive and reads only what it shows.
enum class ScanUse { Monitor, ReadOnly };

// Finds up to six drives that take S.M.A.R.T. commands among drive numbers
// 0..15 and fills the drive table and the Information panel
// (data.Screen.Info); false when none was found. The tray icons take their
// switch and colours from settings, the drive-list balloon follows
// BalloonHints. Monitoring is the caller's to start.
bool ScanDrives(ProgramData& data, DriveBus& bus, ScanView& view, const Settings& settings,
                ScanUse use = ScanUse::Monitor);

// Shows a slot's identity on the panel (data.Screen.Info) and, unless the
// use is ReadOnly, reads its AAM and APM levels into the two groups; nothing
// while no drive is known.
void ShowDriveInfo(ProgramData& data, DriveBus& bus, int slot, ScanView& view,
                   ScanUse use = ScanUse::Monitor);

// The balloon text listing the found drives: "model size GB\r" per slot.
std::string DrivesBalloonText(const ProgramData& data);

} // namespace quorvane
