#include "platform/LocalClock.h"

#include <clocale>
#include <cstdlib>
#include <ctime>
#include <locale.h>
#include <time.h>

namespace quorvane {

std::string FormatDateTime(const LocalClock& clock, const LocalDateTime& moment) {
    std::string text = clock.ShortDate(moment);
    const bool midnight =
        moment.Hour == 0 && moment.Minute == 0 && moment.Second == 0 && moment.Millisecond == 0;
    if (!midnight)
        text += " " + clock.LongTime(moment);
    return text;
}

namespace {

// The calendar fields of t, which already holds the local time.
LocalDateTime FromCalendar(const tm& t, std::int64_t utcSeconds, int utcOffsetMinutes) {
    LocalDateTime moment;
    moment.Year = t.tm_year + 1900;
    moment.Month = t.tm_mon + 1;
    moment.Day = t.tm_mday;
    moment.Hour = t.tm_hour;
    moment.Minute = t.tm_min;
    moment.Second = t.tm_sec;
    moment.UtcSeconds = utcSeconds;
    moment.UtcOffsetMinutes = utcOffsetMinutes;
    return moment;
}

} // namespace

LocalDateTime MomentAt(std::int64_t utcSeconds, int utcOffsetMinutes) {
    const auto shifted = static_cast<time_t>(utcSeconds + std::int64_t{utcOffsetMinutes} * 60);
    tm t{};
    gmtime_r(&shifted, &t);
    return FromCalendar(t, utcSeconds, utcOffsetMinutes);
}

SystemLocalClock::SystemLocalClock(std::string timeLocaleName)
    : localeName_(std::move(timeLocaleName)) {}

LocalDateTime SystemLocalClock::Now() const {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm local{};
    localtime_r(&now.tv_sec, &local);
    LocalDateTime moment = FromCalendar(local, static_cast<std::int64_t>(now.tv_sec),
                                        static_cast<int>(local.tm_gmtoff / 60));
    moment.Millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return moment;
}

std::string SystemLocalClock::LocaleName() const {
    for (const char* variable : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0')
            return value;
    }
    return "C";
}

std::string SystemLocalClock::ShortDate(const LocalDateTime& moment) const {
    return Format(moment, "%x");
}

std::string SystemLocalClock::LongTime(const LocalDateTime& moment) const {
    return Format(moment, "%X");
}

std::string SystemLocalClock::Format(const LocalDateTime& moment, const char* format) const {
    tm t{};
    t.tm_year = moment.Year - 1900;
    t.tm_mon = moment.Month - 1;
    t.tm_mday = moment.Day;
    t.tm_hour = moment.Hour;
    t.tm_min = moment.Minute;
    t.tm_sec = moment.Second;
    t.tm_isdst = -1;
    // Weekday and day of the year, for locales whose formats name them.
    tm normalized = t;
    if (timegm(&normalized) != static_cast<time_t>(-1)) {
        t.tm_wday = normalized.tm_wday;
        t.tm_yday = normalized.tm_yday;
    }
    locale_t locale = newlocale(LC_TIME_MASK, localeName_.c_str(), static_cast<locale_t>(0));
    if (locale == static_cast<locale_t>(0))
        locale = newlocale(LC_TIME_MASK, "C", static_cast<locale_t>(0));
    char text[128];
    const size_t length = strftime_l(text, sizeof text, format, &t, locale);
    freelocale(locale);
    return std::string(text, length);
}

} // namespace quorvane
