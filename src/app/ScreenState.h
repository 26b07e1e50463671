// What the windows show of the selected drive, kept in the core: the windows
// copy from it, and the report file, the CLI and the mail read it, never a
// widget.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/FeatureGroupState.h"
#include "ata/AtaCommand.h"
#include "smart/SmartGrid.h"
#include "smart/SmartHealth.h"

namespace quorvane {


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
    bool operator==(const InfoPanel&) const = default;
};

// The S.M.A.R.T. window's self-test row as the drive's last read left it.
struct SelfTestRowState {
    std::vector<SelfTestKind> Kinds; // the chooser's items; none: the row is disabled
    bool CanStart = false;           // a kind is offered and no test runs
    bool CanAbort = false;           // a test runs
    int PercentDone = 0;             // the progress bar
    std::string Progress;            // its text: "40 %, about 48 min left"; empty when none runs
    bool operator==(const SelfTestRowState&) const = default;
};

// The self-test log table's cells: number, test, status, remaining, hours,
// first failing LBA.
inline constexpr int SelfTestLogColumns = 6;
using SelfTestLogRow = std::array<std::string, SelfTestLogColumns>;

// The self-test row and log table of the S.M.A.R.T. window.
struct SelfTestScreen {
    int Slot = 0; // the drive they are of
    SelfTestRowState Row;
    std::vector<SelfTestLogRow> Log; // newest first
    std::string LogNote;             // why no log shows ("log unreadable"); else empty
    std::string Note;                // the answer to a Start or Abort that did not start a test
    bool operator==(const SelfTestScreen&) const = default;
};

// What the S.M.A.R.T. labels and the grid hold between reads: every caption
// starts as "..." and the grid with its header row only, and each read with
// show replaces what it gets to.
struct SmartScreen {
    std::string SMARTStatusL = NotMeasuredText; // main window and S.M.A.R.T. window
    TemperatureCaptions Temperatures;            // HDDTempL, HDDTempLoL, HDDTempHiL, HDDAirTempL
    RawValueFormat RAWValuesRG = RawValueFormat::Hex; // the raw form the grid was filled with
    SmartGridModel SMARTSG;
    // The data page and then the threshold page the grid was filled from
    // (empty before the first fill): the same pages in the same raw form
    // fill the same grid, so a read that brings them again keeps it.
    std::vector<uint8_t> SMARTSGPages;
    SelfTestScreen SelfTests;
    bool operator==(const SmartScreen&) const = default;
};

struct ScreenState {
    InfoPanel Info;
    SmartScreen Smart;
    std::string SMARTRunL = "-"; // the monitoring activity indicator
};

} // namespace quorvane
