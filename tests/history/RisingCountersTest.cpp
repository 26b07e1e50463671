// The rising-counter rule on histories recorded from the real drive pages:
// each scenario raises (or lowers) one counter's raw value at given hours
// and names the rises the store must report, once each, and the hours at
// which the drive is still marked.
#include <ctime>
#include <filesystem>
#include <gtest/gtest.h>

#include "history/HistoryTestSupport.h"

namespace quorvane {
namespace {

using namespace history;
using test::HistoryStart;

const bool InUtc = [] {
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

constexpr Seconds Step = 15 * 60;
constexpr Seconds Hours = HourSeconds;

struct Change {
    Seconds At;     // hours from the start
    int64_t Offset; // raw = the page's raw value + Offset
};
struct ExpectedRise {
    Seconds At;
    int64_t From, To; // as offsets from the page's raw value
};
struct Scenario {
    const char* Name;
    CounterKey Key; // 0: the named media-error counter
    std::vector<Change> Changes;
    std::vector<ExpectedRise> Rises;
    std::vector<std::pair<Seconds, bool>> Marked; // at that hour, is it still marked?
    Seconds RestartAt = 0; // a new run of the program from that hour on (0: none)
};

const std::vector<Scenario> Scenarios = {
    {"two steps, each a rise, marked until flat for 7 days", 0x05,
     {{36, 8}, {40, 16}},
     {{36, 0, 8}, {40, 8, 16}},
     {{35, false}, {36, true}, {40 + 7 * 24 - 1, true}, {40 + 7 * 24, false}}},
    {"a fall lowers the bar: the next step up is a rise again", 0xC5,
     {{30, 4}, {32, 0}, {34, 2}},
     {{30, 0, 4}, {34, 0, 2}},
     {{31, true}, {33, true}, {34 + 7 * 24, false}}},
    {"a new run of the program does not warn again", 0xC6,
     {{36, 1}},
     {{36, 0, 1}},
     {{50, true}, {36 + 7 * 24 - 1, true}, {36 + 7 * 24, false}},
     48},
    {"a value the drive had when first seen is no rise", 0x05,
     {{0, 8}},
     {},
     {{1, false}, {30, false}}},
    {"back to the value of a day before is no rise", 0xC5,
     {{0, 5}, {30, 3}, {40, 5}},
     {},
     {{41, false}}},
    {"an NVMe drive's media errors, in a history younger than a day", 0,
     {{10, 3}},
     {{10, 0, 3}},
     {{11, true}, {10 + 7 * 24, false}}},
};

// The real pages that hold the attribute (every page, for the named counter).
std::vector<std::string> PagesWith(CounterKey key) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(test::PagesDir())) {
        const std::string file = entry.path().filename().string();
        const std::string suffix = ".smart-data.bin";
        if (file.size() <= suffix.size() || file.compare(file.size() - suffix.size(), suffix.size(), suffix) != 0)
            continue;
        const std::string name = file.substr(0, file.size() - suffix.size());
        DriveRecord record = test::RecordOfPage(name, 1);
        if (key == 0 || test::AttributeOf(record, static_cast<uint8_t>(key)) != nullptr)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(RisingCounters, RealDrivesWithARaisedSectorCounterAreWarnedOncePerRise) {
    size_t runs = 0;
    for (const Scenario& s : Scenarios) {
        const std::vector<std::string> pages = PagesWith(s.Key);
        ASSERT_GE(pages.size(), 3u) << s.Name;
        for (const std::string& page : pages) {
            SCOPED_TRACE(std::string(s.Name) + " on " + page);
            test::HistoryDir dir;
            DriveRecord drive = test::RecordOfPage(page, 2);
            uint64_t base = 0;
            if (s.Key != 0)
                base = test::AttributeOf(drive, static_cast<uint8_t>(s.Key))->Raw;
            else
                drive.Counters.push_back({MediaErrorsCounter, 0});
            auto setRaw = [&](int64_t offset) {
                const uint64_t raw = base + static_cast<uint64_t>(offset);
                if (s.Key != 0)
                    test::AttributeOf(drive, static_cast<uint8_t>(s.Key))->Raw = raw;
                else
                    drive.Counters[0].Value = raw;
            };

            auto store = std::make_unique<HistoryStore>(dir.File());
            std::vector<CounterRise> rises;
            std::vector<std::pair<Seconds, bool>> marked;
            size_t nextChange = 0;
            for (Seconds t = HistoryStart; t <= HistoryStart + 9 * 24 * Hours; t += Step) {
                const Seconds hour = (t - HistoryStart) / Hours;
                if (s.RestartAt != 0 && t == HistoryStart + s.RestartAt * Hours)
                    store = std::make_unique<HistoryStore>(dir.File());
                if (nextChange < s.Changes.size() && hour == s.Changes[nextChange].At &&
                    (t - HistoryStart) % Hours == 0)
                    setRaw(s.Changes[nextChange++].Offset);
                const RecordOutcome outcome = store->Record(TickRecord{t, {drive}});
                ASSERT_TRUE(outcome.Written);
                rises.insert(rises.end(), outcome.Rises.begin(), outcome.Rises.end());
                for (const auto& [at, expected] : s.Marked) {
                    if (t == HistoryStart + at * Hours)
                        marked.emplace_back(at, !store->Rising(drive.Drive, t).empty());
                }
            }

            std::vector<CounterRise> expected;
            const std::string name =
                s.Key != 0 ? CounterDisplayName(s.Key) : std::string(MediaErrorsCounter);
            for (const ExpectedRise& r : s.Rises) {
                expected.push_back(CounterRise{drive.Drive, 2, s.Key != 0 ? s.Key : FirstNamedCounterKey,
                                               name, base + static_cast<uint64_t>(r.From),
                                               base + static_cast<uint64_t>(r.To),
                                               HistoryStart + r.At * Hours});
            }
            EXPECT_EQ(rises, expected);
            EXPECT_EQ(marked, s.Marked);
            ++runs;
        }
    }
    EXPECT_GE(runs, 20u);
}

TEST(RisingCounters, TheWarningSaysWhichCounterRoseFromWhatToWhatAndWhen) {
    const CounterRise rise{{"M", "S", "F"}, 1, 0x05, CounterDisplayName(0x05), 0, 8,
                           HistoryStart + 14 * Hours + 20 * 60};
    EXPECT_EQ(RiseText(rise), "05h Reallocated Sector Count rose from 0 to 8 (2026-12-01 14:20)");
    EXPECT_EQ(CounterDisplayName(0xC6), "C6h Uncorrectable Sector Count");
    const AttributeChange change{HistoryStart + 14 * Hours + 20 * 60, 0x05, 100, 100, 0, 8};
    EXPECT_EQ(ChangeText(change, CounterDisplayName(0x05)),
              "05h Reallocated Sector Count raw 0 -> 8, 2026-12-01 14:20");
}

} // namespace
} // namespace quorvane
