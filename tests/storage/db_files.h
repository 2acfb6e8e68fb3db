// Small helpers for tests that look at database files from outside.
#pragma once

#include "contract/text_convert.h"
#include "storage/sqlite_layer.h"
#include "support/test_support.h"

#include <windows.h>

#include <string>

namespace Db_files {

inline Connection open_raw(const std::wstring& path) {
    sqlite3* raw = nullptr;
    sqlite3_open16(path.c_str(), &raw);
    return Connection(raw);
}

// The first column of the first row of UTF-8 SQL as text ("<null>" for
// NULL, "<none>" without a row, "<error>" on failure).
inline std::string scalar(sqlite3* db, const std::string& sql) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK)
        return "<error>";
    Statement statement(raw);
    int result = sqlite3_step(raw);
    if (result != SQLITE_ROW)
        return result == SQLITE_DONE ? "<none>" : "<error>";
    const unsigned char* text = sqlite3_column_text(raw, 0);
    return text ? reinterpret_cast<const char*>(text) : "<null>";
}

inline bool run(sqlite3* db, const std::string& sql) {
    return sqlite3_exec(db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

using Test_support::random_bytes;

inline bool set_read_only(const std::wstring& path, bool read_only) {
    return SetFileAttributesW(path.c_str(),
                              read_only ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL) != 0;
}

// SQLite opens its files without delete sharing: only a closed one goes.
inline bool can_delete(const std::wstring& path) {
    return DeleteFileW(path.c_str()) != 0;
}

} // namespace Db_files
