// The key bindings: which action ident, under which name, runs for which
// key-combination code. One SQLite table, four statements kept open.
#pragma once

#include "storage/sqlite_layer.h"

#include <cstdint>
#include <map>
#include <string>

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

// Whether `path` holds key bindings that a restore may put in place of the
// working database; false with a readable reason otherwise.
bool is_key_binding_database(const std::wstring& path, std::string& reason);

class Shortcut_database {
public:
    // Throws std::runtime_error when the file cannot be opened ("Failed to
    // open db") or the writing statements cannot be prepared ("Error
    // preparing statements"); a partly built object closes its connection.
    explicit Shortcut_database(std::wstring path);
    Shortcut_database(const Shortcut_database&) = delete;
    Shortcut_database& operator=(const Shortcut_database&) = delete;

    // Rows with an empty ident are skipped; for a repeated key the first row wins.
    Binding_map load_all();
    // Writes nothing unless both ident and name are non-empty.
    void store(std::uint32_t key, const std::wstring& ident, const std::wstring& name);
    void store_all(const Binding_map& bindings);
    void remove_key(std::uint32_t key);
    // Removes every binding of the action.
    void remove_ident(const std::wstring& ident);

    const std::wstring& path() const { return path_; }

private:
    void step_once(sqlite3_stmt* statement, const char* function);

    // Destroyed in reverse order: the statements from delete-by-ident down to
    // select-all, then the connection.
    std::wstring path_;
    Connection db_;
    Statement select_all_;
    Statement insert_;
    Statement delete_key_;
    Statement delete_ident_;
};
