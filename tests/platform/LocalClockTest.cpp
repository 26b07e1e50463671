// The clock and locale port: the date text of the report title, the UTC
// moment and offset of a mail's Date header, the character set's locale.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include "platform/LocalClock.h"

namespace quorvane {
namespace {

// A clock standing at a fixed moment, with recognisable formats.
class FixedClock : public LocalClock {
public:
    explicit FixedClock(LocalDateTime moment) : moment_(moment) {}
    LocalDateTime Now() const override { return moment_; }
    std::string ShortDate(const LocalDateTime& m) const override {
        return std::to_string(m.Day) + "." + std::to_string(m.Month) + "." + std::to_string(m.Year);
    }
    std::string LongTime(const LocalDateTime& m) const override {
        return std::to_string(m.Hour) + ":" + std::to_string(m.Minute) + ":" +
               std::to_string(m.Second);
    }
    std::string LocaleName() const override { return "C"; }

private:
    LocalDateTime moment_;
};

TEST(LocalClock, TimeLeftOutOnlyAtExactMidnight) {
    const FixedClock clock({});
    EXPECT_EQ(FormatDateTime(clock, {2025, 3, 14, 0, 0, 0, 0}), "14.3.2025");
    EXPECT_EQ(FormatDateTime(clock, {2025, 3, 14, 0, 0, 0, 1}), "14.3.2025 0:0:0");
    EXPECT_EQ(FormatDateTime(clock, {2025, 3, 14, 0, 0, 1, 0}), "14.3.2025 0:0:1");
    EXPECT_EQ(FormatDateTime(clock, {2025, 3, 14, 12, 0, 0, 0}), "14.3.2025 12:0:0");
    EXPECT_EQ(FormatDateTime(clock, {2025, 3, 14, 23, 59, 59, 999}), "14.3.2025 23:59:59");
}

TEST(LocalClock, SystemClockUsesTheLocaleFormats) {
    const SystemLocalClock c("C");
    const LocalDateTime moment{2025, 3, 14, 9, 5, 7, 0};
    EXPECT_EQ(c.ShortDate(moment), "03/14/25");
    EXPECT_EQ(c.LongTime(moment), "09:05:07");
    EXPECT_EQ(FormatDateTime(c, moment), "03/14/25 09:05:07");
    EXPECT_EQ(FormatDateTime(c, {2025, 3, 14, 0, 0, 0, 0}), "03/14/25");
    // An unknown locale falls back to the C formats.
    EXPECT_EQ(SystemLocalClock("xx_NOWHERE.none").ShortDate(moment), "03/14/25");
    const LocalDateTime now = c.Now();
    EXPECT_GE(now.Year, 2024);
    EXPECT_TRUE(now.Month >= 1 && now.Month <= 12 && now.Millisecond >= 0 &&
                now.Millisecond < 1000);
}

TEST(LocalClock, AMomentAtAnOffsetGivesItsLocalCalendarTime) {
    // 1796607310 is Mon, 7 Dec 2026 01:35:10 UTC.
    const LocalDateTime east = MomentAt(1796607310, 180);
    EXPECT_EQ(east.Year, 2026);
    EXPECT_EQ(east.Month, 12);
    EXPECT_EQ(east.Day, 7);
    EXPECT_EQ(east.Hour, 4);
    EXPECT_EQ(east.Minute, 35);
    EXPECT_EQ(east.Second, 10);
    EXPECT_EQ(east.UtcSeconds, 1796607310);
    EXPECT_EQ(east.UtcOffsetMinutes, 180);
    // West of UTC the local day can be the day before.
    const LocalDateTime west = MomentAt(1796607310, -150);
    EXPECT_EQ(west.Day, 6);
    EXPECT_EQ(west.Hour, 23);
    EXPECT_EQ(west.Minute, 5);
}

// Sets an environment variable for one test and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv() {
        if (old_)
            setenv(name_, old_->c_str(), 1);
        else
            unsetenv(name_);
        tzset();
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

TEST(LocalClock, SystemClockGivesTheMomentInUtcWithItsOffset) {
    ScopedEnv tz("TZ", "UTC-2"); // two hours east of UTC, no daylight saving
    tzset();
    const SystemLocalClock clock("C");
    const auto before = static_cast<std::int64_t>(std::time(nullptr));
    const LocalDateTime now = clock.Now();
    const auto after = static_cast<std::int64_t>(std::time(nullptr));
    EXPECT_GE(now.UtcSeconds, before);
    EXPECT_LE(now.UtcSeconds, after);
    EXPECT_EQ(now.UtcOffsetMinutes, 120);
    const LocalDateTime same = MomentAt(now.UtcSeconds, now.UtcOffsetMinutes);
    EXPECT_EQ(now.Day, same.Day);
    EXPECT_EQ(now.Hour, same.Hour);
    EXPECT_EQ(now.Minute, same.Minute);
    EXPECT_EQ(now.Second, same.Second);
}

TEST(LocalClock, TheCharacterSetLocaleFollowsLcAllLcCtypeLang) {
    ScopedEnv all("LC_ALL", nullptr);
    ScopedEnv ctype("LC_CTYPE", nullptr);
    ScopedEnv lang("LANG", nullptr);
    const SystemLocalClock clock;
    EXPECT_EQ(clock.LocaleName(), "C");
    setenv("LANG", "de_DE.ISO-8859-1", 1);
    EXPECT_EQ(clock.LocaleName(), "de_DE.ISO-8859-1");
    setenv("LC_CTYPE", "ru_RU.KOI8-R", 1);
    EXPECT_EQ(clock.LocaleName(), "ru_RU.KOI8-R");
    setenv("LC_ALL", "", 1); // empty counts as unset
    EXPECT_EQ(clock.LocaleName(), "ru_RU.KOI8-R");
    setenv("LC_ALL", "fr_FR.UTF-8", 1);
    EXPECT_EQ(clock.LocaleName(), "fr_FR.UTF-8");
}

} // namespace
} // namespace quorvane
