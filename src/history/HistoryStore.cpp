#include "history/HistoryStore.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include "history/Sqlite.h"

namespace quorvane::history {

namespace {

constexpr int SchemaVersion = 1;

// Ticks are keyed by time first, so the drives of one tick share a page and a
// tick's commit writes few pages; attribute rows by drive and attribute, so
// the chart reads one range.
constexpr const char* Schema = R"sql(
CREATE TABLE drive(id INTEGER PRIMARY KEY, model TEXT NOT NULL, serial TEXT NOT NULL,
                   firmware TEXT NOT NULL, UNIQUE(model, serial, firmware));
CREATE TABLE counter_name(id INTEGER PRIMARY KEY, name TEXT NOT NULL UNIQUE);
CREATE TABLE tick(t INTEGER NOT NULL, drive INTEGER NOT NULL, slot INTEGER, temp INTEGER,
                  health INTEGER, PRIMARY KEY(t, drive)) WITHOUT ROWID;
CREATE TABLE hour(drive INTEGER NOT NULL, t INTEGER NOT NULL, slot INTEGER, tmin INTEGER,
                  tavg REAL, tmax INTEGER, health INTEGER, PRIMARY KEY(drive, t)) WITHOUT ROWID;
CREATE TABLE attr(drive INTEGER NOT NULL, id INTEGER NOT NULL, t INTEGER NOT NULL,
                  value INTEGER NOT NULL, raw INTEGER NOT NULL, PRIMARY KEY(drive, id, t))
                  WITHOUT ROWID;
CREATE TABLE rise(drive INTEGER NOT NULL, id INTEGER NOT NULL, warned_raw INTEGER NOT NULL,
                  from_raw INTEGER NOT NULL, to_raw INTEGER NOT NULL, warned_at INTEGER NOT NULL,
                  last_increase INTEGER NOT NULL, PRIMARY KEY(drive, id)) WITHOUT ROWID;
CREATE TABLE state(key TEXT PRIMARY KEY, value INTEGER) WITHOUT ROWID;
)sql";

// The distinct attribute ids of a drive, one index seek each.
constexpr const char* KeysSql = R"sql(
WITH RECURSIVE ids(id) AS (
  SELECT min(id) FROM attr WHERE drive = ?1
  UNION ALL
  SELECT (SELECT min(id) FROM attr WHERE drive = ?1 AND id > ids.id) FROM ids WHERE ids.id IS NOT NULL)
SELECT id FROM ids WHERE id IS NOT NULL)sql";

bool Failed(int code) {
    return code != SQLITE_OK && code != SQLITE_DONE && code != SQLITE_ROW;
}

bool IsCorrupt(int code) {
    const int primary = PrimaryCode(code);
    return primary == SQLITE_CORRUPT || primary == SQLITE_NOTADB;
}

// Raw values are unsigned; SQLite integers are signed 64-bit.
int64_t AsStored(uint64_t raw) {
    return static_cast<int64_t>(raw);
}
uint64_t AsRaw(int64_t stored) {
    return static_cast<uint64_t>(stored);
}

Seconds HourOf(Seconds t) {
    return t - ((t % HourSeconds) + HourSeconds) % HourSeconds;
}

std::string LocalDate(Seconds time) {
    const std::time_t t = static_cast<std::time_t>(time);
    std::tm local{};
    char text[16] = "unknown";
    if (localtime_r(&t, &local) != nullptr)
        std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return text;
}

bool Exists(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0;
}

// The folders above the file, made as needed.
void CreateFolders(const std::string& path) {
    for (size_t at = path.find('/', 1); at != std::string::npos; at = path.find('/', at + 1))
        ::mkdir(path.substr(0, at).c_str(), 0755);
}

} // namespace

struct HistoryStore::Statements {
    Statement InsertTick, InsertAttr, FindDrive, InsertDrive, LastValues, Baseline, FirstValue,
        SaveRise, LoadRises;
};

HistoryStore::HistoryStore(std::string path, StoreOptions options)
    : path_(std::move(path)), options_(options) {}

HistoryStore::~HistoryStore() {
    // The quiet ticks still held go in before the file is closed.
    WriteHeld();
    Close();
}

void HistoryStore::Close() {
    sql_.reset();
    if (db_ != nullptr)
        sqlite3_close_v2(db_);
    db_ = nullptr;
    drives_.clear();
    namedKeys_.clear();
    keyNames_.clear();
    rolledUpTo_ = -1;
}

