// The history store on a real SQLite file: what a tick writes, the
// change-only rule, the hourly roll-up and the thinning past the retention,
// a drive that moves to another slot, and files that are locked, damaged or
// cannot be written.
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <map>
#include <sqlite3.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "history/HistoryTestSupport.h"

namespace quorvane {
namespace {

using namespace history;
using test::HistoryDir;
using test::HistoryStart;

const bool InUtc = [] {
    setenv("TZ", "UTC", 1);
    tzset();
    return true;
}();

// Reads the file with SQLite itself, beside the store.
class RawFile {
public:
    explicit RawFile(const std::string& path) { sqlite3_open(path.c_str(), &db_); }
    ~RawFile() { sqlite3_close(db_); }
    int64_t Number(const std::string& sql) {
        sqlite3_stmt* stmt = nullptr;
        int64_t value = -1;
        if (sqlite3_prepare_v2(db_, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK &&
            sqlite3_step(stmt) == SQLITE_ROW)
            value = sqlite3_column_int64(stmt, 0);
        sqlite3_finalize(stmt);
        return value;
    }
    int Exec(const std::string& sql) { return sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr); }

private:
    sqlite3* db_ = nullptr;
};

Seconds HourOf(Seconds t) {
    return t - t % HourSeconds;
}

// Nine days of one busy drive read every minute: its temperature (and C2h)
// changes at every read, its power-on hours once an hour, 05h never; and a
// quiet drive beside it whose values never change.
TEST(HistoryStore, KeepsTicksAWeekHoursForEverAndAttributeRowsOnlyWhereAValueChanged) {
    HistoryDir dir;
    constexpr Seconds Step = 60;
    constexpr long Ticks = 9 * DaySeconds / Step;
    DriveRecord busy = test::RecordOfPage("Hitachi_HDS721010CLA632", 1);
    const DriveRecord quiet = test::RecordOfPage("SAMSUNG_HD501LJ--CR100-12", 2);
    ASSERT_NE(test::AttributeOf(busy, SmartIdTemperature), nullptr);
    ASSERT_NE(test::AttributeOf(busy, 9), nullptr);
    const uint64_t hoursAtStart = test::AttributeOf(busy, 9)->Raw;

    auto temperatureAt = [](long tick) { return 30 + static_cast<int>(tick % 7); };
    std::map<Seconds, std::vector<int>> byHour; // what the test fed, hour by hour
    std::map<Seconds, uint64_t> lastC2hOfHour;
    const Seconds last = HistoryStart + (Ticks - 1) * Step;
    {
        HistoryStore store(dir.File());
        for (long tick = 0; tick < Ticks; ++tick) {
            const Seconds t = HistoryStart + tick * Step;
            busy.Temperature = temperatureAt(tick);
            AttributeReading& c2 = *test::AttributeOf(busy, SmartIdTemperature);
            c2.Raw = (c2.Raw & ~uint64_t{0xFF}) | static_cast<uint64_t>(*busy.Temperature);
            test::AttributeOf(busy, 9)->Raw = hoursAtStart + static_cast<uint64_t>(tick / 60);
            byHour[HourOf(t)].push_back(*busy.Temperature);
            lastC2hOfHour[HourOf(t)] = c2.Raw;
            ASSERT_TRUE(store.Record(TickRecord{t, {busy, quiet}}).Written) << tick;
        }
        EXPECT_EQ(store.TakeNotice(), "");
    }

    RawFile file(dir.File());
    const Seconds cutoff = HourOf(last - 7 * DaySeconds);
    const int64_t ticksKept = (last - cutoff) / Step + 1;
    EXPECT_EQ(file.Number("SELECT count(*) FROM tick WHERE drive = 1"), ticksKept);
    EXPECT_EQ(file.Number("SELECT min(t) FROM tick"), cutoff);
    // The quiet drive: one row per attribute in nine days.
    EXPECT_EQ(file.Number("SELECT count(*) FROM attr WHERE drive = 2"),
              static_cast<int64_t>(quiet.Attributes.size()));
    EXPECT_EQ(file.Number("SELECT count(*) FROM attr WHERE drive = 1 AND id = 5"), 1);
    // Power-on hours change once an hour, before and after the cutoff alike.
    EXPECT_EQ(file.Number("SELECT count(*) FROM attr WHERE drive = 1 AND id = 9"), Ticks / 60);
    // C2h: every read within the retention, the last of each hour before it.
    EXPECT_EQ(file.Number("SELECT count(*) FROM attr WHERE drive = 1 AND id = 194 AND t >= " +
                          std::to_string(cutoff)),
              ticksKept);
    EXPECT_EQ(file.Number("SELECT count(*) FROM attr WHERE drive = 1 AND id = 194 AND t < " +
                          std::to_string(cutoff)),
              (cutoff - HistoryStart) / HourSeconds);

    HistoryStore store(dir.File());
    const std::optional<KnownDrive> known = store.FindDrive(busy.Drive);
    ASSERT_TRUE(known);
    EXPECT_EQ(known->First, HistoryStart);
    EXPECT_EQ(known->Last, last);
    // Every hour that ended has its row with what the ticks of that hour held.
    const TemperatureSeries all = store.Temperatures(known->Key, HistoryStart, last + 1);
    ASSERT_TRUE(all.Hourly);
    ASSERT_EQ(all.Points.size(), byHour.size());
    size_t compared = 0;
    for (const TemperaturePoint& p : all.Points) {
        const std::vector<int>& fed = byHour[p.Time];
        double sum = 0;
        for (const int t : fed)
            sum += t;
        ASSERT_EQ(p.Min, *std::min_element(fed.begin(), fed.end())) << p.Time;
        ASSERT_EQ(p.Max, *std::max_element(fed.begin(), fed.end())) << p.Time;
        ASSERT_DOUBLE_EQ(p.Average, sum / static_cast<double>(fed.size())) << p.Time;
        ASSERT_EQ(p.Status, Health::Ok);
        ASSERT_EQ(p.Slot, 1);
        ++compared;
    }
    EXPECT_EQ(compared, 9u * 24u);
    // A day is drawn from its ticks.
    const TemperatureSeries day = store.Temperatures(known->Key, last - DaySeconds + 1, last + 1);
    EXPECT_FALSE(day.Hourly);
    EXPECT_EQ(day.Points.size(), static_cast<size_t>(DaySeconds / Step));
    EXPECT_EQ(day.Points.back().Average, temperatureAt(Ticks - 1));
    // The thinned attribute still holds each old hour's last value.
    const std::vector<AttributePoint> c2 = store.Attribute(known->Key, SmartIdTemperature,
                                                           HistoryStart, cutoff);
    ASSERT_EQ(c2.size(), static_cast<size_t>((cutoff - HistoryStart) / HourSeconds));
    for (const AttributePoint& p : c2)
        ASSERT_EQ(p.Raw, lastC2hOfHour[HourOf(p.Time)]) << p.Time;
}

TEST(HistoryStore, ADriveIsItsModelSerialAndFirmwareWhicheverSlotItIsRead) {
    HistoryDir dir;
    DriveRecord moving = test::RecordOfPage("WDC_WD20EARS-00MVWB0", 1, "WD-1");
    DriveRecord twin = test::RecordOfPage("WDC_WD20EARS-00MVWB0", 3, "WD-2");
    DriveRecord updated = moving; // the same drive after a firmware update
    updated.Drive.Firmware = "FW2";
    {
        HistoryStore store(dir.File());
        for (int tick = 0; tick < 10; ++tick) {
            moving.Slot = tick < 5 ? 1 : 3; // moved to slot 3 after five ticks...
            twin.Slot = tick < 5 ? 3 : 1;   // ...and its twin to slot 1
            moving.Temperature = 40 + tick;
            twin.Temperature = 20;
            ASSERT_TRUE(store.Record(TickRecord{HistoryStart + tick * 15, {moving, twin}}).Written);
        }
    }
    HistoryStore store(dir.File()); // and the program started again
    ASSERT_TRUE(store.Record(TickRecord{HistoryStart + 150, {updated}}).Written);
    const std::vector<KnownDrive> drives = store.Drives();
    ASSERT_EQ(drives.size(), 3u);
    EXPECT_EQ(drives[0].Drive, moving.Drive);
    EXPECT_EQ(drives[0].LastSlot, 3);
    EXPECT_EQ(drives[1].Drive, twin.Drive);
    EXPECT_EQ(drives[1].LastSlot, 1);
    EXPECT_EQ(drives[2].Drive, updated.Drive);
    const TemperatureSeries series = store.Temperatures(drives[0].Key, HistoryStart, HistoryStart + 200);
    ASSERT_EQ(series.Points.size(), 10u);
    for (int tick = 0; tick < 10; ++tick) {
        EXPECT_EQ(series.Points[tick].Average, 40 + tick);
        EXPECT_EQ(series.Points[tick].Slot, tick < 5 ? 1 : 3);
    }
    // Neither the move nor the new run wrote the unchanged attributes again.
    RawFile file(dir.File());
    EXPECT_EQ(file.Number("SELECT count(*) FROM attr WHERE drive = 1"),
              static_cast<int64_t>(moving.Attributes.size()));
}

// Sets FS_IMMUTABLE_FL (root cannot write such a file either); false where the
// file system does not have it.
bool SetImmutable(const std::string& path, bool on) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (done) {
        flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
        done = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    ::close(fd);
    return done;
}

// Quiet ticks wait in memory for the next write: a tick that changes a
// value (or the health, or a drive's slot), the first tick QuietWrite after
// the oldest held one, a query, or the store's end. Another reader sees them
// only then; none is lost.
TEST(HistoryStore, QuietTicksWaitForTheNextWriteAndNoneIsLost) {
    HistoryDir dir;
    StoreOptions options;
    options.QuietWrite = 300;
    DriveRecord ata = test::RecordOfPage("Hitachi_HDS721010CLA632", 1);
    ata.Temperature = 29;
    DriveRecord nvme;
    nvme.Drive = {"NVMe model", "NSERIAL", "FW"};
    nvme.Slot = 2;
    nvme.Temperature = 40;
    nvme.Counters = {{MediaErrorsCounter, 0}, {"Power-On Hours", 10}};
    RawFile file(dir.File());
    const auto inFile = [&] { return file.Number("SELECT count(DISTINCT t) FROM tick"); };
    int64_t recorded = 0;
    {
        HistoryStore store(dir.File(), options);
        Seconds t = HistoryStart;
        // Records a tick; every tick recorded is in the file or held.
        const auto record = [&](Seconds step) {
            t += step;
            const bool written = store.Record(TickRecord{t, {ata, nvme}}).Written;
            ++recorded;
            EXPECT_EQ(inFile() + static_cast<int64_t>(store.HeldTicks()), recorded) << t;
            EXPECT_EQ(store.HeldTicks() == 0, written) << t;
            return written;
        };
        EXPECT_TRUE(record(0)); // the drives are new
        // Temperatures alone: held, and no problem said.
        for (int i = 0; i < 3; ++i) {
            ata.Temperature = 30 + i;
            EXPECT_FALSE(record(15)) << i;
        }
        EXPECT_EQ(store.Problem(), StoreProblem::None);
        EXPECT_EQ(store.TakeNotice(), "");

        struct Change {
            const char* What;
            std::function<void()> Make;
        };
        const Change changes[] = {
            {"a raw value", [&] { ++test::AttributeOf(ata, 9)->Raw; }},
            {"a named counter", [&] { nvme.Counters[1].Value += 1; }},
            {"the health", [&] { nvme.Status = Health::Failing; }},
            {"a slot", [&] { ata.Slot = 3; }},
        };
        for (const Change& change : changes) {
            change.Make();
            EXPECT_TRUE(record(15)) << change.What;
            EXPECT_FALSE(record(15)) << change.What; // quiet again
        }
        // The oldest held tick has waited 300 s: written with the next one.
        const Seconds oldest = t;
        while (t + 15 < oldest + 300)
            ASSERT_FALSE(record(15)) << t - oldest;
        EXPECT_TRUE(record(15));
        // A query writes what is held first.
        EXPECT_FALSE(record(15));
        const int64_t key = store.FindDrive(ata.Drive).value().Key;
        EXPECT_EQ(store.HeldTicks(), 0u);
        EXPECT_EQ(store.Temperatures(key, HistoryStart, t + 1).Points.size(),
                  static_cast<size_t>(recorded));
        EXPECT_FALSE(record(15));
        EXPECT_FALSE(record(15));
    }
    // The store's end writes the last held ticks.
    EXPECT_EQ(inFile(), recorded);
}

struct FaultCase {
    const char* Name;
    // Prepares the fault on a file that holds two ticks; false to skip.
    std::function<bool(const HistoryDir&, std::unique_ptr<RawFile>&)> Make;
    std::function<void(const HistoryDir&, std::unique_ptr<RawFile>&)> Clear;
    bool TicksWritten;   // the ticks during the fault go into a file at once
    std::string Notice;  // said once at the first tick of the fault ("FILE" is the file)
    std::string Resumed; // said once when the fault ends
};

std::string WithFile(std::string text, const std::string& file) {
    for (size_t at; (at = text.find("FILE")) != std::string::npos;)
        text.replace(at, 4, file);
    return text;
}

TEST(HistoryStore, AFileThatIsLockedDamagedOrReadOnlyNeverStopsATickAndSaysOnceWhy) {
    const std::vector<FaultCase> cases = {
        {"locked by another writer",
         [](const HistoryDir& dir, std::unique_ptr<RawFile>& other) {
             other = std::make_unique<RawFile>(dir.File());
             return other->Exec("BEGIN EXCLUSIVE") == SQLITE_OK;
         },
         [](const HistoryDir&, std::unique_ptr<RawFile>& other) { other->Exec("COMMIT"); },
         false, "History is not being recorded: FILE is locked by another program",
         "History is being recorded again in FILE"},
        {"damaged",
         [](const HistoryDir& dir, std::unique_ptr<RawFile>&) {
             // Another program overwrote the file's header while this one was not running.
             std::fstream f(dir.File(), std::ios::in | std::ios::out | std::ios::binary);
             f.write("this is not a history file", 26);
             return true;
         },
         [](const HistoryDir&, std::unique_ptr<RawFile>&) {}, true,
         "The history file FILE was damaged: it was moved aside to FILE.corrupt-2026-12-01 and a "
         "new one started",
         ""},
        {"read-only",
         [](const HistoryDir& dir, std::unique_ptr<RawFile>&) {
             if (::geteuid() == 0)
                 return SetImmutable(dir.File(), true);
             return ::chmod(dir.File().c_str(), 0444) == 0;
         },
         [](const HistoryDir& dir, std::unique_ptr<RawFile>&) {
             if (::geteuid() == 0)
                 SetImmutable(dir.File(), false);
             else
                 ::chmod(dir.File().c_str(), 0644);
         },
         false, "History is not being recorded: FILE cannot be written",
         "History is being recorded again in FILE"},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.Name);
        HistoryDir dir;
        DriveRecord drive = test::RecordOfPage("Hitachi_HDS721010CLA632", 1);
        StoreOptions options;
        options.BusyTimeoutMs = 20;
        Seconds t = HistoryStart;
        {
            HistoryStore before(dir.File(), options);
            for (int i = 0; i < 2; ++i, t += 15)
                ASSERT_TRUE(before.Record(TickRecord{t, {drive}}).Written);
        }
        std::unique_ptr<RawFile> other;
        if (!c.Make(dir, other)) {
            ADD_FAILURE() << "could not make the fault";
            continue;
        }
        HistoryStore store(dir.File(), options);
        for (int i = 0; i < 3; ++i, t += 15) {
            drive.Temperature = 50 + i;
            const RecordOutcome outcome = store.Record(TickRecord{t, {drive}});
            EXPECT_EQ(outcome.Written, c.TicksWritten) << i;
            EXPECT_EQ(store.TakeNotice(), i == 0 ? WithFile(c.Notice, dir.File()) : "") << i;
        }
        if (c.TicksWritten) {
            // The damaged file is kept aside as it was; the new one has the ticks since.
            std::ifstream aside(dir.File() + ".corrupt-2026-12-01", std::ios::binary);
            std::string head(26, '\0');
            aside.read(head.data(), 26);
            EXPECT_EQ(head, "this is not a history file");
            EXPECT_EQ(store.Problem(), StoreProblem::None);
        } else {
            EXPECT_EQ(store.HeldTicks(), 3u);
            c.Clear(dir, other);
            other.reset();
            drive.Temperature = 60;
            EXPECT_TRUE(store.Record(TickRecord{t, {drive}}).Written);
            t += 15;
            EXPECT_EQ(store.TakeNotice(), WithFile(c.Resumed, dir.File()));
            EXPECT_EQ(store.HeldTicks(), 0u);
        }
        // What was held during the fault is in the file, nothing twice.
        const std::optional<KnownDrive> known = store.FindDrive(drive.Drive);
        ASSERT_TRUE(known);
        const TemperatureSeries series = store.Temperatures(known->Key, HistoryStart, t);
        std::vector<double> temperatures;
        for (const TemperaturePoint& p : series.Points)
            temperatures.push_back(p.Average);
        const std::vector<double> expected =
            c.TicksWritten ? std::vector<double>{50, 51, 52} : std::vector<double>{50, 51, 52, 60};
        EXPECT_EQ(temperatures, expected);
    }
}

TEST(HistoryStore, AFolderThatCannotHoldTheFileIsSaidOnceAndTicksGoOn) {
    // Under /proc nobody creates a file, root neither.
    HistoryStore store("/proc/self/quorvane/history.db", StoreOptions{});
    const DriveRecord drive = test::RecordOfPage("Hitachi_HDS721010CLA632", 1);
    EXPECT_FALSE(store.Record(TickRecord{HistoryStart, {drive}}).Written);
    const std::string notice = store.TakeNotice();
    EXPECT_EQ(notice.rfind("History is not being recorded: /proc/self/quorvane/history.db cannot be "
                           "opened (",
                           0),
              0u)
        << notice;
    EXPECT_FALSE(store.Record(TickRecord{HistoryStart + 15, {drive}}).Written);
    EXPECT_EQ(store.TakeNotice(), "");
    EXPECT_TRUE(store.Drives().empty());
}

} // namespace
} // namespace quorvane
