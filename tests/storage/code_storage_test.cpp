#include "contract/win32_text.h"
#include "storage/code_storage.h"
#include "storage/file_copy.h"

#include "db_files.h"
#include "support/test_support.h"
#include "support/trace_capture.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

namespace {

using Db_files::scalar;

struct Collecting_visitor : Code_row_visitor {
    std::vector<std::wstring> rows; // ident|name|description|category, NULL as "-"
    void visit(const wchar_t* ident, const wchar_t* name, const wchar_t* description,
               const wchar_t* category) override {
        auto text = [](const wchar_t* t) { return std::wstring(t ? t : L"-"); };
        rows.push_back(text(ident) + L"|" + text(name) + L"|" + text(description) + L"|" +
                       text(category));
    }
};

class CodeStorage : public ::testing::Test {
protected:
    std::wstring dir = Test_support::make_temp_directory(L"code_storage");
    std::wstring path = dir + L"\\code_storage.db";
    std::wstring backups = dir + L"\\backups", backup = backups + L"\\code_storage.db";
    std::wstring type, code, name, description, category;
    void TearDown() override {
        Db_files::set_read_only(path, false);
        Test_support::remove_tree(dir);
    }
    int store(Code_storage& storage, const std::wstring& ident, const std::wstring& text = L"c") {
        return storage.store_code(ident, L"typing_interpreter", text, L"n", L"", L"");
    }
    int load(Code_storage& storage, const std::wstring& ident) {
        return storage.load_code(ident, type, code, name, description, category);
    }
    // A storage whose zp_1_user_id holds `text`, backed up; the backup's bytes.
    std::string back_up(std::unique_ptr<Code_storage>& storage, const std::wstring& text) {
        std::filesystem::create_directories(backups);
        storage = Code_storage::open_path(path);
        EXPECT_EQ(store(*storage, L"zp_1_user_id", text), Code_result::ok);
        EXPECT_EQ(storage->create_backup(backups), Code_result::ok);
        return Test_support::read_file(backup);
    }
};

TEST_F(CodeStorage, OldFileIsMigratedAndRowsRoundTripWholeInColumnOrder) {
    {
        Connection db = Db_files::open_raw(path);
        ASSERT_TRUE(Db_files::run(db.get(),
                                  "CREATE TABLE code_store (ident TEXT PRIMARY KEY, "
                                  "name TEXT, description TEXT, type TEXT, code TEXT);"
                                  "CREATE TABLE meta (key TEXT, value INTEGER);"
                                  "INSERT INTO code_store VALUES ('zp_1_user_id', "
                                  "'Greeting', 'says hello', 'typing_interpreter', 'Hi');"));
    }
    auto storage = Code_storage::open_path(path);
    category = L"stale";
    ASSERT_EQ(load(*storage, L"zp_1_user_id"), Code_result::ok);
    EXPECT_EQ(type + L"|" + code + L"|" + name + L"|" + description + L"|" + category,
              L"typing_interpreter|Hi|Greeting|says hello|");
    Connection db = Db_files::open_raw(path);
    EXPECT_EQ(scalar(db.get(), "SELECT value FROM meta WHERE key='version'"), "1");
    ASSERT_EQ(storage->store_code(L"zp_7_user_id", L"url_interpreter", L"the code", L"the name",
                                  L"the description", L"the category"),
              Code_result::ok);
    EXPECT_EQ(scalar(db.get(), "SELECT ident||'|'||name||'|'||description||'|'||type||'|'||code||"
                               "'|'||category FROM code_store WHERE ident='zp_7_user_id'"),
              "zp_7_user_id|the name|the description|url_interpreter|the code|the category");
    // Replacing an ident replaces all six columns; an empty code is refused.
    ASSERT_EQ(storage->store_code(L"zp_7_user_id", L"url_interpreter", L"x", L"O", L"", L""),
              Code_result::ok);
    EXPECT_EQ(storage->store_code(L"zp_7_user_id", L"t", L"", L"n", L"", L""),
              Code_result::missing_argument);
    ASSERT_EQ(load(*storage, L"zp_7_user_id"), Code_result::ok);
    EXPECT_EQ(code + L"|" + name + L"|" + description + L"|" + category, L"x|O||");
    // Only the type asked for, NULLs as null pointers; missing rows and arguments.
    ASSERT_TRUE(Db_files::run(db.get(), "INSERT INTO code_store VALUES ('d', NULL, NULL, "
                                        "'typing_interpreter', 'x', NULL);"));
    Collecting_visitor visitor;
    ASSERT_EQ(storage->list_by_type(L"typing_interpreter", visitor), Code_result::ok);
    EXPECT_EQ(visitor.rows,
              (std::vector<std::wstring>{L"zp_1_user_id|Greeting|says hello|-", L"d|-|-|-"}));
    EXPECT_EQ(load(*storage, L"zp_9_user_id"), Code_result::not_found);
    EXPECT_EQ(type + code + name + description + category, L"") << "out-strings are cleared";
    EXPECT_EQ(load(*storage, L""), Code_result::missing_argument);
    EXPECT_EQ(storage->delete_code(L"zp_7_user_id"), Code_result::ok);
    EXPECT_EQ(load(*storage, L"zp_7_user_id"), Code_result::not_found);
}

TEST_F(CodeStorage, UserIdentsAreNeverHandedOutTwice) {
    auto storage = [&] {
        Trace_capture creation;
        auto made = Code_storage::open_path(path);
        EXPECT_EQ(creation.error_count(), 0u) << "a new file is created without an error line";
        return made;
    }();
    auto next = [&] {
        std::wstring ident;
        EXPECT_TRUE(storage->make_user_ident(ident));
        return ident;
    };
    EXPECT_EQ(next(), L"zp_0_user_id");
    for (int i = 1; i <= 4; ++i)
        ASSERT_EQ(store(*storage, L"row" + std::to_wstring(i)), Code_result::ok);
    EXPECT_EQ(next(), L"zp_5_user_id"); // above the largest rowid
    ASSERT_EQ(store(*storage, L"zp_5_user_id"), Code_result::ok);
    ASSERT_EQ(storage->delete_code(L"zp_5_user_id"), Code_result::ok);
    EXPECT_EQ(next(), L"zp_6_user_id") << "a deleted action's number never comes again";
    storage = Code_storage::open_path(path);
    ASSERT_EQ(store(*storage, L"zp_8_user_id"), Code_result::ok); // stored under its own name
    EXPECT_EQ(next(), L"zp_7_user_id");
    EXPECT_EQ(next(), L"zp_9_user_id");
    // A file written before the mark existed starts from the largest rowid.
    storage.reset();
    ASSERT_TRUE(
        Db_files::run(Db_files::open_raw(path).get(), "DELETE FROM meta WHERE key<>'version';"));
    storage = Code_storage::open_path(path);
    EXPECT_EQ(next(), L"zp_6_user_id");

    // The mark's write touches only the mark, and only upwards; a mark that
    // is no number is replaced, one at the end of the range ends the count.
    Connection db = Db_files::open_raw(path);
    const char* const meta = "SELECT group_concat(key || '=' || value, ' ') FROM "
                             "(SELECT key, value FROM meta ORDER BY key, value);";
    ASSERT_TRUE(Db_files::run(db.get(), "INSERT INTO meta VALUES ('other', 7), "
                                        "('user_ident_mark', 'junk'), ('user_ident_mark', 40);"));
    EXPECT_EQ(next(), L"zp_41_user_id");
    EXPECT_EQ(scalar(db.get(), meta), "other=7 user_ident_mark=41 version=1");
    ASSERT_TRUE(Db_files::run(db.get(), "DELETE FROM code_store;"));
    EXPECT_EQ(next(), L"zp_42_user_id");
    ASSERT_TRUE(Db_files::run(db.get(), "UPDATE meta SET value=9223372036854775807 "
                                        "WHERE key='user_ident_mark';"));
    const std::string before = scalar(db.get(), meta);
    Trace_capture trace;
    std::wstring ident = L"unchanged";
    EXPECT_FALSE(storage->make_user_ident(ident));
    EXPECT_EQ(ident, L"unchanged");
    EXPECT_EQ(trace.errors("Code_storage::make_user_ident").size(), 1u);
    EXPECT_EQ(scalar(db.get(), meta), before);
}

// Rows another tool wrote: defined results and a trace line, never a crash.
TEST_F(CodeStorage, OddRowsReadDefinedWithATraceLine) {
    auto storage = Code_storage::open_path(path);
    Connection db = Db_files::open_raw(path);
    ASSERT_TRUE(Db_files::run(
        db.get(), "INSERT INTO code_store VALUES (NULL, 'no ident', '', 't', 'c', '');"
                  "INSERT INTO code_store VALUES ('', 'empty ident', '', 't', 'c', '');"
                  "INSERT INTO code_store VALUES ('num', 5, x'41', 't', 12, NULL);"
                  "INSERT INTO code_store VALUES ('bare', 'Bare', NULL, NULL, NULL, NULL);"
                  "INSERT INTO code_store VALUES ('long', 'L', '', 't', "
                  "replace(hex(zeroblob(300000)), '00', 'ab'), '');"));
    Trace_capture trace;
    Collecting_visitor visitor;
    ASSERT_EQ(storage->list_by_type(L"t", visitor), Code_result::ok);
    EXPECT_EQ(visitor.rows, (std::vector<std::wstring>{L"num|5|A|-", L"long|L||"}));
    EXPECT_EQ(trace.errors("Code_storage::list_by_type").size(), 2u);
    ASSERT_EQ(load(*storage, L"num"), Code_result::ok);
    EXPECT_EQ(code + L"|" + name + L"|" + description, L"12|5|A");
    ASSERT_EQ(load(*storage, L"long"), Code_result::ok);
    EXPECT_EQ(code.size(), 600000u);
    EXPECT_EQ(trace.errors("Code_storage::load_code").size(), 0u);
    category = L"stale";
    ASSERT_EQ(load(*storage, L"bare"), Code_result::ok);
    EXPECT_EQ(type + code + description + category, L"");
    EXPECT_EQ(trace.errors("Code_storage::load_code").size(), 1u);
}

// A user's file that cannot be used is reported and never changed.
TEST_F(CodeStorage, ForeignDamagedOrReadOnlyFilesAreLeftByteIdentical) {
    {
        auto storage = Code_storage::open_path(path);
        for (int i = 0; i < 300; ++i)
            ASSERT_EQ(
                store(*storage, L"zp_" + std::to_wstring(i) + L"_user_id", std::wstring(200, L'x')),
                Code_result::ok);
        EXPECT_FALSE(Db_files::can_delete(path)) << "the file is in use while open";
    }
    const std::string whole = Test_support::read_file(path);
    for (const std::string& content :
         {Db_files::random_bytes(8192, 42), whole.substr(0, whole.size() / 2), whole}) {
        ASSERT_TRUE(Test_support::write_file(path, content));
        const bool read_only = content == whole;
        Db_files::set_read_only(path, read_only);
        Trace_capture trace;
        {
            auto storage = Code_storage::open_path(path);
            EXPECT_EQ(trace.errors("Code_storage::open").size(), 1u);
            EXPECT_NE(store(*storage, L"zp_new_user_id"), Code_result::ok);
            EXPECT_EQ(load(*storage, L"zp_1_user_id"),
                      read_only ? Code_result::ok : Code_result::prepare_failed);
            EXPECT_NE(storage->delete_code(L"zp_2_user_id"), Code_result::ok);
        }
        EXPECT_TRUE(Test_support::read_file(path) == content) << "the user's file was changed";
        EXPECT_FALSE(Test_support::file_exists(path + L"-journal"));
    }
}

TEST_F(CodeStorage, BackupsRoundTripAndFailuresKeepEveryFileWhole) {
    std::unique_ptr<Code_storage> storage;
    const std::string saved = back_up(storage, L"first");
    EXPECT_TRUE(saved == Test_support::read_file(path));
    ASSERT_EQ(store(*storage, L"zp_1_user_id", L"changed"), Code_result::ok);
    ASSERT_EQ(store(*storage, L"zp_2_user_id"), Code_result::ok);
    ASSERT_EQ(storage->restore_backup(backups), Code_result::ok);
    ASSERT_EQ(load(*storage, L"zp_1_user_id"), Code_result::ok);
    EXPECT_EQ(code, L"first");
    EXPECT_EQ(load(*storage, L"zp_2_user_id"), Code_result::not_found);
    // Backing up onto the file itself must fail, not truncate it.
    EXPECT_EQ(storage->create_backup(dir), Code_result::prepare_failed);
    EXPECT_EQ(load(*storage, L"zp_1_user_id"), Code_result::ok);

    // A copy that breaks off after it began (a source that opens but cannot
    // be read), finds no source, is the backup itself (under any spelling)
    // or meets a read-only backup leaves the backup as it was.
    const std::wstring other_spelling = dir + L"\\BACKUPS\\.\\Code_Storage.DB";
    for (const std::wstring& source : {std::wstring(L"Z:\\proc\\self\\mem"),
                                       std::wstring(L"gone.db"), backup, other_spelling, path}) {
        const bool read_only = source == path;
        Db_files::set_read_only(backup, read_only);
        std::string error;
        EXPECT_FALSE(copy_file_over(source, backup, error)) << source;
        EXPECT_FALSE(error.empty());
        Db_files::set_read_only(backup, false);
        EXPECT_TRUE(Test_support::read_file(backup) == saved) << source;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(backups),
                            std::filesystem::directory_iterator()),
              1)
        << "no stray file beside the backup";
    // A restore without a usable backup keeps the database.
    ASSERT_TRUE(Test_support::write_file(backup, Db_files::random_bytes(4096, 7)));
    const std::string before = Test_support::read_file(path);
    for (const std::wstring& from : {backups, dir + L"\\missing"}) {
        EXPECT_EQ(storage->restore_backup(from), Code_result::prepare_failed);
        EXPECT_EQ(load(*storage, L"zp_1_user_id"), Code_result::ok);
        EXPECT_TRUE(Test_support::read_file(path) == before);
    }
}