int HistoryStore::Exec(const char* sql) {
    return sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
}

// Opens the file and makes its tables; the result code of the first step
// that failed.
int HistoryStore::Open() {
    if (!options_.ReadOnly)
        CreateFolders(path_);
    const int flags = options_.ReadOnly ? SQLITE_OPEN_READONLY
                                        : SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
    int code = sqlite3_open_v2(path_.c_str(), &db_, flags | SQLITE_OPEN_NOFOLLOW, nullptr);
    if (code != SQLITE_OK)
        return code;
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, options_.BusyTimeoutMs);
    // The first read of the file: a file that is no database says so here.
    Statement version(db_, "PRAGMA user_version");
    if (version.Prepared() != SQLITE_OK)
        return version.Prepared();
    code = version.Step();
    if (code != SQLITE_ROW)
        return code;
    const int64_t found = version.Integer(0);
    version.Reset();
    if (found > SchemaVersion)
        return SQLITE_FORMAT;
    if (options_.ReadOnly)
        return SQLITE_OK;
    if (Failed(code = Exec("PRAGMA journal_mode=WAL")))
        return code;
    if (Failed(code = Exec("PRAGMA synchronous=NORMAL")))
        return code;
    if (found == 0 && Failed(code = CreateSchema()))
        return code;
    if (sqlite3_db_readonly(db_, "main") == 1)
        return SQLITE_READONLY;

    sql_ = std::make_unique<Statements>();
    sql_->InsertTick = Statement(
        db_, "INSERT OR REPLACE INTO tick(t, drive, slot, temp, health) VALUES (?1, ?2, ?3, ?4, ?5)");
    sql_->InsertAttr = Statement(
        db_, "INSERT OR REPLACE INTO attr(drive, id, t, value, raw) VALUES (?1, ?2, ?3, ?4, ?5)");
    sql_->FindDrive =
        Statement(db_, "SELECT id FROM drive WHERE model = ?1 AND serial = ?2 AND firmware = ?3");
    sql_->InsertDrive =
        Statement(db_, "INSERT INTO drive(model, serial, firmware) VALUES (?1, ?2, ?3)");
    // The bare columns of a max() come from its row: each id's last value.
    sql_->LastValues =
        Statement(db_, "SELECT id, value, raw, max(t) FROM attr WHERE drive = ?1 GROUP BY id");
    sql_->Baseline = Statement(db_, "SELECT raw FROM attr WHERE drive = ?1 AND id = ?2 AND t <= ?3 "
                                    "ORDER BY t DESC LIMIT 1");
    sql_->FirstValue = Statement(
        db_, "SELECT raw FROM attr WHERE drive = ?1 AND id = ?2 ORDER BY t LIMIT 1");
    sql_->SaveRise = Statement(
        db_, "INSERT OR REPLACE INTO rise(drive, id, warned_raw, from_raw, to_raw, warned_at, "
             "last_increase) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)");
    sql_->LoadRises = Statement(db_, "SELECT id, warned_raw, from_raw, to_raw, warned_at, "
                                     "last_increase FROM rise WHERE drive = ?1");
    for (Statement* s : {&sql_->InsertTick, &sql_->InsertAttr, &sql_->FindDrive, &sql_->InsertDrive,
                         &sql_->LastValues, &sql_->Baseline, &sql_->FirstValue, &sql_->SaveRise,
                         &sql_->LoadRises}) {
        if (s->Prepared() != SQLITE_OK)
            return s->Prepared();
    }
    return SQLITE_OK;
}

int HistoryStore::CreateSchema() {
    int code = Exec("BEGIN IMMEDIATE");
    if (Failed(code))
        return code;
    // Another program may have made the tables while this one waited.
    Statement version(db_, "PRAGMA user_version");
    if (version.Step() == SQLITE_ROW && version.Integer(0) != 0)
        return Exec("COMMIT");
    version.Reset();
    if (Failed(code = Exec(Schema)) ||
        Failed(code = Exec(("PRAGMA user_version=" + std::to_string(SchemaVersion)).c_str()))) {
        Exec("ROLLBACK");
        return code;
    }
    return Exec("COMMIT");
}

