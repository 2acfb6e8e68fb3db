// Thin helpers over SQLite's UTF-16 interface. Every failure becomes one
// error line in the trace and an empty result; nothing here throws.
#pragma once

#include <sqlite3.h>

#include <cstddef>
#include <memory>

// Owns one prepared statement; finalizing a null statement is harmless, so
// an empty Statement is simply the sign that preparation failed.
class Statement {
public:
    Statement() noexcept = default;
    explicit Statement(sqlite3_stmt* statement) noexcept : statement_(statement) {}
    ~Statement() { sqlite3_finalize(statement_); }
    Statement(Statement&& other) noexcept : statement_(other.release()) {}
    Statement& operator=(Statement&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    sqlite3_stmt* get() const noexcept { return statement_; }
    explicit operator bool() const noexcept { return statement_ != nullptr; }
    void reset(sqlite3_stmt* statement = nullptr) noexcept {
        sqlite3_finalize(statement_);
        statement_ = statement;
    }
    sqlite3_stmt* release() noexcept {
        sqlite3_stmt* held = statement_;
        statement_ = nullptr;
        return held;
    }

private:
    sqlite3_stmt* statement_ = nullptr;
};

// Connection owners. sqlite3_close refuses while statements are alive;
// sqlite3_close_v2 defers the close until the last one is finalized.
struct Close_connection {
    void operator()(sqlite3* db) const noexcept { sqlite3_close(db); }
};
struct Close_connection_v2 {
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, Close_connection>;
using Connection_v2 = std::unique_ptr<sqlite3, Close_connection_v2>;

// UTF-16 code units and their count; `text` is null for an SQL NULL.
struct Text_view {
    const wchar_t* text = nullptr;
    std::size_t length = 0;
};

namespace SQLite {

// `length` counts UTF-16 code units.
Statement prepare_statement(sqlite3* db, const wchar_t* sql, std::size_t length);
// Binds without copying: `text` must stay alive until the statement is stepped.
bool bind_string(sqlite3_stmt* statement, int index, const wchar_t* text, std::size_t length);
// Prepares, steps once and finalizes; rows of a query are ignored.
bool execute(sqlite3* db, const wchar_t* sql);
bool is_success(int result);
Text_view column_text(sqlite3_stmt* statement, int column);

} // namespace SQLite
