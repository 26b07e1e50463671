// What a message takes from the computer it is sent from: the moment of
// sending with the local offset from UTC (the Date header) and the locale
// (the character set of encoded header words).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace quorvane {

struct MailTime {
    std::int64_t UtcSeconds = 0; // seconds since 1970-01-01 00:00 UTC
    int UtcOffsetMinutes = 0;    // local time minus UTC at that moment
};

class MailLocale {
public:
    virtual ~MailLocale() = default;
    virtual MailTime Now() const = 0;
    // A POSIX locale name such as "de_DE.UTF-8"; "C" when none is set.
    virtual std::string LocaleName() const = 0;
};

// The system clock and time zone, and the locale of LC_ALL, LC_CTYPE or LANG.
std::unique_ptr<MailLocale> MakeSystemMailLocale();

} // namespace quorvane
