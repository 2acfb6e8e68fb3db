#include "storage/code_storage.h"

#include "contract/text_convert.h"
#include "contract/win32_text.h"
#include "storage/file_copy.h"
#include "storage/sqlite_layer.h"
#include "trace/trace.h"

#include <windows.h>

#include <algorithm>
#include <climits>
#include <exception>
#include <filesystem>
#include <mutex>
#include <shared_mutex>
#include <string_view>
#include <vector>

namespace {

constexpr int schema_version = 1;

// Binds ?1, ?2, ... in order. The texts are not copied: the strings must
// outlive the step.
bool bind_all(sqlite3_stmt* statement, std::initializer_list<const std::wstring*> texts) {
    int index = 1;
    for (const std::wstring* text : texts)
        if (!SQLite::bind_string(statement, index++, text->c_str(), text->size()))
            return false;
    return true;
}

std::wstring text_or_empty(sqlite3_stmt* statement, int column) {
    Text_view view = SQLite::column_text(statement, column);
    return view.text ? std::wstring(view.text, view.length) : std::wstring();
}

// What a code database must hold to be restored over the working one: the
// writing statements bind by position, so the columns are compared whole.
// A version 0 file (from before the category column) is migrated on opening.
bool is_code_database(const std::wstring& path, std::string& reason) {
    Connection db = SQLite::open_backup(path, reason);
    if (!db)
        return false;
    const std::string name = utf16_to_utf8(path) + ": ";
    std::vector<std::string> meta;
    long long version = 0;
    if (SQLite::table_columns(db.get(), "meta", meta)) {
        if (!SQLite::has_exact_columns(db.get(), "meta", {"key", "value"}, reason)) {
            reason = name + reason;
            return false;
        }
        sqlite3_stmt* raw = nullptr;
        sqlite3_prepare_v2(db.get(), "SELECT value, typeof(value) FROM meta WHERE key='version';",
                           -1, &raw, nullptr);
        Statement statement(raw);
        int result = SQLITE_ERROR;
        while (statement && (result = sqlite3_step(raw)) == SQLITE_ROW) {
            const unsigned char* type = sqlite3_column_text(raw, 1);
            if (!type || std::string(reinterpret_cast<const char*>(type)) != "integer") {
                reason = name + "the schema version is not a number";
                return false;
            }
            version = std::max(version, static_cast<long long>(sqlite3_column_int64(raw, 0)));
        }
        if (result != SQLITE_DONE) {
            reason = name + "the schema version cannot be read";
            return false;
        }
    }
    if (version > schema_version) {
        reason = name + "schema version " + std::to_string(version) +
                 " is newer than this plug-in's " + std::to_string(schema_version);
        return false;
    }
    std::vector<std::string> columns = {"ident", "name", "description", "type", "code", "category"};
    std::vector<std::string> found;
    if (version == 0 && SQLite::table_columns(db.get(), "code_store", found) && found.size() == 5)
        columns.pop_back();
    if (!SQLite::has_exact_columns(db.get(), "code_store", columns, reason)) {
        reason = name + reason;
        return false;
    }
    return true;
}

Statement prepare(sqlite3* db, std::wstring_view sql) {
    return SQLite::prepare_statement(db, sql.data(), sql.size());
}

class Code_storage_impl final : public Code_storage {
public:
    explicit Code_storage_impl(std::wstring path) : path_(std::move(path)) { open_connection(); }

    int load_code(const std::wstring& ident, std::wstring& type, std::wstring& code,
                  std::wstring& name, std::wstring& description, std::wstring& category) override {
        type.clear();
        code.clear();
        name.clear();
        description.clear();
        category.clear();
        if (ident.empty())
            return Code_result::missing_argument;
        std::shared_lock<std::shared_mutex> lock(connection_mutex_);
        if (!db_)
            return Code_result::not_open;
        Statement statement = prepare(
            db_.get(),
            L"SELECT type, code, name, description, category FROM code_store WHERE ident=?1;");
        if (!statement)
            return Code_result::prepare_failed;
        if (!bind_all(statement.get(), {&ident}))
            return Code_result::prepare_failed;
        int result = sqlite3_step(statement.get());
        if (result == SQLITE_DONE)
            return Code_result::not_found;
        if (result != SQLITE_ROW) {
            trace_step_failure("Code_storage::load_code", result);
            return Code_result::not_found;
        }
        type = text_or_empty(statement.get(), 0);
        code = text_or_empty(statement.get(), 1);
        name = text_or_empty(statement.get(), 2);
        description = text_or_empty(statement.get(), 3);
        category = text_or_empty(statement.get(), 4);
        // Shown and kept, so that the user can mend or delete it; no
        // interpreter runs it.
        if (type.empty() || code.empty())
            Trace::error("Code_storage::load_code")
                << L"Action " << ident << L" in " << path_ << L" has no type or no code";
        return Code_result::ok;
    }

