// The watch service: the desktop program's monitoring without a display. On a
// program whose drives are scanned it ticks the same MonitorSession every
// interval until SIGTERM or SIGINT (or a number of ticks), printing one line
// per drive, rewriting the metrics file and mailing warnings as the settings
// say. quorvane-cli watch and the quorvane-watch unit run it.
#pragma once

#include <chrono>
#include <csignal>
#include <iosfwd>
#include <string>

#include "program/Program.h"

namespace quorvane {

struct WatchOptions {
    // 0: the settings' refresh interval.
    std::chrono::milliseconds Interval{0};
    long Count = 0;          // ticks to run; 0 runs until a stop signal
    std::string MetricsFile; // empty: no metrics file
};

// How the loop ended.
struct WatchEnd {
    bool Signalled = false; // a stop signal ended it
    bool MetricsWriteFailed = false;
};

// Runs the loop on program, whose drives are scanned. stopSignals must be
// blocked in every thread already (the mail workers inherit the mask): they
// are taken between ticks by sigtimedwait, so they never interrupt a tick or
// a file write, and nothing runs in a handler. Each line goes to out, each
// failure to err.
WatchEnd RunWatchService(Program& program, const WatchOptions& options, const sigset_t& stopSignals,
                         std::ostream& out, std::ostream& err);

} // namespace quorvane
