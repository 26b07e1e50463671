#include "history/RisingCounters.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "smart/SmartAttributes.h"

namespace quorvane::history {

bool IsRisingSectorAttribute(CounterKey key) {
    return std::find(RisingSectorAttributes.begin(), RisingSectorAttributes.end(), key) !=
           RisingSectorAttributes.end();
}

bool IsRisingCounterName(std::string_view name) {
    return name == MediaErrorsCounter;
}

bool JudgeRise(uint64_t baseline, uint64_t previous, uint64_t current, Seconds now,
               RiseMemory& memory) {
    if (current > previous)
        memory.LastIncrease = now;
    // A counter that fell (pending sectors reallocated) sets the bar lower.
    if (memory.Warned && current < memory.WarnedRaw)
        memory.WarnedRaw = current;
    const uint64_t bar = memory.Warned ? std::max(baseline, memory.WarnedRaw) : baseline;
    if (current <= bar)
        return false;
    memory.Warned = true;
    memory.WarnedRaw = current;
    memory.From = bar;
    memory.To = current;
    memory.WarnedAt = now;
    return true;
}

bool StillRising(const RiseMemory& memory, Seconds now) {
    return memory.Warned && now - memory.LastIncrease < RiseQuietPeriod;
}

std::string CounterDisplayName(CounterKey key, std::string_view counterName) {
    if (key >= FirstNamedCounterKey || key < 1)
        return std::string(counterName);
    char id[8];
    std::snprintf(id, sizeof id, "%02Xh", static_cast<unsigned>(key));
    for (const SMARTAttributeName& known : SMARTAttributeNames) {
        if (known.Id == key)
            return std::string(id) + " " + std::string(known.Name);
    }
    return std::string(id) + " Unknown Attribute";
}

std::string RiseText(const CounterRise& rise) {
    return rise.Name + " rose from " + std::to_string(rise.From) + " to " +
           std::to_string(rise.To) + " (" + HistoryTimeText(rise.Time) + ")";
}

std::string HistoryTimeText(Seconds time) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    if (localtime_r(&t, &local) == nullptr)
        return std::to_string(time);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &local);
    return text;
}

} // namespace quorvane::history