// Opens the file when it is not open; a damaged file is moved aside and a new
// one started. False (with the problem set) when it cannot be used now.
bool HistoryStore::EnsureOpen(Seconds now) {
    if (db_ != nullptr)
        return true;
    int code = Open();
    if (IsCorrupt(code) && !options_.ReadOnly) {
        MoveAside(now);
        code = Open();
    }
    if (code == SQLITE_OK)
        return true;
    const int primary = PrimaryCode(code);
    const std::string reason = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
    Close();
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        SetProblem(StoreProblem::Locked, "");
    else if (primary == SQLITE_READONLY)
        SetProblem(StoreProblem::ReadOnly, "");
    else if (primary == SQLITE_FULL)
        SetProblem(StoreProblem::Full, "");
    else if (primary == SQLITE_FORMAT)
        SetProblem(StoreProblem::Newer, "");
    else if (primary == SQLITE_CANTOPEN)
        SetProblem(StoreProblem::CannotOpen,
                   errno != 0 ? std::strerror(errno) : std::string(reason));
    else
        SetProblem(StoreProblem::Failed, reason);
    return false;
}

void HistoryStore::MoveAside(Seconds now) {
    Close();
    const std::string base = path_ + ".corrupt-" + LocalDate(now);
    std::string aside = base;
    for (int n = 2; Exists(aside); ++n)
        aside = base + "-" + std::to_string(n);
    if (::rename(path_.c_str(), aside.c_str()) != 0) {
        SetProblem(StoreProblem::Failed,
                   "it is damaged and could not be moved aside (" +
                       std::string(std::strerror(errno)) + ")");
        return;
    }
    // The log belongs to the damaged file; the shared-memory index is rebuilt.
    ::rename((path_ + "-wal").c_str(), (aside + "-wal").c_str());
    ::unlink((path_ + "-shm").c_str());
    notice_ = "The history file " + path_ + " was damaged: it was moved aside to " + aside +
              " and a new one started";
}

void HistoryStore::SetProblem(StoreProblem problem, const std::string& reason) {
    if (problem == problem_)
        return;
    problem_ = problem;
    std::string why;
    switch (problem) {
    case StoreProblem::Locked: why = path_ + " is locked by another program"; break;
    case StoreProblem::Full: why = "the disk of " + path_ + " is full"; break;
    case StoreProblem::ReadOnly: why = path_ + " cannot be written"; break;
    case StoreProblem::CannotOpen: why = path_ + " cannot be opened (" + reason + ")"; break;
    case StoreProblem::Newer: why = path_ + " was made by a newer version of the program"; break;
    case StoreProblem::Failed: why = path_ + ": " + reason; break;
    case StoreProblem::None: return;
    }
    // A notice not yet taken (a damaged file moved aside) is said first.
    notice_ += (notice_.empty() ? "" : "\n") + ("History is not being recorded: " + why);
}

void HistoryStore::ClearProblem() {
    if (problem_ != StoreProblem::None)
        notice_ += (notice_.empty() ? "" : "\n") + ("History is being recorded again in " + path_);
    problem_ = StoreProblem::None;
}

std::string HistoryStore::TakeNotice() {
    std::string notice;
    notice.swap(notice_);
    return notice;
}

RecordOutcome HistoryStore::Record(const TickRecord& tick) {
    RecordOutcome outcome;
    if (options_.ReadOnly)
        return outcome;
    held_.push_back(tick);
    while (held_.size() > std::max<size_t>(options_.MaxHeldTicks, 1))
        held_.pop_front();
    if (!EnsureOpen(tick.Time))
        return outcome;
    // A quiet tick waits for the next write, unless the file is failing (then
    // every tick tries again) or the oldest held one has waited long enough.
    if (options_.QuietWrite > 0 && problem_ == StoreProblem::None &&
        tick.Time - held_.front().Time < options_.QuietWrite && IsQuiet(tick))
        return outcome;
    int code = Flush(outcome.Rises);
    if (IsCorrupt(code)) {
        MoveAside(tick.Time);
        code = EnsureOpen(tick.Time) ? Flush(outcome.Rises) : SQLITE_ERROR;
    }
    if (!Failed(code)) {
        held_.clear();
        outcome.Written = true;
        ClearProblem();
        return outcome;
    }
    outcome.Rises.clear();
    const int primary = PrimaryCode(code);
    if (db_ == nullptr)
        return outcome; // the problem is set already
    if (primary == SQLITE_BUSY || primary == SQLITE_LOCKED)
        SetProblem(StoreProblem::Locked, "");
    else if (primary == SQLITE_FULL)
        SetProblem(StoreProblem::Full, "");
    else if (primary == SQLITE_READONLY || primary == SQLITE_PERM || primary == SQLITE_AUTH)
        SetProblem(StoreProblem::ReadOnly, "");
    else
        SetProblem(StoreProblem::Failed, failure_);
    // What the file holds is read again when it can be written again.
    Close();
    return outcome;
}

