// What the History window shows, computed from the history file: every
// drive's temperature over the chosen range, one attribute's raw value per
// drive, and that attribute's changes. The window only draws it.
#pragma once

#include <string>
#include <vector>

#include "app/DriveTable.h"
#include "history/HistoryStore.h"

namespace quorvane {

enum class HistoryRange { Day, Week, Month, Year, All };

struct HistoryRangeButton {
    HistoryRange Range;
    const char* Caption;
    const char* Name; // the button's objectName
};
inline constexpr HistoryRangeButton HistoryRangeButtons[] = {
    {HistoryRange::Day, "Day", "DayB"},       {HistoryRange::Week, "Week", "WeekB"},
    {HistoryRange::Month, "Month", "MonthB"}, {HistoryRange::Year, "Year", "YearB"},
    {HistoryRange::All, "All", "AllB"},
};

inline constexpr history::CounterKey DefaultHistoryAttribute = 0x05;

// A drive keeps its colour (an index into the window's palette) on both charts.
struct HistoryDriveLine {
    std::string Name; // "HDD1 ST9160821AS", or model and serial for a drive not in a slot
    std::vector<history::TemperaturePoint> Points;
    size_t Colour = 0;
};

struct HistoryAttributeLine {
    std::string Name;
    std::vector<history::AttributePoint> Points; // the value standing at From first
    size_t Colour = 0;
};

struct HistoryScreen {
    HistoryRange Range = HistoryRange::Week;
    history::Seconds From = 0;
    history::Seconds To = 0;
    bool Hourly = false; // temperature points are hours with a min/max band
    std::string TemperatureTitle = "Temperature of every drive";
    std::string TemperatureAxis = "Temperature (\u00B0C)";
    std::string TimeAxis;   // "Date and time (local)"
    std::string TimeFormat; // the axis labels' date format, Qt's notation
    std::vector<HistoryDriveLine> Drives;
    // The attributes the drives have a history of, for the choice.
    std::vector<std::pair<history::CounterKey, std::string>> Attributes;
    history::CounterKey Attribute = DefaultHistoryAttribute;
    std::string AttributeTitle; // "05h Reallocated Sector Count, raw value"
    std::string AttributeAxis = "Raw value";
    std::vector<HistoryAttributeLine> AttributeLines;
    std::vector<std::string> Changes; // newest first, "HDD1: 05h ... raw 0 -> 8, 2026-12-03 14:20"
    std::string Status;               // "No history in FILE yet", or what the file holds
};

HistoryScreen MakeHistoryScreen(history::HistoryStore& store, const ProgramData& data,
                                HistoryRange range, history::CounterKey attribute,
                                history::Seconds now);

} // namespace quorvane
