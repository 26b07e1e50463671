#include "history/HistoryText.h"

#include <cctype>
#include <ctime>

namespace quorvane::history {

namespace {

std::optional<int> Digits(std::string_view text, size_t at, size_t count) {
    if (at + count > text.size())
        return std::nullopt;
    int value = 0;
    for (size_t i = at; i < at + count; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return std::nullopt;
        value = value * 10 + (text[i] - '0');
    }
    return value;
}

} // namespace

std::optional<Seconds> ParseSince(std::string_view text, Seconds now) {
    if (text.size() >= 2 && text.size() <= 5) {
        const char unit = text.back();
        const std::optional<int> count = Digits(text, 0, text.size() - 1);
        const Seconds length = unit == 'h' ? HourSeconds : unit == 'd' ? DaySeconds
                               : unit == 'w' ? 7 * DaySeconds : 0;
        if (count && length != 0)
            return now - *count * length;
    }
    if (text.size() != 10 && text.size() != 16)
        return std::nullopt;
    const auto year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
    if (!year || !month || !day || text[4] != '-' || text[7] != '-' || *month < 1 ||
        *month > 12 || *day < 1 || *day > 31)
        return std::nullopt;
    std::tm local{};
    local.tm_year = *year - 1900;
    local.tm_mon = *month - 1;
    local.tm_mday = *day;
    local.tm_isdst = -1;
    if (text.size() == 16) {
        const auto hour = Digits(text, 11, 2), minute = Digits(text, 14, 2);
        if ((text[10] != ' ' && text[10] != 'T') || text[13] != ':' || !hour || !minute ||
            *hour > 23 || *minute > 59)
            return std::nullopt;
        local.tm_hour = *hour;
        local.tm_min = *minute;
    }
    const std::time_t t = std::mktime(&local);
    if (t == static_cast<std::time_t>(-1) || local.tm_mday != *day)
        return std::nullopt; // 2026-02-31 is no day
    return static_cast<Seconds>(t);
}

std::optional<CounterKey> ParseAttributeId(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        text.remove_prefix(2);
    else if (!text.empty() && (text.back() == 'h' || text.back() == 'H'))
        text.remove_suffix(1);
    if (text.empty() || text.size() > 2)
        return std::nullopt;
    CounterKey id = 0;
    for (const char c : text) {
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return std::nullopt;
        id = id * 16 + (std::isdigit(static_cast<unsigned char>(c))
                            ? c - '0'
                            : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
    }
    if (id == 0)
        return std::nullopt;
    return id;
}

const char* HealthText(Health health) {
    switch (health) {
    case Health::Ok: return "O.K.";
    case Health::Failing: return "ERROR";
    case Health::Unknown: break;
    }
    return "...";
}

std::string IsoTimeText(Seconds time) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm utc{};
    if (gmtime_r(&t, &utc) == nullptr)
        return std::to_string(time);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
    return text;
}

} // namespace quorvane::history
