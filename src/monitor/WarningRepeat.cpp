#include "monitor/WarningRepeat.h"

namespace quorvane {

bool WarningRepeat::Due(std::uint8_t failingSlots, std::chrono::milliseconds now,
                        int repeatMinutes) {
    const bool newFailure = (failingSlots & ~previous_) != 0;
    previous_ = failingSlots;
    if (failingSlots == 0)
        return false;
    const bool repeatDue =
        repeatMinutes <= 0 || !sent_ || now - lastSent_ >= std::chrono::minutes(repeatMinutes);
    if (!newFailure && !repeatDue)
        return false;
    sent_ = true;
    lastSent_ = now;
    return true;
}

} // namespace quorvane