// Writes the held ticks, and the roll-up they make due, in one transaction.
int HistoryStore::Flush(std::vector<CounterRise>& rises) {
    int code = Exec("BEGIN IMMEDIATE");
    if (Failed(code))
        return code;
    for (const TickRecord& tick : held_) {
        if (Failed(code = WriteTick(tick, rises)))
            break;
    }
    if (!Failed(code))
        code = RollUp(held_.back().Time);
    if (!Failed(code))
        code = Exec("COMMIT");
    if (Failed(code)) {
        failure_ = sqlite3_errmsg(db_);
        Exec("ROLLBACK");
        // The remembered values may hold what was rolled back.
        drives_.clear();
        namedKeys_.clear();
        rolledUpTo_ = -1;
    }
    return code;
}

bool HistoryStore::IsQuiet(const TickRecord& tick) const {
    for (const DriveRecord& drive : tick.Drives) {
        const auto found = drives_.find(drive.Drive);
        if (found == drives_.end())
            return false;
        const DriveState& state = found->second;
        if (!state.Written || state.Slot != drive.Slot || state.Status != drive.Status)
            return false;
        const auto same = [&state](CounterKey key, uint8_t value, uint64_t raw) {
            const auto last = state.Last.find(key);
            return last != state.Last.end() && last->second.Value == value &&
                   last->second.Raw == raw;
        };
        for (const AttributeReading& a : drive.Attributes) {
            if (a.Id != 0 && !same(a.Id, a.Value, a.Raw))
                return false;
        }
        for (const CounterReading& c : drive.Counters) {
            const auto key = namedKeys_.find(c.Name);
            if (key == namedKeys_.end() || !same(key->second, 0, c.Value))
                return false;
        }
    }
    return true;
}

void HistoryStore::WriteHeld() {
    if (held_.empty() || db_ == nullptr || problem_ != StoreProblem::None || options_.ReadOnly)
        return;
    std::vector<CounterRise> none; // quiet ticks raise nothing
    if (!Failed(Flush(none)))
        held_.clear();
}

bool HistoryStore::OpenForQuery() {
    if (!EnsureOpen(std::time(nullptr)))
        return false;
    WriteHeld();
    return true;
}

int HistoryStore::WriteTick(const TickRecord& tick, std::vector<CounterRise>& rises) {
    for (const DriveRecord& drive : tick.Drives) {
        DriveState* state = nullptr;
        int code = StateOf(drive.Drive, state);
        if (Failed(code))
            return code;
        const std::optional<int64_t> temperature =
            drive.Temperature ? std::optional<int64_t>(*drive.Temperature) : std::nullopt;
        code = sql_->InsertTick.Bind(1, tick.Time)
                   .Bind(2, state->Key)
                   .Bind(3, int64_t{drive.Slot})
                   .Bind(4, temperature)
                   .Bind(5, static_cast<int64_t>(drive.Status))
                   .Run();
        if (Failed(code))
            return code;
        state->Slot = drive.Slot;
        state->Status = drive.Status;
        state->Written = true;
        for (const AttributeReading& a : drive.Attributes) {
            if (a.Id == 0)
                continue;
            if (Failed(code = WriteValue(*state, drive, a.Id, a.Value, a.Raw, tick.Time, rises)))
                return code;
        }
        for (const CounterReading& c : drive.Counters) {
            CounterKey key = 0;
            if (Failed(code = NamedKey(c.Name, key)) ||
                Failed(code = WriteValue(*state, drive, key, 0, c.Value, tick.Time, rises)))
                return code;
        }
    }
    return SQLITE_OK;
}

