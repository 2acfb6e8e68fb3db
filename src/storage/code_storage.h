// The user's code actions, kept in their own SQLite file.
#pragma once

#include <memory>
#include <string>

// Integer results of the code storage operations.
namespace Code_result {
enum : int {
    ok = 0,
    prepare_failed = 1, // also: a backup or restore copy failed
    missing_argument = 2,
    not_open = 3,
    schema_failed = 4,
    step_failed = 6,
    not_found = 7,
};
} // namespace Code_result

// Receives the rows of Code_storage::list_by_type; a NULL column arrives as
// a null pointer. Rows without an ident are not visited.
class Code_row_visitor {
public:
    virtual ~Code_row_visitor() = default;
    virtual void visit(const wchar_t* ident, const wchar_t* name, const wchar_t* description,
                       const wchar_t* category) = 0;
};

// Every operation may be called from any thread: reads share the
// connection, writes and the restore (which closes and reopens it) have it
// to themselves.
class Code_storage {
public:
    virtual ~Code_storage() = default;
    // Clears the five out-strings first; NULL columns read as empty (a row
    // without type or code is traced as damaged).
    virtual int load_code(const std::wstring& ident, std::wstring& type, std::wstring& code,
                          std::wstring& name, std::wstring& description,
                          std::wstring& category) = 0;
    virtual int list_by_type(const std::wstring& type, Code_row_visitor& visitor) = 0;
    virtual int store_code(const std::wstring& ident, const std::wstring& type,
                           const std::wstring& code, const std::wstring& name,
                           const std::wstring& description, const std::wstring& category) = 0;
    // Deleting an ident that does not exist succeeds.
    virtual int delete_code(const std::wstring& ident) = 0;
    // zp_<n>_user_id with n above every n handed out before (and above the
    // largest rowid); never one that a deleted action had.
    virtual bool make_user_ident(std::wstring& ident) = 0;
    // Both copy the database file to or from `directory`, under its own file
    // name. A restore first checks the backup (check_backup) and replaces
    // the file only with a usable one; the connection is reopened while no
    // other operation uses it.
    virtual int create_backup(const std::wstring& directory) = 0;
    virtual int restore_backup(const std::wstring& directory) = 0;
    // Whether `directory` holds a code database that restore_backup would
    // put in place: a sound file, opened read-only, with the code_store and
    // meta columns of a schema version not newer than ours; false with a
    // readable reason otherwise.
    virtual bool check_backup(const std::wstring& directory, std::string& reason) = 0;

    // Opens `relative_name` (e.g. "plugins\\code_storage.db") in the host
    // executable's directory. Always returns an object; a failure is traced
    // and shows in the results of its operations.
    static std::unique_ptr<Code_storage> open(const std::wstring& relative_name);
    // The same on a full path.
    static std::unique_ptr<Code_storage> open_path(const std::wstring& path);
};
