// The clock and the locale's date and time formats, for the date texts the
// program writes.
#pragma once

#include <string>

namespace quorvane {

struct LocalDateTime {
    int Year = 1970;
    int Month = 1; // 1..12
    int Day = 1;   // 1..31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

class LocalClock {
public:
    virtual ~LocalClock() = default;
    virtual LocalDateTime Now() const = 0;
    // The locale's short date format ("%x") and long time format ("%X").
    virtual std::string ShortDate(const LocalDateTime& moment) const = 0;
    virtual std::string LongTime(const LocalDateTime& moment) const = 0;
};

// The short date, one space and the long time; the time is left out when the
// moment is exactly midnight (00:00:00.000).
std::string FormatDateTime(const LocalClock& clock, const LocalDateTime& moment);

// The system clock in local time, formatted with the LC_TIME conventions of
// the named locale ("" = the environment's, as LC_ALL / LC_TIME / LANG say).
// A locale that does not exist falls back to "C".
class SystemLocalClock final : public LocalClock {
public:
    explicit SystemLocalClock(std::string localeName = "");
    LocalDateTime Now() const override;
    std::string ShortDate(const LocalDateTime& moment) const override;
    std::string LongTime(const LocalDateTime& moment) const override;

private:
    std::string Format(const LocalDateTime& moment, const char* format) const;
    std::string localeName_;
};

} // namespace quorvane