// One value of one attribute: a row only when it changed, and the rule's
// verdict when a watched counter changed.
int HistoryStore::WriteValue(DriveState& state, const DriveRecord& drive, CounterKey key,
                             uint8_t value, uint64_t raw, Seconds time,
                             std::vector<CounterRise>& rises) {
    const auto last = state.Last.find(key);
    if (last != state.Last.end() && last->second.Value == value && last->second.Raw == raw)
        return SQLITE_OK;
    const bool watched = key < FirstNamedCounterKey ? IsRisingSectorAttribute(key)
                                                    : IsRisingCounterName(keyNames_[key]);
    const bool known = last != state.Last.end();
    const uint64_t previous = known ? last->second.Raw : raw;
    const bool judge = watched && known && previous != raw;
    // Read before this row goes in: a tick within the same second replaces
    // the row before it.
    uint64_t base = 0;
    int code = SQLITE_OK;
    if (judge && Failed(code = Baseline(state.Key, key, time - RiseWindow, base)))
        return code;
    code = sql_->InsertAttr.Bind(1, state.Key)
               .Bind(2, key)
               .Bind(3, time)
               .Bind(4, int64_t{value})
               .Bind(5, AsStored(raw))
               .Run();
    if (Failed(code))
        return code;
    state.Last[key] = Stored{value, raw};
    if (!judge)
        return SQLITE_OK;

    RiseMemory& memory = state.Rises[key];
    const bool rose = JudgeRise(base, previous, raw, time, memory);
    if (memory.Warned) {
        code = sql_->SaveRise.Bind(1, state.Key)
                   .Bind(2, key)
                   .Bind(3, AsStored(memory.WarnedRaw))
                   .Bind(4, AsStored(memory.From))
                   .Bind(5, AsStored(memory.To))
                   .Bind(6, memory.WarnedAt)
                   .Bind(7, memory.LastIncrease)
                   .Run();
        if (Failed(code))
            return code;
    }
    if (rose) {
        rises.push_back(CounterRise{drive.Drive, drive.Slot, key,
                                    CounterDisplayName(key, keyNames_[key]), memory.From,
                                    memory.To, time});
    }
    return SQLITE_OK;
}

// The raw value that stood at the moment, or the first one of a history
// younger than that.
int HistoryStore::Baseline(int64_t driveKey, CounterKey key, Seconds at, uint64_t& raw) {
    for (Statement* s : {&sql_->Baseline, &sql_->FirstValue}) {
        s->Bind(1, driveKey).Bind(2, key);
        if (s == &sql_->Baseline)
            s->Bind(3, at);
        const int code = s->Step();
        if (code == SQLITE_ROW)
            raw = AsRaw(s->Integer(0));
        s->Reset();
        if (code != SQLITE_DONE)
            return code == SQLITE_ROW ? SQLITE_OK : code;
    }
    return SQLITE_OK;
}

// The drive's row and remembered values, read from the file at its first
// tick in this run.
int HistoryStore::StateOf(const DriveIdentity& drive, DriveState*& state) {
    const auto found = drives_.find(drive);
    if (found != drives_.end()) {
        state = &found->second;
        return SQLITE_OK;
    }
    DriveState fresh;
    Statement& find = sql_->FindDrive;
    int code = find.Bind(1, drive.Model).Bind(2, drive.Serial).Bind(3, drive.Firmware).Step();
    if (code == SQLITE_ROW) {
        fresh.Key = find.Integer(0);
        find.Reset();
        if (Failed(code = LoadDrive(fresh)))
            return code;
    } else {
        find.Reset();
        if (Failed(code))
            return code;
        code = sql_->InsertDrive.Bind(1, drive.Model).Bind(2, drive.Serial).Bind(3, drive.Firmware).Run();
        if (Failed(code))
            return code;
        fresh.Key = sqlite3_last_insert_rowid(db_);
    }
    state = &drives_.emplace(drive, std::move(fresh)).first->second;
    return SQLITE_OK;
}

int HistoryStore::LoadDrive(DriveState& state) {
    Statement& last = sql_->LastValues;
    last.Bind(1, state.Key);
    int code;
    while ((code = last.Step()) == SQLITE_ROW)
        state.Last[last.Integer(0)] = Stored{static_cast<uint8_t>(last.Integer(1)), AsRaw(last.Integer(2))};
    last.Reset();
    if (code != SQLITE_DONE)
        return code;
    Statement& rises = sql_->LoadRises;
    rises.Bind(1, state.Key);
    while ((code = rises.Step()) == SQLITE_ROW) {
        RiseMemory& memory = state.Rises[rises.Integer(0)];
        memory.Warned = true;
        memory.WarnedRaw = AsRaw(rises.Integer(1));
        memory.From = AsRaw(rises.Integer(2));
        memory.To = AsRaw(rises.Integer(3));
        memory.WarnedAt = rises.Integer(4);
        memory.LastIncrease = rises.Integer(5);
    }
    rises.Reset();
    if (code != SQLITE_DONE)
        return code;
    // The names of the drive's counters, for the rule and the texts.
    for (const auto& [key, stored] : state.Last) {
        if (key >= FirstNamedCounterKey && !keyNames_.count(key))
            CounterName(key);
    }
    return SQLITE_OK;
}

