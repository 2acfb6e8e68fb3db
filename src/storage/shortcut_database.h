// The key bindings: which action ident, under which name, runs for which
// key-combination code. One SQLite table, four statements kept open.
#pragma once

#include "storage/sqlite_layer.h"

#include <cstdint>
#include <map>
#include <string>
#include <unordered_set>
#include <vector>

struct Key_binding_entry {
    std::wstring ident;
    std::wstring name;
};

// Key codes sort by their low 16 bits (key and modifiers) first, then by the
// high 16 bits, so that all variants of one combination sit together.
struct Key_code_order {
    bool operator()(std::uint32_t a, std::uint32_t b) const noexcept {
        std::uint32_t a_low = a & 0xFFFFu, b_low = b & 0xFFFFu;
        if (a_low != b_low)
            return a_low < b_low;
        return (a >> 16) < (b >> 16);
    }
};

using Binding_map = std::map<std::uint32_t, Key_binding_entry, Key_code_order>;

// A typed abbreviation that runs an action. One per action, one action per
// abbreviation (case-blind for case-insensitive ones).
struct Abbreviation_record {
    std::wstring abbreviation;
    std::wstring ident;
    bool immediate = false; // fires on its last character, not on a separator after it
    bool case_sensitive = false;
};

// Whether two abbreviations would be typed alike: equal, or equal case-blind
// when either of them ignores case.
bool abbreviations_clash(const Abbreviation_record& a, const Abbreviation_record& b);

// The abbreviations taken so far, to judge many rows without comparing each
// with each: a record clashes with one added before (or its action has one).
class Abbreviation_index {
public:
    bool clashes(const Abbreviation_record& record) const;
    void add(const Abbreviation_record& record);

private:
    std::unordered_set<std::wstring> exact_, folded_all_, folded_case_blind_, idents_;
};

// Whether `path` holds key bindings that a restore may put in place of the
// working database: a sound SQLite file whose key_bindings table has
// exactly our columns, keyed by the integer key, and whose abbreviations and
// excluded_applications tables, where present (older files lack them), have
// exactly theirs. Opened read-only; false with a readable reason otherwise.
bool is_key_binding_database(const std::wstring& path, std::string& reason);

class Shortcut_database {
public:
    // Throws std::runtime_error when the file cannot be opened ("Failed to
    // open db") or the writing statements cannot be prepared ("Error
    // preparing statements"); a partly built object closes its connection.
    explicit Shortcut_database(std::wstring path);
    Shortcut_database(const Shortcut_database&) = delete;
    Shortcut_database& operator=(const Shortcut_database&) = delete;

    // Every binding the file holds, into `bindings`; false (and `bindings`
    // untouched) when the table could not be read to its end, e.g. locked
    // by another process beyond the busy timeout. A row that is not a
    // binding (key not an integer code, ident not a text, ident or name
    // longer than max_text_length) is skipped with one error line; a NULL
    // name reads as empty. For a repeated key the first row wins.
    bool load_all(Binding_map& bindings);
    // The single row changes: true when written. Writes nothing, and
    // answers false, unless both ident and name are non-empty.
    bool store(std::uint32_t key, const std::wstring& ident, const std::wstring& name);
    bool remove_key(std::uint32_t key);
    // Removes every binding of the action.
    bool remove_ident(const std::wstring& ident);

    // The abbreviation and excluded-application tables are created when first
    // written; a file without them reads as holding none. Loads are false
    // (and leave the output untouched) when the table could not be read.
    // Sorted by abbreviation; rows that are not ours are skipped with a line.
    bool load_abbreviations(std::vector<Abbreviation_record>& abbreviations);
    // Replaces the action's abbreviation in one transaction; an empty one
    // removes it. Refused (false, `taken_by` the other action's ident) when
    // another action's abbreviation clashes; `taken_by` stays empty when the
    // file could not be written.
    bool store_abbreviation(const Abbreviation_record& record, std::wstring& taken_by);
    bool remove_abbreviation(const std::wstring& ident);
    // In the order stored.
    bool load_excluded(std::vector<std::wstring>& patterns);
    bool store_excluded(const std::vector<std::wstring>& patterns);

    // Idents and names longer than this (in UTF-16 code units) were not
    // written by us.
    static constexpr std::size_t max_text_length = 4096;
    // The typed-text buffer holds 64 characters; a longer one never fires.
    static constexpr std::size_t max_abbreviation_length = 63;

    const std::wstring& path() const { return path_; }

private:
    bool step_once(sqlite3_stmt* statement, const char* function);
    bool create_extra_tables();
    int has_table(const char* table); // 1 yes, 0 no, -1 unreadable
    // Runs `body` inside BEGIN IMMEDIATE ... COMMIT; rolls back when it fails.
    template <typename Body> bool in_transaction(const char* function, Body body);

    // Destroyed in reverse order: the statements from delete-by-ident down to
    // select-all, then the connection.
    std::wstring path_;
    Connection db_;
    Statement select_all_;
    Statement insert_;
    Statement delete_key_;
    Statement delete_ident_;
};
