// The history file: every drive a monitoring tick read, kept in an embedded
// SQLite database (WAL, one transaction per tick).
//
//  - tick rows: time, slot, temperature and health of each drive read, kept
//    for 7 days; hour rows (temperature min/avg/max, the worst health) are
//    made as each hour ends and kept for ever;
//  - attribute rows only where a normalised or raw value changed since the
//    drive's last row, so a quiet drive costs one small tick row; once older
//    than 7 days only the last row of each hour of each attribute is kept,
//    so every hour in which a value changed still shows the change;
//  - a drive is its model, serial number and firmware, not its slot.
//
// A file that is locked, damaged, on a full disk or unwritable never stops the
// caller: Record returns, the tick is held (up to an hour of ticks) for the
// next transaction that succeeds, and TakeNotice says once why history is not
// recorded. A damaged file is moved aside to FILE.corrupt-DATE and a new one
// started.
#pragma once

#include <cstddef>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "history/HistoryTypes.h"
#include "history/RisingCounters.h"

struct sqlite3;

namespace quorvane::history {

class Statement;

struct StoreOptions {
    int BusyTimeoutMs = 250;                  // how long a tick waits for another writer
    Seconds TickRetention = 7 * DaySeconds;   // tick rows and every attribute row
    size_t MaxHeldTicks = 240;                // ticks held while the file cannot be written
    bool ReadOnly = false;                    // for queries only: never create or write
    // A quiet tick (nothing but its tick rows: every drive known, in its
    // slot, with its health and every value as last written) is held in
    // memory, and written with the next tick that changes something, the
    // first tick this long after the oldest held one, a query, or the
    // store's end. 0 writes every tick at once.
    Seconds QuietWrite = 0;
};

enum class StoreProblem { None, Locked, Full, ReadOnly, CannotOpen, Newer, Failed };

struct RecordOutcome {
    // This tick, and every one held before it, is in the file; false for a
    // quiet tick held on purpose too (Problem() tells the two apart).
    bool Written = false;
    std::vector<CounterRise> Rises;  // counters that rose in the ticks just written
};

class HistoryStore {
public:
    explicit HistoryStore(std::string path, StoreOptions options = {});
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    const std::string& Path() const { return path_; }

    // Records one tick. Never throws and never blocks for longer than the
    // busy time-out.
    RecordOutcome Record(const TickRecord& tick);

    // What changed in recording since the last call, once: why history is not
    // being recorded, that a damaged file was moved aside, that recording
    // goes on again. Empty when there is nothing new to say.
    std::string TakeNotice();
    StoreProblem Problem() const { return problem_; }
    size_t HeldTicks() const { return held_.size(); }

    // Queries; a file that cannot be read gives nothing.
    std::vector<KnownDrive> Drives();
    std::optional<KnownDrive> FindDrive(const DriveIdentity& drive);
    // Tick points for a span up to two days, hour points (with the min/max
    // band) for longer ones; from <= time < to.
    TemperatureSeries Temperatures(int64_t driveKey, Seconds from, Seconds to);
    // The stored values of one attribute in [from, to), led by the value that
    // stood at from when there is one.
    std::vector<AttributePoint> Attribute(int64_t driveKey, CounterKey key, Seconds from,
                                          Seconds to);
    // Every change of a normalised or raw value in [from, to), oldest first;
    // of one attribute when key is given.
    std::vector<AttributeChange> Changes(int64_t driveKey, std::optional<CounterKey> key,
                                         Seconds from, Seconds to);
    // The attributes and counters with a history for the drive, by key.
    std::vector<CounterKey> AttributeKeys(int64_t driveKey);
    // "05h Reallocated Sector Count", or a named counter's name.
    std::string CounterName(CounterKey key);
    // The warned counters of the drive that have not been flat for 7 days.
    std::vector<CounterRise> Rising(const DriveIdentity& drive, Seconds now);

private:
    struct Stored {
        uint8_t Value = 0;
        uint64_t Raw = 0;
    };
    struct DriveState {
        int64_t Key = 0;
        std::map<CounterKey, Stored> Last;
        std::map<CounterKey, RiseMemory> Rises;
        int Slot = 0;
        Health Status = Health::Ok; // as last written
        bool Written = false;       // a tick row of it went in since it was loaded
    };
    struct Statements;

    bool EnsureOpen(Seconds now);
    // Open, with the quiet ticks held so far written, for a query.
    bool OpenForQuery();
    void WriteHeld();
    bool IsQuiet(const TickRecord& tick) const;
    int Open();
    int CreateSchema();
    void Close();
    void MoveAside(Seconds now);
    int Flush(std::vector<CounterRise>& rises);
    int WriteTick(const TickRecord& tick, std::vector<CounterRise>& rises);
    int WriteValue(DriveState& state, const DriveRecord& drive, CounterKey key, uint8_t value,
                   uint64_t raw, Seconds time, std::vector<CounterRise>& rises);
    int Baseline(int64_t driveKey, CounterKey key, Seconds at, uint64_t& raw);
    int RollUp(Seconds now);
    int StateOf(const DriveIdentity& drive, DriveState*& state);
    int LoadDrive(DriveState& state);
    int NamedKey(const std::string& name, CounterKey& key);
    int Exec(const char* sql);
    int64_t StateValue(const char* key, int64_t fallback);
    int SetStateValue(const char* key, int64_t value);
    std::vector<CounterKey> KeysOf(int64_t driveKey);
    void SetProblem(StoreProblem problem, const std::string& reason);
    void ClearProblem();

    std::string path_;
    StoreOptions options_;
    sqlite3* db_ = nullptr;
    std::unique_ptr<Statements> sql_;
    std::deque<TickRecord> held_;
    std::map<DriveIdentity, DriveState> drives_;
    std::map<std::string, CounterKey> namedKeys_;
    std::map<CounterKey, std::string> keyNames_;
    int64_t rolledUpTo_ = -1; // the hour up to which hour rows are made; -1 unread
    StoreProblem problem_ = StoreProblem::None;
    std::string notice_;
    std::string failure_; // what SQLite said of the last transaction that failed
};

// The text of one change: "05h Reallocated Sector Count raw 0 -> 8,
// 2026-12-03 14:20" (the normalised value when only that changed).
std::string ChangeText(const AttributeChange& change, const std::string& name);

} // namespace quorvane::history