int HistoryStore::NamedKey(const std::string& name, CounterKey& key) {
    if (const auto found = namedKeys_.find(name); found != namedKeys_.end()) {
        key = found->second;
        return SQLITE_OK;
    }
    Statement find(db_, "SELECT id FROM counter_name WHERE name = ?1");
    find.Bind(1, name);
    int code = find.Step();
    if (code == SQLITE_ROW) {
        key = find.Integer(0);
    } else if (code == SQLITE_DONE) {
        Statement add(db_, "INSERT INTO counter_name(id, name) SELECT max(?2, coalesce(max(id), 0) + 1), ?1 "
                           "FROM counter_name");
        code = add.Bind(1, name).Bind(2, FirstNamedCounterKey).Run();
        if (Failed(code))
            return code;
        key = sqlite3_last_insert_rowid(db_);
    } else {
        return code;
    }
    namedKeys_[name] = key;
    keyNames_[key] = name;
    return SQLITE_OK;
}

int64_t HistoryStore::StateValue(const char* key, int64_t fallback) {
    Statement read(db_, "SELECT value FROM state WHERE key = ?1");
    read.Bind(1, std::string_view(key));
    return read.Step() == SQLITE_ROW ? read.Integer(0) : fallback;
}

int HistoryStore::SetStateValue(const char* key, int64_t value) {
    Statement write(db_, "INSERT OR REPLACE INTO state(key, value) VALUES (?1, ?2)");
    return write.Bind(1, std::string_view(key)).Bind(2, value).Run();
}

std::vector<CounterKey> HistoryStore::KeysOf(int64_t driveKey) {
    std::vector<CounterKey> keys;
    Statement ids(db_, KeysSql);
    ids.Bind(1, driveKey);
    while (ids.Step() == SQLITE_ROW)
        keys.push_back(ids.Integer(0));
    return keys;
}

// Once an hour: hour rows for the hours that ended, and the tick and
// attribute rows that passed the retention thinned out.
int HistoryStore::RollUp(Seconds now) {
    const Seconds hour = HourOf(now);
    if (rolledUpTo_ < 0)
        rolledUpTo_ = StateValue("rolled_up_to", -1);
    if (rolledUpTo_ >= hour)
        return SQLITE_OK;
    int code;
    Statement hours(db_, R"sql(
INSERT OR REPLACE INTO hour(drive, t, slot, tmin, tavg, tmax, health)
SELECT g.drive, g.h,
       (SELECT slot FROM tick AS last WHERE last.t >= g.h AND last.t < g.h + 3600
        AND last.drive = g.drive ORDER BY last.t DESC LIMIT 1),
       g.tmin, g.tavg, g.tmax, g.health
FROM (SELECT drive, t - t % 3600 AS h, min(temp) AS tmin, avg(temp) AS tavg, max(temp) AS tmax,
             max(health) AS health
      FROM tick WHERE t >= ?1 AND t < ?2 GROUP BY drive, h) AS g)sql");
    if (Failed(code = hours.Bind(1, std::max<int64_t>(rolledUpTo_, 0)).Bind(2, hour).Run()))
        return code;
    if (Failed(code = SetStateValue("rolled_up_to", hour)))
        return code;
    rolledUpTo_ = hour;

    const Seconds cutoff = HourOf(now - options_.TickRetention);
    Statement ticks(db_, "DELETE FROM tick WHERE t < ?1");
    if (Failed(code = ticks.Bind(1, cutoff).Run()))
        return code;
    const int64_t thinned = StateValue("thinned_to", 0);
    if (thinned >= cutoff)
        return SQLITE_OK;
    // Of the rows older than the retention, the last of each hour stays.
    Statement thin(db_, R"sql(
DELETE FROM attr WHERE drive = ?1 AND id = ?2 AND t >= ?3 AND t < ?4 AND EXISTS (
  SELECT 1 FROM attr AS later WHERE later.drive = ?1 AND later.id = ?2
  AND later.t > attr.t AND later.t < attr.t - attr.t % 3600 + 3600))sql");
    Statement drives(db_, "SELECT id FROM drive");
    std::vector<int64_t> driveKeys;
    while ((code = drives.Step()) == SQLITE_ROW)
        driveKeys.push_back(drives.Integer(0));
    if (code != SQLITE_DONE)
        return code;
    for (const int64_t drive : driveKeys) {
        for (const CounterKey key : KeysOf(drive)) {
            code = thin.Bind(1, drive).Bind(2, key).Bind(3, thinned).Bind(4, cutoff).Run();
            if (Failed(code))
                return code;
        }
    }
    return SetStateValue("thinned_to", cutoff);
}

