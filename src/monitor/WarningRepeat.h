// When a failing drive's warning mail goes out. A failure that lasts would
// otherwise mail once per monitoring cycle (240 messages an hour at 15 s),
// and mail providers block such a sender within hours, after which no report
// gets through at all.
#pragma once

#include <chrono>
#include <cstdint>

namespace quorvane {

inline constexpr int DefaultWarningRepeatMinutes = 60;

class WarningRepeat {
public:
    // failingSlots: bit n - 1 is set when slot n's read failed or its drive
    // reported an exceeded threshold in this cycle. A warning is due when a
    // drive fails that did not fail in the previous cycle (every failure of
    // the first cycle is new), and while failures last, once per
    // repeatMinutes (0: every cycle). now is any steady clock's reading.
    bool Due(std::uint8_t failingSlots, std::chrono::milliseconds now, int repeatMinutes);

private:
    std::uint8_t previous_ = 0;
    bool sent_ = false;
    std::chrono::milliseconds lastSent_{0};
};

} // namespace quorvane
