// A thin owner of a SQLite connection and its prepared statements: the store
// says what it wants in SQL and reads every result code, the wrapper only
// makes sure nothing leaks and nothing is read past a row.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace quorvane::history {

class Statement {
public:
    Statement() = default;
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&& other) noexcept;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    // The result code of preparing it (SQLITE_OK when it can run).
    int Prepared() const { return prepared_; }

    // Parameters are numbered from 1; binding resets a statement that ran.
    Statement& Bind(int index, int64_t value);
    Statement& Bind(int index, std::string_view text);
    Statement& BindNull(int index);
    Statement& Bind(int index, std::optional<int64_t> value) {
        return value ? Bind(index, *value) : BindNull(index);
    }

    // SQLITE_ROW, SQLITE_DONE or an error code.
    int Step();
    // Runs it to the end; SQLITE_DONE or the error.
    int Run();
    void Reset();

    // Columns of the current row, from 0.
    int64_t Integer(int column) const;
    double Real(int column) const;
    bool IsNull(int column) const;
    std::string Text(int column) const;

private:
    sqlite3_stmt* stmt_ = nullptr;
    int prepared_ = 0;
    bool used_ = false;
};

// The primary result code of a call (SQLITE_BUSY for SQLITE_BUSY_SNAPSHOT...).
int PrimaryCode(int code);

} // namespace quorvane::history
