#include "history/Sqlite.h"

#include <sqlite3.h>

namespace quorvane::history {

Statement::Statement(sqlite3* db, std::string_view sql) {
    prepared_ = sqlite3_prepare_v2(db, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
    if (prepared_ != SQLITE_OK) {
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    } else if (stmt_ == nullptr) {
        prepared_ = SQLITE_MISUSE; // an empty statement
    }
}

Statement::~Statement() {
    sqlite3_finalize(stmt_);
}

Statement::Statement(Statement&& other) noexcept
    : stmt_(other.stmt_), prepared_(other.prepared_), used_(other.used_) {
    other.stmt_ = nullptr;
}

Statement& Statement::operator=(Statement&& other) noexcept {
    if (this != &other) {
        sqlite3_finalize(stmt_);
        stmt_ = other.stmt_;
        prepared_ = other.prepared_;
        used_ = other.used_;
        other.stmt_ = nullptr;
    }
    return *this;
}

Statement& Statement::Bind(int index, int64_t value) {
    if (used_)
        Reset();
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    if (used_)
        Reset();
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::BindNull(int index) {
    if (used_)
        Reset();
    sqlite3_bind_null(stmt_, index);
    return *this;
}

int Statement::Step() {
    if (stmt_ == nullptr)
        return prepared_ == SQLITE_OK ? SQLITE_MISUSE : prepared_;
    used_ = true;
    return sqlite3_step(stmt_);
}

int Statement::Run() {
    int code;
    while ((code = Step()) == SQLITE_ROW) {
    }
    Reset();
    return code;
}

void Statement::Reset() {
    if (stmt_ != nullptr)
        sqlite3_reset(stmt_);
    used_ = false;
}

int64_t Statement::Integer(int column) const {
    return stmt_ ? sqlite3_column_int64(stmt_, column) : 0;
}

double Statement::Real(int column) const {
    return stmt_ ? sqlite3_column_double(stmt_, column) : 0.0;
}

bool Statement::IsNull(int column) const {
    return stmt_ == nullptr || sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

std::string Statement::Text(int column) const {
    if (stmt_ == nullptr)
        return {};
    const unsigned char* text = sqlite3_column_text(stmt_, column);
    const int bytes = sqlite3_column_bytes(stmt_, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(bytes))
                : std::string();
}

int PrimaryCode(int code) {
    return code & 0xFF;
}

} // namespace quorvane::history
