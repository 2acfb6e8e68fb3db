#include "storage/sqlite_layer.h"

#include "contract/text_convert.h"
#include "trace/trace.h"

#include <windows.h>

#include <climits>
#include <cwchar>

namespace SQLite {

namespace {

// SQLite takes byte counts as int; a text that long cannot be handed over.
bool byte_count_of(std::size_t length, int& bytes) {
    if (length > static_cast<std::size_t>(INT_MAX / 2))
        return false;
    bytes = static_cast<int>(length * 2);
    return true;
}

const wchar_t* error_text(sqlite3* db) {
    const void* message = sqlite3_errmsg16(db);
    return message ? static_cast<const wchar_t*>(message) : L"(no message)";
}

} // namespace

Statement prepare_statement(sqlite3* db, const wchar_t* sql, std::size_t length) {
    int bytes = 0;
    if (!sql || !byte_count_of(length, bytes)) {
        Trace::error("SQLite::prepare_statement")
            << "SQLite error: statement text missing or too long (" << length << " characters)";
        Trace::get()->flush();
        return Statement();
    }
    sqlite3_stmt* statement = nullptr;
    int result = sqlite3_prepare16_v2(db, sql, bytes, &statement, nullptr);
    if (result == SQLITE_OK)
        return Statement(statement);
    sqlite3_finalize(statement);
    Trace::error("SQLite::prepare_statement")
        << "SQLite error: " << error_text(db) << " for query '" << std::wstring(sql, length) << "'";
    Trace::get()->flush();
    return Statement();
}

bool bind_string(sqlite3_stmt* statement, int index, const wchar_t* text, std::size_t length) {
    int bytes = 0;
    int result = SQLITE_TOOBIG;
    if (byte_count_of(length, bytes))
        result = sqlite3_bind_text16(statement, index, text, bytes, SQLITE_STATIC);
    if (result == SQLITE_OK)
        return true;
    {
        Trace::Line line = Trace::error("SQLite::bind_string");
        line << "Error binding string to stmt " << static_cast<const void*>(statement)
             << "code: " << static_cast<std::int32_t>(result) << " string: '";
        line.text(text, text ? length : 0);
        line << "' byte_count: " << static_cast<std::uint64_t>(length) * 2;
    } // the line is written when it ends, before the flush
    Trace::get()->flush();
    return false;
}

bool execute(sqlite3* db, const wchar_t* sql) {
    if (!sql)
        return false;
    Statement statement = prepare_statement(db, sql, std::wcslen(sql));
    if (!statement)
        return false;
    return is_success(sqlite3_step(statement.get()));
}

bool is_success(int result) {
    return result == SQLITE_OK || result == SQLITE_ROW || result == SQLITE_DONE;
}

Text_view column_text(sqlite3_stmt* statement, int column) {
    const void* text = sqlite3_column_text16(statement, column);
    if (!text)
        return {};
    const wchar_t* wide = static_cast<const wchar_t*>(text);
    return {wide, std::wcslen(wide)};
}

namespace {

Connection opened_or_null(int result, sqlite3* raw, std::wstring& error) {
    Connection db(raw);
    if (result == SQLITE_OK && db) {
        sqlite3_busy_timeout(db.get(), busy_timeout_ms);
        return db;
    }
    const void* message = db ? sqlite3_errmsg16(db.get()) : nullptr;
    error = message ? static_cast<const wchar_t*>(message) : L"out of memory";
    return Connection();
}

} // namespace

Connection open(const std::wstring& path, std::wstring& error) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        return open_read_only(path, error);
    sqlite3* raw = nullptr;
    const int result = sqlite3_open16(path.c_str(), &raw);
    return opened_or_null(result, raw, error);
}

Connection open_read_only(const std::wstring& path, std::wstring& error) {
    sqlite3* raw = nullptr;
    const int result =
        sqlite3_open_v2(utf16_to_utf8(path).c_str(), &raw, SQLITE_OPEN_READONLY, nullptr);
    return opened_or_null(result, raw, error);
}

Connection open_backup(const std::wstring& path, std::string& reason) {
    const std::string name = utf16_to_utf8(path);
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        reason = "no backup file " + name;
        return Connection();
    }
    std::wstring error;
    Connection db = open_read_only(path, error);
    if (!db) {
        reason = "cannot open " + name + ": " + utf16_to_utf8(error);
        return Connection();
    }
    sqlite3_stmt* raw = nullptr;
    const int prepared = sqlite3_prepare_v2(db.get(), "PRAGMA quick_check;", -1, &raw, nullptr);
    Statement statement(raw);
    const int stepped = prepared == SQLITE_OK ? sqlite3_step(raw) : prepared;
    if (stepped != SQLITE_ROW) {
        reason = name + " is not a readable database: " + sqlite3_errmsg(db.get());
        return Connection();
    }
    const unsigned char* verdict = sqlite3_column_text(raw, 0);
    if (!verdict || std::string(reinterpret_cast<const char*>(verdict)) != "ok") {
        reason = name + " is damaged: " +
                 (verdict ? reinterpret_cast<const char*>(verdict) : "(no verdict)");
        return Connection();
    }
    return db;
}

bool table_columns(sqlite3* db, const char* table, std::vector<std::string>& columns) {
    columns.clear();
    sqlite3_stmt* raw = nullptr;
    // table_info answers no rows, not an error, for a missing table.
    if (sqlite3_prepare_v2(db, "SELECT name FROM pragma_table_info(?1);", -1, &raw, nullptr) !=
        SQLITE_OK) {
        sqlite3_finalize(raw);
        return false;
    }
    Statement statement(raw);
    sqlite3_bind_text(raw, 1, table, -1, SQLITE_STATIC);
    int result;
    while ((result = sqlite3_step(raw)) == SQLITE_ROW) {
        const unsigned char* name = sqlite3_column_text(raw, 0);
        columns.push_back(name ? reinterpret_cast<const char*>(name) : "");
    }
    return result == SQLITE_DONE && !columns.empty();
}

bool has_exact_columns(sqlite3* db, const char* table, const std::vector<std::string>& expected,
                       std::string& reason) {
    std::vector<std::string> columns;
    if (!table_columns(db, table, columns)) {
        reason = std::string("no table ") + table;
        return false;
    }
    if (columns == expected)
        return true;
    reason = std::string("table ") + table + " has the columns";
    for (const std::string& column : columns)
        reason += " " + column;
    reason += ", expected";
    for (const std::string& column : expected)
        reason += " " + column;
    return false;
}

} // namespace SQLite
