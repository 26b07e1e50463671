// The History window's two charts. Qt Charts, and the OpenGL libraries behind
// it, live in the quorvane-history module, loaded when the window is first
// made: a program whose History window stays shut never maps them.
#pragma once

#include <QString>

#include "program/HistoryScreen.h"

class QWidget;

namespace quorvane {

struct HistoryCharts {
    // An empty chart view named name, its legend at the right or below.
    QWidget* (*MakeView)(QWidget* parent, const char* name, bool legendBelow);
    // Every drive's temperature as a line, with its min/max band when the
    // points are hourly; the legend switches a drive on and off.
    void (*DrawTemperatures)(QWidget* view, const HistoryScreen& screen);
    // The chosen attribute's raw value per drive, as steps to the range's end.
    void (*DrawAttribute)(QWidget* view, const HistoryScreen& screen);
};

inline constexpr const char* HistoryModuleName = "quorvane-history";

// The module's charts, loaded on the first call; nullptr, with the loader's
// reason in problem, when the module cannot be loaded.
const HistoryCharts* LoadHistoryCharts(QString& problem);

} // namespace quorvane