// Only a backup of our own shape and of a version not newer than ours
// replaces the file; anything else leaves it byte-identical and in use.
TEST_F(CodeStorage, RestoreChecksTablesColumnsAndVersionFirst) {
    std::unique_ptr<Code_storage> storage;
    const std::string good = back_up(storage, L"backed up");
    ASSERT_EQ(store(*storage, L"zp_1_user_id", L"live"), Code_result::ok);
    struct Case {
        const char* change; // applied to a copy of the good backup
        bool restored;
    } cases[] = {
        {"ALTER TABLE code_store ADD COLUMN extra TEXT;", false},
        {"ALTER TABLE code_store DROP COLUMN category;", false},
        {"ALTER TABLE meta ADD COLUMN extra;", false},
        {"UPDATE meta SET value=2 WHERE key='version';", false},
        {"INSERT INTO meta VALUES ('version', 7);", false},
        {"UPDATE meta SET value='one' WHERE key='version';", false},
        {"DROP TABLE code_store;", false},
        // From before the category column: migrated on opening.
        {"ALTER TABLE code_store DROP COLUMN category; DELETE FROM meta;", true},
        {"", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.change);
        ASSERT_TRUE(Test_support::write_file(backup, good));
        ASSERT_TRUE(Db_files::run(Db_files::open_raw(backup).get(), c.change));
        const std::string before = Test_support::read_file(path);
        std::string reason;
        EXPECT_EQ(storage->check_backup(backups, reason), c.restored);
        EXPECT_EQ(c.restored, reason.empty()) << reason;
        EXPECT_EQ(storage->restore_backup(backups),
                  c.restored ? Code_result::ok : Code_result::prepare_failed);
        ASSERT_EQ(load(*storage, L"zp_1_user_id"), Code_result::ok);
        EXPECT_EQ(code, c.restored ? L"backed up" : L"live");
        EXPECT_EQ(Test_support::read_file(path) == before, !c.restored);
        ASSERT_EQ(store(*storage, L"zp_1_user_id", L"live"), Code_result::ok) << "still usable";
        Connection db = Db_files::open_raw(path);
        EXPECT_EQ(scalar(db.get(), "SELECT value FROM meta WHERE key='version'"), "1");
    }
}

// Workers read while the host thread restores: no reader ever meets the
// connection closed or half reopened.
TEST_F(CodeStorage, ReadersNeverMeetTheConnectionOfARestore) {
    std::unique_ptr<Code_storage> storage;
    back_up(storage, L"c");
    std::atomic<bool> done{false};
    std::atomic<int> reads{0}, failures{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 2; ++i)
        readers.emplace_back([&] {
            std::wstring t, c, n, d, g;
            while (!done) {
                if (storage->load_code(L"zp_1_user_id", t, c, n, d, g) != Code_result::ok)
                    ++failures;
                ++reads;
            }
        });
    while (reads == 0)
        Sleep(1);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(storage->restore_backup(backups), Code_result::ok);
    done = true;
    for (std::thread& reader : readers)
        reader.join();
    EXPECT_EQ(failures.load(), 0) << "of " << reads.load() << " reads";
}

} // namespace
