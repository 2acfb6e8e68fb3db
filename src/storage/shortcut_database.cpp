#include "storage/shortcut_database.h"

#include "contract/text_convert.h"
#include "trace/trace.h"

#include <windows.h>

#include <limits>
#include <stdexcept>
#include <string_view>

namespace {

Statement prepare(sqlite3* db, std::wstring_view sql) {
    return SQLite::prepare_statement(db, sql.data(), sql.size());
}

// Resets and unbinds on every exit, so a statement never keeps pointers to
// texts that are gone and is ready for its next use.
class Reset_on_exit {
public:
    explicit Reset_on_exit(sqlite3_stmt* statement) : statement_(statement) {}
    ~Reset_on_exit() {
        sqlite3_reset(statement_);
        sqlite3_clear_bindings(statement_);
    }
    Reset_on_exit(const Reset_on_exit&) = delete;
    Reset_on_exit& operator=(const Reset_on_exit&) = delete;

private:
    sqlite3_stmt* statement_;
};

const wchar_t* error_text(sqlite3* db) {
    const void* message = sqlite3_errmsg16(db);
    return message ? static_cast<const wchar_t*>(message) : L"";
}

} // namespace

Shortcut_database::Shortcut_database(std::wstring path) : path_(std::move(path)) {
    if (!path_.empty()) {
        std::wstring error;
        db_ = SQLite::open(path_, error);
        if (!db_)
            Trace::error("Shortcut_database::Shortcut_database")
                << L"Cannot open key-binding database " << path_ << L": " << error;
    }
    if (!db_)
        throw std::runtime_error("Failed to open db");
    SQLite::execute(db_.get(), L"CREATE TABLE IF NOT EXISTS key_bindings ( key INTEGER PRIMARY "
                               L"KEY, ident TEXT NOT NULL, name TEXT NOT NULL );");
    select_all_ = prepare(db_.get(), L"SELECT key, ident, name FROM key_bindings;");
    insert_ = prepare(db_.get(), L"INSERT OR REPLACE INTO key_bindings VALUES (?1,?2,?3);");
    delete_key_ = prepare(db_.get(), L"DELETE FROM key_bindings WHERE key=?1;");
    delete_ident_ = prepare(db_.get(), L"DELETE FROM key_bindings WHERE ident=?1;");
    if (!insert_ || !delete_key_ || !delete_ident_) {
        Trace::error("Shortcut_database::Shortcut_database")
            << L"Key-binding database " << path_ << L" is unusable; the file is left as it is";
        throw std::runtime_error("Error preparing statements");
    }
    if (sqlite3_db_readonly(db_.get(), "main") == 1)
        Trace::error("Shortcut_database::Shortcut_database")
            << L"Key-binding database " << path_ << L" is read-only: changes will fail";
}

bool is_key_binding_database(const std::wstring& path, std::string& reason) {
    Connection db = SQLite::open_backup(path, reason);
    if (!db)
        return false;
    if (!SQLite::has_exact_columns(db.get(), "key_bindings", {"key", "ident", "name"}, reason)) {
        reason = utf16_to_utf8(path) + ": " + reason;
        return false;
    }
    // Only an INTEGER PRIMARY KEY makes a stored binding replace the old
    // one of its key.
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db.get(),
                       "SELECT 1 FROM pragma_table_info('key_bindings') WHERE name='key' AND "
                       "pk=1 AND upper(type)='INTEGER';",
                       -1, &raw, nullptr);
    Statement statement(raw);
    if (!statement || sqlite3_step(raw) != SQLITE_ROW) {
        reason = utf16_to_utf8(path) + ": the key column of key_bindings is not its integer key";
        return false;
    }
    return true;
}

