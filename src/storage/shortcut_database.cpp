#include "storage/shortcut_database.h"

#include "contract/letter_case.h"
#include "contract/text_convert.h"
#include "trace/trace.h"

#include <windows.h>

#include <algorithm>
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

bool fold_equal(const std::wstring& a, const std::wstring& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (Letter_case::lower(a[i]) != Letter_case::lower(b[i]))
            return false;
    return true;
}

// 1 the table exists, 0 it does not, -1 the file could not be read (busy).
int table_exists(sqlite3* db, const char* table) {
    sqlite3_stmt* raw = nullptr;
    sqlite3_prepare_v2(db, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?1;", -1, &raw,
                       nullptr);
    Statement statement(raw);
    if (!statement)
        return -1;
    sqlite3_bind_text(raw, 1, table, -1, SQLITE_STATIC);
    const int result = sqlite3_step(raw);
    return result == SQLITE_ROW ? 1 : result == SQLITE_DONE ? 0 : -1;
}

const wchar_t* const create_abbreviations =
    L"CREATE TABLE IF NOT EXISTS abbreviations ( abbreviation TEXT PRIMARY KEY, ident TEXT NOT "
    L"NULL, kind INTEGER NOT NULL, case_sensitive INTEGER NOT NULL );";
const wchar_t* const create_excluded =
    L"CREATE TABLE IF NOT EXISTS excluded_applications ( pattern TEXT PRIMARY KEY );";

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

bool abbreviations_clash(const Abbreviation_record& a, const Abbreviation_record& b) {
    if (a.abbreviation == b.abbreviation)
        return true;
    return (!a.case_sensitive || !b.case_sensitive) && fold_equal(a.abbreviation, b.abbreviation);
}

namespace {

std::wstring folded(const std::wstring& text) {
    std::wstring out = text;
    for (wchar_t& c : out)
        c = Letter_case::lower(c);
    return out;
}

} // namespace

bool Abbreviation_index::clashes(const Abbreviation_record& record) const {
    const std::wstring fold = folded(record.abbreviation);
    return idents_.count(record.ident) || exact_.count(record.abbreviation) ||
           (record.case_sensitive ? folded_case_blind_.count(fold) : folded_all_.count(fold));
}

void Abbreviation_index::add(const Abbreviation_record& record) {
    const std::wstring fold = folded(record.abbreviation);
    idents_.insert(record.ident);
    exact_.insert(record.abbreviation);
    folded_all_.insert(fold);
    if (!record.case_sensitive)
        folded_case_blind_.insert(fold);
}