    int list_by_type(const std::wstring& type, Code_row_visitor& visitor) override {
        if (type.empty())
            return Code_result::missing_argument;
        std::shared_lock<std::shared_mutex> lock(connection_mutex_);
        if (!db_)
            return Code_result::not_open;
        Statement statement = prepare(
            db_.get(), L"SELECT ident, name, description, category FROM code_store WHERE type=?1;");
        if (!statement || !bind_all(statement.get(), {&type}))
            return Code_result::prepare_failed;
        int result;
        while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
            // No message can address an action without an ident.
            const Text_view ident = SQLite::column_text(statement.get(), 0);
            if (!ident.text || ident.length == 0) {
                Trace::error("Code_storage::list_by_type")
                    << L"Skipping an action without ident in " << path_;
                continue;
            }
            visitor.visit(ident.text, SQLite::column_text(statement.get(), 1).text,
                          SQLite::column_text(statement.get(), 2).text,
                          SQLite::column_text(statement.get(), 3).text);
        }
        // A damaged file ends the list early; the rows seen so far stand.
        if (result != SQLITE_DONE)
            trace_step_failure("Code_storage::list_by_type", result);
        return Code_result::ok;
    }

    int store_code(const std::wstring& ident, const std::wstring& type, const std::wstring& code,
                   const std::wstring& name, const std::wstring& description,
                   const std::wstring& category) override {
        if (ident.empty() || type.empty() || code.empty())
            return Code_result::missing_argument;
        std::unique_lock<std::shared_mutex> lock(connection_mutex_);
        if (!db_)
            return Code_result::not_open;
        Statement statement =
            prepare(db_.get(), L"INSERT OR REPLACE INTO code_store VALUES(?1,?2,?3,?4,?5,?6);");
        if (!statement)
            return Code_result::prepare_failed;
        // Bound in the table's column order: ident, name, description, type, code, category.
        if (!bind_all(statement.get(), {&ident, &name, &description, &type, &code, &category}))
            return Code_result::prepare_failed;
        int result = sqlite3_step(statement.get());
        if (!SQLite::is_success(result)) {
            trace_step_failure("Code_storage::store_code", result);
            return Code_result::step_failed;
        }
        return Code_result::ok;
    }

    int delete_code(const std::wstring& ident) override {
        if (ident.empty())
            return Code_result::missing_argument;
        std::unique_lock<std::shared_mutex> lock(connection_mutex_);
        if (!db_)
            return Code_result::not_open;
        Statement statement = prepare(db_.get(), L"DELETE FROM code_store WHERE ident=?1;");
        if (!statement || !bind_all(statement.get(), {&ident}))
            return Code_result::prepare_failed;
        int result = sqlite3_step(statement.get());
        if (!SQLite::is_success(result)) {
            trace_step_failure("Code_storage::delete_code", result);
            return Code_result::step_failed;
        }
        return Code_result::ok;
    }

    // The number goes above every number handed out before, kept in meta
    // as a high-water mark: were a deleted action's number handed out again,
    // a key binding or an "action" placeholder still naming the old ident
    // would run the new action. A database written before the mark existed
    // starts from the largest rowid.
    bool make_user_ident(std::wstring& ident) override {
        // Its transaction must not take in another thread's writes.
        std::unique_lock<std::shared_mutex> lock(connection_mutex_);
        if (!db_)
            return false;
        if (!SQLite::execute(db_.get(), L"BEGIN IMMEDIATE;"))
            return false;
        long long n = 0;
        const bool made = next_user_number(n) && write_user_mark(n);
        if (!made || !SQLite::execute(db_.get(), L"COMMIT;")) {
            SQLite::execute(db_.get(), L"ROLLBACK;");
            return false;
        }
        ident = user_ident(n);
        return true;
    }

