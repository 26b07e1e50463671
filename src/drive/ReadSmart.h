// The S.M.A.R.T. read of one drive slot.
#pragma once

#include <string>

#include "drive/DriveBus.h"
#include "drive/DriveTable.h"
#include "smart/SmartGrid.h"
#include "smart/SmartHealth.h"

namespace quorvane {

// What a S.M.A.R.T. read shows, when it is asked to show.
class SmartDisplay {
public:
    virtual ~SmartDisplay() = default;
    // The caption of SMARTStatusL on the main window and on the S.M.A.R.T. window.
    virtual void ShowSmartStatus(const std::string& caption) = 0;
    // The captions of HDDTempL, HDDTempLoL, HDDTempHiL and HDDAirTempL.
    virtual void ShowTemperatures(const TemperatureCaptions& captions) = 0;
    // The RAWValuesRG choice at the moment the grid is filled.
    virtual RawValueFormat RawValuesFormat() const = 0;
    // The rebuilt grid SMARTSG (header row included); the window takes its
    // height from the row count.
    virtual void ShowSmartGrid(const SmartGridModel& grid) = 0;
};

// What the labels and the grid hold between reads: every caption starts as
// "..." and the grid with its header row only, and each read with show
// replaces what it gets to. The CLI shows a read through it.
class SmartScreen final : public SmartDisplay {
public:
    std::string SMARTStatusL = SmartNotReadText;
    TemperatureCaptions Temperatures;
    RawValueFormat RAWValuesRG = RawValueFormat::Hex;
    SmartGridModel SMARTSG;

    void ShowSmartStatus(const std::string& caption) override { SMARTStatusL = caption; }
    void ShowTemperatures(const TemperatureCaptions& captions) override { Temperatures = captions; }
    RawValueFormat RawValuesFormat() const override { return RAWValuesRG; }
    void ShowSmartGrid(const SmartGridModel& grid) override { SMARTSG = grid; }
};

// Reads the health status, the data page and the threshold page of a slot's
// drive, opening the drive once per command, then takes the temperatures
// from the new pages and, with show, refreshes the temperature captions and
// the grid. True only when all three commands went through and no threshold
// is exceeded. display may be null when nothing is shown.
bool ReadSMART(ProgramData& data, DriveBus& bus, SmartDisplay* display, int slot, bool show);

} // namespace quorvane