std::vector<KnownDrive> HistoryStore::Drives() {
    std::vector<KnownDrive> drives;
    if (!OpenForQuery())
        return drives;
    Statement list(db_, R"sql(
SELECT d.id, d.model, d.serial, d.firmware,
  coalesce((SELECT slot FROM tick WHERE drive = d.id ORDER BY t DESC LIMIT 1),
           (SELECT slot FROM hour WHERE drive = d.id ORDER BY t DESC LIMIT 1), 0),
  min(coalesce((SELECT min(t) FROM hour WHERE drive = d.id), 9223372036854775807),
      coalesce((SELECT min(t) FROM tick WHERE drive = d.id), 9223372036854775807)),
  max(coalesce((SELECT max(t) + 3599 FROM hour WHERE drive = d.id), 0),
      coalesce((SELECT max(t) FROM tick WHERE drive = d.id), 0))
FROM drive AS d ORDER BY d.id)sql");
    while (list.Step() == SQLITE_ROW) {
        KnownDrive drive;
        drive.Key = list.Integer(0);
        drive.Drive = {list.Text(1), list.Text(2), list.Text(3)};
        drive.LastSlot = static_cast<int>(list.Integer(4));
        drive.First = list.Integer(5);
        drive.Last = list.Integer(6);
        if (drive.Last == 0)
            drive.First = 0;
        drives.push_back(std::move(drive));
    }
    return drives;
}

std::optional<KnownDrive> HistoryStore::FindDrive(const DriveIdentity& drive) {
    for (KnownDrive& known : Drives()) {
        if (known.Drive == drive)
            return known;
    }
    return std::nullopt;
}

TemperatureSeries HistoryStore::Temperatures(int64_t driveKey, Seconds from, Seconds to) {
    TemperatureSeries series;
    if (!OpenForQuery())
        return series;
    series.Hourly = to - from > 2 * DaySeconds;
    // Hour rows, then the hours not rolled up yet made from their ticks.
    Statement points(db_, series.Hourly ? R"sql(
SELECT t, tavg, tmin, tmax, health, slot FROM hour
  WHERE drive = ?1 AND t >= ?2 AND t < ?3 AND tavg IS NOT NULL
UNION ALL
SELECT t - t % 3600 AS h, avg(temp), min(temp), max(temp), max(health), max(slot) FROM tick
  WHERE drive = ?1 AND t >= max(?2, coalesce((SELECT value FROM state WHERE key = 'rolled_up_to'), 0))
  AND t < ?3 AND temp IS NOT NULL GROUP BY h
ORDER BY 1)sql"
                                        : R"sql(
SELECT t, temp, temp, temp, health, slot FROM tick
  WHERE t >= ?2 AND t < ?3 AND drive = ?1 AND temp IS NOT NULL ORDER BY t)sql");
    points.Bind(1, driveKey).Bind(2, from).Bind(3, to);
    while (points.Step() == SQLITE_ROW) {
        TemperaturePoint p;
        p.Time = points.Integer(0);
        p.Average = points.Real(1);
        p.Min = static_cast<int>(points.Integer(2));
        p.Max = static_cast<int>(points.Integer(3));
        const int64_t health = points.Integer(4);
        p.Status = health == 1 ? Health::Ok : health == 2 ? Health::Failing : Health::Unknown;
        p.Slot = static_cast<int>(points.Integer(5));
        series.Points.push_back(p);
    }
    return series;
}