    int create_backup(const std::wstring& directory) override {
        if (path_.empty())
            return Code_result::missing_argument;
        try {
            std::filesystem::path source(path_);
            std::filesystem::path target = std::filesystem::path(directory) / source.filename();
            // The connection stays open: outside a transaction the file is
            // consistent, and no write of ours starts during the copy.
            std::shared_lock<std::shared_mutex> lock(connection_mutex_);
            std::string error;
            if (!copy_file_over(source.wstring(), target.wstring(), error)) {
                Trace::error("Code_storage::create_backup") << error;
                return Code_result::prepare_failed;
            }
        } catch (const std::exception& e) {
            Trace::error("Code_storage::create_backup") << e.what();
            return Code_result::prepare_failed;
        }
        return Code_result::ok;
    }

    bool check_backup(const std::wstring& directory, std::string& reason) override {
        if (path_.empty()) {
            reason = "no code storage path";
            return false;
        }
        try {
            return is_code_database(backup_source(directory), reason);
        } catch (const std::exception& e) {
            reason = e.what();
        }
        return false;
    }

    int restore_backup(const std::wstring& directory) override {
        if (path_.empty())
            return Code_result::missing_argument;
        int outcome = Code_result::ok;
        // No reader may use the connection while it is closed and reopened.
        std::unique_lock<std::shared_mutex> lock(connection_mutex_);
        try {
            const std::wstring source = backup_source(directory);
            // A damaged, foreign or newer file in the backup folder must not
            // replace the user's working database.
            std::string reason;
            if (!is_code_database(source, reason)) {
                Trace::error("Code_storage::restore_backup") << "backup not restored: " << reason;
                return Code_result::prepare_failed;
            }
            db_.reset();
            std::string error;
            if (!copy_file_over(source, path_, error)) {
                Trace::error("Code_storage::restore_backup") << error;
                outcome = Code_result::prepare_failed;
            }
        } catch (const std::exception& e) {
            Trace::error("Code_storage::restore_backup") << e.what();
            outcome = Code_result::prepare_failed;
        }
        if (!db_)
            open_connection();
        return outcome;
    }

private:
    std::wstring backup_source(const std::wstring& directory) const {
        return (std::filesystem::path(directory) / std::filesystem::path(path_).filename())
            .wstring();
    }

    void open_connection() {
        if (path_.empty()) {
            // SQLite would open a private temporary database for an empty
            // name, and everything stored there would be lost on close.
            Trace::error("Code_storage::open") << "No path for the code storage";
            return;
        }
        std::wstring error;
        db_ = SQLite::open(path_, error);
        if (!db_) {
            Trace::error("Code_storage::open")
                << L"Cannot open code storage " << path_ << L": " << error;
            return;
        }
        int schema = ensure_schema();
        if (schema != Code_result::ok) {
            Trace::error("Code_storage::open")
                << L"Code storage " << path_ << L" is unusable (result "
                << static_cast<std::int32_t>(schema) << L"); the file is left as it is";
            return;
        }
        if (sqlite3_db_readonly(db_.get(), "main") == 1)
            Trace::error("Code_storage::open")
                << L"Code storage " << path_ << L" is read-only: changes will fail";
    }

    int ensure_schema() {
        if (!db_)
            return Code_result::not_open;
        if (!SQLite::execute(
                db_.get(), L"CREATE TABLE IF NOT EXISTS code_store (ident TEXT PRIMARY KEY, "
                           L"name TEXT, description TEXT, type TEXT, code TEXT, category TEXT);") ||
            !SQLite::execute(db_.get(),
                             L"CREATE TABLE IF NOT EXISTS meta (key TEXT, value INTEGER);"))
            return Code_result::schema_failed;
        int version = 0;
        if (!read_version(version))
            return Code_result::schema_failed;
        if (version == 0)
            migrate_to(schema_version, version);
        return Code_result::ok;
    }

    // A version that cannot be read is not taken as 0: migrating a damaged
    // file would write into it.
    bool read_version(int& version) {
        Statement statement = prepare(db_.get(), L"SELECT value FROM meta WHERE key='version';");
        if (!statement)
            return false;
        int result = sqlite3_step(statement.get());
        if (result == SQLITE_ROW)
            version = sqlite3_column_int(statement.get(), 0);
        else if (result == SQLITE_DONE)
            version = 0;
        else {
            trace_step_failure("Code_storage::ensure_schema", result);
            return false;
        }
        return true;
    }