bool Shortcut_database::load_all(Binding_map& bindings) {
    if (!select_all_)
        return false;
    Binding_map loaded;
    Reset_on_exit reset(select_all_.get());
    sqlite3_stmt* statement = select_all_.get();
    int result;
    while ((result = sqlite3_step(statement)) == SQLITE_ROW) {
        const sqlite3_int64 stored = sqlite3_column_int64(statement, 0);
        // Codes are 32-bit; a larger number, or one that is no integer at
        // all, was not written by us.
        if (sqlite3_column_type(statement, 0) != SQLITE_INTEGER ||
            stored < std::numeric_limits<std::int32_t>::min() ||
            stored > std::numeric_limits<std::uint32_t>::max()) {
            Trace::error("Shortcut_database::load_all")
                << "Skipping key binding with key " << static_cast<std::int64_t>(stored)
                << " (not a key code)";
            continue;
        }
        const std::uint32_t key = static_cast<std::uint32_t>(stored);
        const bool ident_is_text = sqlite3_column_type(statement, 1) == SQLITE_TEXT;
        const Text_view ident = SQLite::column_text(statement, 1);
        const Text_view name = SQLite::column_text(statement, 2);
        const char* fault = nullptr;
        if (!ident_is_text || !ident.text || ident.length == 0)
            fault = "no ident text";
        else if (ident.length > max_text_length || name.length > max_text_length)
            fault = "ident or name too long";
        if (fault) {
            (Trace::error("Shortcut_database::load_all") << "Skipping key binding with key ")
                    .hex(key)
                << " (" << fault << ")";
            continue;
        }
        if (!name.text)
            (Trace::error("Shortcut_database::load_all") << "Key binding with key ").hex(key)
                << " has no name";
        loaded.emplace(key, Key_binding_entry{std::wstring(ident.text, ident.length),
                                              name.text ? std::wstring(name.text, name.length)
                                                        : std::wstring()});
    }
    if (result != SQLITE_DONE) {
        Trace::error("Shortcut_database::load_all")
            << L"Reading key bindings from " << path_ << L" stopped ("
            << static_cast<std::int32_t>(result) << L"): " << error_text(db_.get())
            << L"; the bindings read before stay in use";
        return false;
    }
    bindings = std::move(loaded);
    return true;
}

bool Shortcut_database::store(std::uint32_t key, const std::wstring& ident,
                              const std::wstring& name) {
    Trace::info("Shortcut_database::store")
        << L"Storing key binding " << ident << L" with name '" << name << L"'";
    Reset_on_exit reset(insert_.get());
    if (ident.empty() || name.empty())
        return false;
    sqlite3_bind_int(insert_.get(), 1, static_cast<int>(key));
    if (!SQLite::bind_string(insert_.get(), 2, ident.c_str(), ident.size()) ||
        !SQLite::bind_string(insert_.get(), 3, name.c_str(), name.size()))
        return false;
    return step_once(insert_.get(), "Shortcut_database::store");
}

bool Shortcut_database::remove_key(std::uint32_t key) {
    Reset_on_exit reset(delete_key_.get());
    sqlite3_bind_int(delete_key_.get(), 1, static_cast<int>(key));
    return step_once(delete_key_.get(), "Shortcut_database::remove_key");
}

bool Shortcut_database::remove_ident(const std::wstring& ident) {
    Reset_on_exit reset(delete_ident_.get());
    if (!SQLite::bind_string(delete_ident_.get(), 1, ident.c_str(), ident.size()))
        return false;
    return step_once(delete_ident_.get(), "Shortcut_database::remove_ident");
}

// A failed write (locked beyond the busy timeout, read-only or damaged
// file) is worth a line: the user's change is lost unless the caller says so.
bool Shortcut_database::step_once(sqlite3_stmt* statement, const char* function) {
    const int result = sqlite3_step(statement);
    if (SQLite::is_success(result))
        return true;
    Trace::error(function) << L"Writing to " << path_ << L" failed ("
                           << static_cast<std::int32_t>(result) << L"): " << error_text(db_.get());
    return false;
}