std::vector<AttributePoint> HistoryStore::Attribute(int64_t driveKey, CounterKey key, Seconds from,
                                                    Seconds to) {
    std::vector<AttributePoint> values;
    if (!OpenForQuery())
        return values;
    Statement rows(db_, R"sql(
SELECT * FROM (SELECT t, value, raw FROM attr WHERE drive = ?1 AND id = ?2 AND t < ?3
               ORDER BY t DESC LIMIT 1)
UNION ALL
SELECT t, value, raw FROM attr WHERE drive = ?1 AND id = ?2 AND t >= ?3 AND t < ?4
ORDER BY 1)sql");
    rows.Bind(1, driveKey).Bind(2, key).Bind(3, from).Bind(4, to);
    while (rows.Step() == SQLITE_ROW) {
        values.push_back(AttributePoint{rows.Integer(0), static_cast<uint8_t>(rows.Integer(1)),
                                        AsRaw(rows.Integer(2))});
    }
    return values;
}

std::vector<AttributeChange> HistoryStore::Changes(int64_t driveKey, std::optional<CounterKey> key,
                                                   Seconds from, Seconds to) {
    std::vector<AttributeChange> changes;
    if (!OpenForQuery())
        return changes;
    const std::vector<CounterKey> keys =
        key ? std::vector<CounterKey>{*key} : KeysOf(driveKey);
    for (const CounterKey k : keys) {
        const std::vector<AttributePoint> values = Attribute(driveKey, k, from, to);
        for (size_t i = 1; i < values.size(); ++i) {
            const AttributePoint& was = values[i - 1];
            const AttributePoint& now = values[i];
            if (now.Time < from || (was.Value == now.Value && was.Raw == now.Raw))
                continue;
            changes.push_back(AttributeChange{now.Time, k, was.Value, now.Value, was.Raw, now.Raw});
        }
    }
    std::stable_sort(changes.begin(), changes.end(),
                     [](const AttributeChange& a, const AttributeChange& b) { return a.Time < b.Time; });
    return changes;
}

std::vector<CounterKey> HistoryStore::AttributeKeys(int64_t driveKey) {
    if (!OpenForQuery())
        return {};
    return KeysOf(driveKey);
}

std::string HistoryStore::CounterName(CounterKey key) {
    if (key < FirstNamedCounterKey)
        return CounterDisplayName(key);
    if (const auto found = keyNames_.find(key); found != keyNames_.end())
        return found->second;
    std::string name = "Counter " + std::to_string(key);
    if (db_ != nullptr) {
        Statement find(db_, "SELECT name FROM counter_name WHERE id = ?1");
        find.Bind(1, key);
        if (find.Step() == SQLITE_ROW) {
            name = find.Text(0);
            keyNames_[key] = name;
            namedKeys_[name] = key;
        }
    }
    return name;
}

std::vector<CounterRise> HistoryStore::Rising(const DriveIdentity& drive, Seconds now) {
    std::vector<CounterRise> rising;
    std::map<CounterKey, RiseMemory> memories;
    int slot = 0;
    if (const auto found = drives_.find(drive); found != drives_.end()) {
        memories = found->second.Rises;
        slot = found->second.Slot;
    } else if (const std::optional<KnownDrive> known = FindDrive(drive)) {
        Statement rises(db_, "SELECT id, warned_raw, from_raw, to_raw, warned_at, last_increase "
                             "FROM rise WHERE drive = ?1");
        rises.Bind(1, known->Key);
        while (rises.Step() == SQLITE_ROW) {
            RiseMemory& memory = memories[rises.Integer(0)];
            memory.Warned = true;
            memory.From = AsRaw(rises.Integer(2));
            memory.To = AsRaw(rises.Integer(3));
            memory.WarnedAt = rises.Integer(4);
            memory.LastIncrease = rises.Integer(5);
        }
        slot = known->LastSlot;
    }
    for (const auto& [key, memory] : memories) {
        if (StillRising(memory, now))
            rising.push_back(CounterRise{drive, slot, key, CounterName(key), memory.From, memory.To,
                                         memory.WarnedAt});
    }
    return rising;
}

std::string ChangeText(const AttributeChange& change, const std::string& name) {
    const bool raw = change.OldRaw != change.NewRaw;
    const uint64_t was = raw ? change.OldRaw : change.OldValue;
    const uint64_t now = raw ? change.NewRaw : change.NewValue;
    return name + (raw ? " raw " : " value ") + std::to_string(was) + " -> " + std::to_string(now) +
           ", " + HistoryTimeText(change.Time);
}

} // namespace quorvane::history