    // Each step v brings a version v-1 database to version v.
    void migrate_to(int target, int found) {
        if (target <= found)
            return;
        migrate_to(target - 1, found);
        if (target == 1) {
            // A database just created has the column already: adding it again
            // would only put an error line into every new user's trace.
            long long columns = 0;
            if (query_number(L"SELECT COUNT(*) FROM pragma_table_info('code_store') "
                             L"WHERE name='category';",
                             0, columns) &&
                columns == 0)
                SQLite::execute(db_.get(), L"ALTER TABLE code_store ADD COLUMN category TEXT;");
            SQLite::execute(db_.get(),
                            L"INSERT OR REPLACE INTO meta(key,value) VALUES('version',1);");
        }
    }

    static std::wstring user_ident(long long n) {
        return L"zp_" + std::to_wstring(n) + L"_user_id";
    }

    // One integer of a query with one row; NULL reads as `fallback`.
    bool query_number(std::wstring_view sql, long long fallback, long long& value) {
        Statement statement = prepare(db_.get(), sql);
        if (!statement)
            return false;
        const int result = sqlite3_step(statement.get());
        if (result != SQLITE_ROW) {
            trace_step_failure("Code_storage::make_user_ident", result);
            return false;
        }
        value = sqlite3_column_type(statement.get(), 0) == SQLITE_NULL
                    ? fallback
                    : sqlite3_column_int64(statement.get(), 0);
        return true;
    }

    bool next_user_number(long long& n) {
        long long by_rowid = 0;
        long long mark = -1;
        // A mark that is no integer was not written by us; it is replaced.
        if (!query_number(L"SELECT MAX(rowid) FROM code_store;", -1, by_rowid) ||
            !query_number(L"SELECT MAX(value) FROM meta WHERE key='user_ident_mark' AND "
                          L"typeof(value)='integer';",
                          -1, mark))
            return false;
        if (by_rowid >= LLONG_MAX - 1 || mark >= LLONG_MAX - 1) {
            Trace::error("Code_storage::make_user_ident")
                << L"No user ident number is left in " << path_;
            return false;
        }
        by_rowid += 1;
        n = std::max(by_rowid, mark + 1);
        // An ident stored under its own name (a restored or imported row)
        // may already use the number.
        for (;;) {
            const std::wstring ident = user_ident(n);
            Statement statement = prepare(db_.get(), L"SELECT 1 FROM code_store WHERE ident=?1;");
            if (!statement || !bind_all(statement.get(), {&ident}))
                return false;
            const int result = sqlite3_step(statement.get());
            if (result == SQLITE_DONE)
                return true;
            if (result != SQLITE_ROW || n == LLONG_MAX) {
                trace_step_failure("Code_storage::make_user_ident", result);
                return false;
            }
            ++n;
        }
    }

    bool write_user_mark(long long n) {
        Statement statement = prepare(db_.get(), L"DELETE FROM meta WHERE key='user_ident_mark';");
        if (!statement)
            return false;
        int result = sqlite3_step(statement.get());
        if (SQLite::is_success(result)) {
            statement =
                prepare(db_.get(), L"INSERT INTO meta(key,value) VALUES('user_ident_mark',?1);");
            if (!statement || sqlite3_bind_int64(statement.get(), 1, n) != SQLITE_OK)
                return false;
            result = sqlite3_step(statement.get());
        }
        if (!SQLite::is_success(result)) {
            trace_step_failure("Code_storage::make_user_ident", result);
            return false;
        }
        return true;
    }

    void trace_step_failure(const char* function, int result) {
        Trace::error(function) << L"SQLite step failed (" << static_cast<std::int32_t>(result)
                               << L"): " << static_cast<const wchar_t*>(sqlite3_errmsg16(db_.get()))
                               << L" in " << path_;
    }

    std::wstring path_;
    // Shared by reads, held alone by writes and by the restore.
    std::shared_mutex connection_mutex_;
    Connection db_;
};

} // namespace

std::unique_ptr<Code_storage> Code_storage::open(const std::wstring& relative_name) {
    return open_path(executable_directory() + L"\\" + relative_name);
}

std::unique_ptr<Code_storage> Code_storage::open_path(const std::wstring& path) {
    return std::make_unique<Code_storage_impl>(path);
}
