// The computer's clock, time zone and locale, for every date text the program
// writes: the report file's title (the locale's short date and long time) and
// a mail's Date header (the moment in UTC with the local offset), and the
// locale whose character set a mail's encoded header words name.
#pragma once

#include <cstdint>
#include <string>

namespace quorvane {

// One moment: the local calendar time, and the same moment in UTC.
struct LocalDateTime {
    int Year = 1970;
    int Month = 1; // 1..12
    int Day = 1;   // 1..31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
    std::int64_t UtcSeconds = 0; // seconds since 1970-01-01 00:00 UTC
    int UtcOffsetMinutes = 0;    // local time minus UTC at that moment
};

class LocalClock {
public:
    virtual ~LocalClock() = default;
    virtual LocalDateTime Now() const = 0;
    // The locale's short date format ("%x") and long time format ("%X").
    virtual std::string ShortDate(const LocalDateTime& moment) const = 0;
    virtual std::string LongTime(const LocalDateTime& moment) const = 0;
    // A POSIX locale name such as "de_DE.UTF-8" for the character set of
    // texts; "C" when none is set.
    virtual std::string LocaleName() const = 0;
};

// The short date, one space and the long time; the time is left out when the
// moment is exactly midnight (00:00:00.000).
std::string FormatDateTime(const LocalClock& clock, const LocalDateTime& moment);

// The local calendar time of a UTC moment at a given offset from UTC.
LocalDateTime MomentAt(std::int64_t utcSeconds, int utcOffsetMinutes);

// The system clock in local time. Dates are formatted with the LC_TIME
// conventions of the named locale ("" = the environment's, as LC_ALL /
// LC_TIME / LANG say; a locale that does not exist falls back to "C"); the
// character set's locale is the one LC_ALL, LC_CTYPE or LANG names.
class SystemLocalClock final : public LocalClock {
public:
    explicit SystemLocalClock(std::string timeLocaleName = "");
    LocalDateTime Now() const override;
    std::string ShortDate(const LocalDateTime& moment) const override;
    std::string LongTime(const LocalDateTime& moment) const override;
    std::string LocaleName() const override;

private:
    std::string Format(const LocalDateTime& moment, const char* format) const;
    std::string localeName_;
};

} // namespace quorvane