bool is_key_binding_database(const std::wstring& path, std::string& reason) {
    Connection db = SQLite::open_backup(path, reason);
    if (!db)
        return false;
    // Files from before abbreviations lack the two tables; where present,
    // the columns must be ours.
    const struct {
        const char* table;
        std::vector<std::string> columns;
    } optional_tables[] = {
        {"abbreviations", {"abbreviation", "ident", "kind", "case_sensitive"}},
        {"excluded_applications", {"pattern"}},
    };
    for (const auto& optional : optional_tables) {
        if (table_exists(db.get(), optional.table) != 0 &&
            !SQLite::has_exact_columns(db.get(), optional.table, optional.columns, reason)) {
            reason = utf16_to_utf8(path) + ": " + reason;
            return false;
        }
    }
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

int Shortcut_database::has_table(const char* table) {
    return table_exists(db_.get(), table);
}

bool Shortcut_database::create_extra_tables() {
    return SQLite::execute(db_.get(), create_abbreviations) &&
           SQLite::execute(db_.get(), create_excluded);
}

template <typename Body> bool Shortcut_database::in_transaction(const char* function, Body body) {
    if (!SQLite::execute(db_.get(), L"BEGIN IMMEDIATE;")) {
        Trace::error(function) << L"Writing to " << path_ << L" failed: " << error_text(db_.get());
        return false;
    }
    if (create_extra_tables() && body() && SQLite::execute(db_.get(), L"COMMIT;"))
        return true;
    Trace::error(function) << L"Writing to " << path_ << L" failed: " << error_text(db_.get());
    SQLite::execute(db_.get(), L"ROLLBACK;");
    return false;
}

bool Shortcut_database::load_abbreviations(std::vector<Abbreviation_record>& abbreviations) {
    const int exists = has_table("abbreviations");
    if (exists <= 0) {
        if (exists == 0)
            abbreviations.clear();
        return exists == 0;
    }
    Statement statement = prepare(db_.get(), L"SELECT abbreviation, ident, kind, case_sensitive "
                                             L"FROM abbreviations ORDER BY abbreviation;");
    if (!statement)
        return false;
    std::vector<Abbreviation_record> loaded;
    Abbreviation_index index;
    sqlite3_stmt* raw = statement.get();
    int result;
    while ((result = sqlite3_step(raw)) == SQLITE_ROW) {
        const Text_view text = SQLite::column_text(raw, 0);
        const Text_view ident = SQLite::column_text(raw, 1);
        const sqlite3_int64 kind = sqlite3_column_int64(raw, 2);
        if (sqlite3_column_type(raw, 0) != SQLITE_TEXT || !text.text || text.length == 0 ||
            text.length > max_abbreviation_length || sqlite3_column_type(raw, 1) != SQLITE_TEXT ||
            !ident.text || ident.length == 0 || ident.length > max_text_length ||
            (kind != 0 && kind != 1)) {
            Trace::error("Shortcut_database::load_abbreviations")
                << L"Skipping an abbreviation row that is not one of ours";
            continue;
        }
        Abbreviation_record record{std::wstring(text.text, text.length),
                                   std::wstring(ident.text, ident.length), kind == 1,
                                   sqlite3_column_int64(raw, 3) != 0};
        // A file edited by hand may hold clashes: the first row wins.
        if (index.clashes(record)) {
            Trace::error("Shortcut_database::load_abbreviations")
                << L"Skipping abbreviation '" << record.abbreviation << L"' of " << record.ident
                << L": its text or its action has one already";
            continue;
        }
        index.add(record);
        loaded.push_back(std::move(record));
    }
    if (result != SQLITE_DONE) {
        Trace::error("Shortcut_database::load_abbreviations")
            << L"Reading abbreviations from " << path_ << L" stopped: " << error_text(db_.get());
        return false;
    }
    abbreviations = std::move(loaded);
    return true;
}

bool Shortcut_database::store_abbreviation(const Abbreviation_record& record,
                                           std::wstring& taken_by) {
    taken_by.clear();
    if (record.ident.empty() || record.abbreviation.size() > max_abbreviation_length) {
        Trace::error("Shortcut_database::store_abbreviation")
            << L"An abbreviation holds at most "
            << static_cast<std::uint32_t>(max_abbreviation_length)
            << L" characters; nothing stored for " << record.ident;
        return false;
    }
    bool refused = false;
    const bool stored = in_transaction("Shortcut_database::store_abbreviation", [&] {
        if (!record.abbreviation.empty()) {
            // Judged inside the transaction, against what the file holds now.
            std::vector<Abbreviation_record> existing;
            if (!load_abbreviations(existing))
                return false;
            for (const Abbreviation_record& other : existing) {
                if (other.ident != record.ident && abbreviations_clash(other, record)) {
                    taken_by = other.ident;
                    refused = true;
                    return false;
                }
            }
        }
        Statement remove = prepare(db_.get(), L"DELETE FROM abbreviations WHERE ident=?1;");
        if (!remove ||
            !SQLite::bind_string(remove.get(), 1, record.ident.c_str(), record.ident.size()) ||
            !SQLite::is_success(sqlite3_step(remove.get())))
            return false;
        if (record.abbreviation.empty())
            return true;
        Statement insert = prepare(db_.get(), L"INSERT INTO abbreviations VALUES (?1,?2,?3,?4);");
        if (!insert ||
            !SQLite::bind_string(insert.get(), 1, record.abbreviation.c_str(),
                                 record.abbreviation.size()) ||
            !SQLite::bind_string(insert.get(), 2, record.ident.c_str(), record.ident.size()))
            return false;
        sqlite3_bind_int(insert.get(), 3, record.immediate ? 1 : 0);
        sqlite3_bind_int(insert.get(), 4, record.case_sensitive ? 1 : 0);
        return SQLite::is_success(sqlite3_step(insert.get()));
    });
    if (refused)
        Trace::info("Shortcut_database::store_abbreviation")
            << L"Abbreviation '" << record.abbreviation << L"' refused for " << record.ident
            << L": " << taken_by << L" has it";
    return stored;
}

bool Shortcut_database::remove_abbreviation(const std::wstring& ident) {
    std::wstring taken_by;
    return store_abbreviation({L"", ident, false, false}, taken_by);
}

bool Shortcut_database::load_excluded(std::vector<std::wstring>& patterns) {
    const int exists = has_table("excluded_applications");
    if (exists <= 0) {
        if (exists == 0)
            patterns.clear();
        return exists == 0;
    }
    Statement statement =
        prepare(db_.get(), L"SELECT pattern FROM excluded_applications ORDER BY rowid;");
    if (!statement)
        return false;
    std::vector<std::wstring> loaded;
    int result;
    while ((result = sqlite3_step(statement.get())) == SQLITE_ROW) {
        const Text_view pattern = SQLite::column_text(statement.get(), 0);
        if (pattern.text && pattern.length > 0 && pattern.length <= max_text_length)
            loaded.emplace_back(pattern.text, pattern.length);
    }
    if (result != SQLITE_DONE) {
        Trace::error("Shortcut_database::load_excluded")
            << L"Reading excluded applications from " << path_ << L" stopped: "
            << error_text(db_.get());
        return false;
    }
    patterns = std::move(loaded);
    return true;
}

bool Shortcut_database::store_excluded(const std::vector<std::wstring>& patterns) {
    return in_transaction("Shortcut_database::store_excluded", [&] {
        if (!SQLite::execute(db_.get(), L"DELETE FROM excluded_applications;"))
            return false;
        Statement insert =
            prepare(db_.get(), L"INSERT OR IGNORE INTO excluded_applications VALUES (?1);");
        if (!insert)
            return false;
        for (const std::wstring& pattern : patterns) {
            if (pattern.empty() || pattern.size() > max_text_length)
                continue;
            sqlite3_reset(insert.get());
            if (!SQLite::bind_string(insert.get(), 1, pattern.c_str(), pattern.size()) ||
                !SQLite::is_success(sqlite3_step(insert.get())))
                return false;
        }
        return true;
    });
}
