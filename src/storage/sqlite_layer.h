// Thin helpers over SQLite's UTF-16 interface. Every failure becomes one
// error line in the trace and an empty result; nothing here throws.
#pragma once

#include "contract/unique_handle.h"

#include <sqlite3.h>

#include <cstddef>
#include <string>
#include <vector>

// Finalizing a null statement is harmless, so an empty Statement is simply
// the sign that preparation failed.
struct Statement_traits {
    using type = sqlite3_stmt*;
    static type invalid() { return nullptr; }
    static void close(type statement) { sqlite3_finalize(statement); }
};
using Statement = Unique_handle<Statement_traits>;

// sqlite3_close_v2, not sqlite3_close: the latter refuses while statements
// are alive and leaves the connection open; this one closes it as soon as
// the last statement is finalized.
struct Connection_traits {
    using type = sqlite3*;
    static type invalid() { return nullptr; }
    static void close(type db) { sqlite3_close_v2(db); }
};
using Connection = Unique_handle<Connection_traits>;

// UTF-16 code units and their count; `text` is null for an SQL NULL.
struct Text_view {
    const wchar_t* text = nullptr;
    std::size_t length = 0;
};

namespace SQLite {

// How long every connection waits for a lock that another connection (a
// second host process, a backup tool, a virus scanner) holds, before a
// statement fails with SQLITE_BUSY. Long enough to outlast a short write
// elsewhere, short enough that a dialog waiting on it does not look hung.
constexpr int busy_timeout_ms = 5000;

// `length` counts UTF-16 code units.
Statement prepare_statement(sqlite3* db, const wchar_t* sql, std::size_t length);
// Binds without copying: `text` must stay alive until the statement is stepped.
bool bind_string(sqlite3_stmt* statement, int index, const wchar_t* text, std::size_t length);
// Prepares, steps once and finalizes; rows of a query are ignored.
bool execute(sqlite3* db, const wchar_t* sql);
bool is_success(int result);
Text_view column_text(sqlite3_stmt* statement, int column);

// Opens the database file at `path`, creating it if missing. Every
// connection waits up to busy_timeout_ms for a busy database. A file the user
// marked read-only is opened read-only, so that nothing is written to it even
// where the process could (an administrator, Wine as root). A connection
// that failed to open is of no use: it is closed, and a null connection
// comes back with SQLite's message in `error`.
Connection open(const std::wstring& path, std::wstring& error);
// Opens an existing file read-only: nothing is created and nothing changed.
Connection open_read_only(const std::wstring& path, std::wstring& error);

// Opens a backup file read-only for checking before it may replace a
// working database: it must exist and pass SQLite's quick integrity check.
// A null connection with a readable reason naming the file otherwise.
Connection open_backup(const std::wstring& path, std::string& reason);

// The column names of `table`, in table order; false when there is no such
// table or it cannot be read.
bool table_columns(sqlite3* db, const char* table, std::vector<std::string>& columns);

// Whether `table` exists with exactly `expected` as its columns, in this
// order (the writing statements bind by position); false with a reason.
bool has_exact_columns(sqlite3* db, const char* table, const std::vector<std::string>& expected,
                       std::string& reason);

} // namespace SQLite
