#include "contract/win32_text.h"
#include "storage/code_storage.h"
#include "storage/file_copy.h"

#include "db_files.h"
#include "support/test_support.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace {

using Db_files::scalar;

struct Row {
    std::wstring ident, name, description, category;
    bool null_name = false, null_category = false;
};

class Collecting_visitor : public Code_row_visitor {
public:
    void visit(const wchar_t* ident, const wchar_t* name, const wchar_t* description,
               const wchar_t* category) override {
        rows.push_back({ident ? ident : L"", name ? name : L"", description ? description : L"",
                        category ? category : L"", name == nullptr, category == nullptr});
    }
    std::vector<Row> rows;
};

class CodeStorage : public ::testing::Test {
protected:
    void SetUp() override {
        dir = Test_support::make_temp_directory(L"code_storage");
        path = dir + L"\\code_storage.db";
    }
    void TearDown() override {
        Db_files::set_read_only(path, false);
        Test_support::remove_tree(dir);
    }
    int store(Code_storage& storage, const std::wstring& ident, const std::wstring& code = L"c",
              const std::wstring& type = L"typing_interpreter") {
        return storage.store_code(ident, type, code, L"name of " + ident, L"", L"");
    }

    std::wstring dir;
    std::wstring path;
};

TEST_F(CodeStorage, NewFileGetsSchemaAndVersionAndReopeningChangesNothing) {
    { auto storage = Code_storage::open_path(path); }
    Connection db = Db_files::open_raw(path);
    EXPECT_EQ(scalar(db.get(), "SELECT count(*) FROM pragma_table_info('code_store')"), "6");
    EXPECT_EQ(scalar(db.get(), "SELECT name FROM pragma_table_info('code_store') WHERE cid=5"),
              "category");
    EXPECT_EQ(scalar(db.get(), "SELECT value FROM meta WHERE key='version'"), "1");
    EXPECT_EQ(scalar(db.get(), "SELECT count(*) FROM meta"), "1");
    db.reset();
    std::string before = Test_support::read_file(path);
    { auto storage = Code_storage::open_path(path); }
    EXPECT_EQ(Test_support::read_file(path), before);
}

TEST_F(CodeStorage, OldDatabaseWithoutCategoryIsMigratedAndKeepsItsRows) {
    {
        Connection db = Db_files::open_raw(path);
        ASSERT_TRUE(Db_files::run(db.get(),
                                  "CREATE TABLE code_store (ident TEXT PRIMARY KEY, name TEXT, "
                                  "description TEXT, type TEXT, code TEXT);"
                                  "CREATE TABLE meta (key TEXT, value INTEGER);"
                                  "INSERT INTO code_store VALUES ('zp_1_user_id', 'Greeting', "
                                  "'says hello', 'typing_interpreter', 'Hello!');"));
    }
    auto storage = Code_storage::open_path(path);
    std::wstring type, code, name, description, category = L"stale";
    ASSERT_EQ(storage->load_code(L"zp_1_user_id", type, code, name, description, category),
              Code_result::ok);
    EXPECT_EQ(type, L"typing_interpreter");
    EXPECT_EQ(code, L"Hello!");
    EXPECT_EQ(name, L"Greeting");
    EXPECT_EQ(description, L"says hello");
    EXPECT_EQ(category, L"");
    Connection db = Db_files::open_raw(path);
    EXPECT_EQ(scalar(db.get(), "SELECT value FROM meta WHERE key='version'"), "1");
    EXPECT_EQ(scalar(db.get(), "SELECT category FROM code_store"), "<null>");
}

TEST_F(CodeStorage, StoresInColumnOrderReplacesWholeRowsAndRoundTripsAnyText) {
    auto storage = Code_storage::open_path(path);
    ASSERT_EQ(storage->store_code(L"zp_7_user_id", L"url_interpreter", L"the code", L"the name",
                                  L"the description", L"the category"),
              Code_result::ok);
    {
        Connection db = Db_files::open_raw(path);
        EXPECT_EQ(scalar(db.get(), "SELECT ident||'|'||name||'|'||description||'|'||type||'|'||"
                                   "code||'|'||category FROM code_store"),
                  "zp_7_user_id|the name|the description|url_interpreter|the code|the category");
    }
    // Replacing an ident replaces all six columns, emptied ones included.
    ASSERT_EQ(
        storage->store_code(L"zp_7_user_id", L"batch_interpreter", L"echo", L"Other", L"", L""),
        Code_result::ok);
    std::wstring type, code, name, description, category;
    ASSERT_EQ(storage->load_code(L"zp_7_user_id", type, code, name, description, category),
              Code_result::ok);
    EXPECT_EQ(type + L"|" + code + L"|" + name + L"|" + description + L"|" + category,
              L"batch_interpreter|echo|Other||");

    for (const std::wstring& text : Db_files::nasty_texts) {
        std::wstring ident = L"id " + text;
        ASSERT_EQ(
            storage->store_code(ident, text, text + L"c", text + L"n", text + L"d", text + L"g"),
            Code_result::ok);
        ASSERT_EQ(storage->load_code(ident, type, code, name, description, category),
                  Code_result::ok);
        EXPECT_EQ(type, text);
        EXPECT_EQ(code, text + L"c");
        EXPECT_EQ(name, text + L"n");
        EXPECT_EQ(description, text + L"d");
        EXPECT_EQ(category, text + L"g");
        Collecting_visitor visitor;
        ASSERT_EQ(storage->list_by_type(text, visitor), Code_result::ok);
        ASSERT_EQ(visitor.rows.size(), 1u);
        EXPECT_EQ(visitor.rows[0].ident, ident);
        EXPECT_EQ(visitor.rows[0].description, text + L"d");
    }
    Connection db = Db_files::open_raw(path);
    EXPECT_EQ(scalar(db.get(), "SELECT count(*) FROM code_store"),
              std::to_string(1 + std::size(Db_files::nasty_texts)));
}

TEST_F(CodeStorage, ArgumentsAndMissingRowsGiveTheirResults) {
    auto storage = Code_storage::open_path(path);
    ASSERT_EQ(store(*storage, L"zp_1_user_id"), Code_result::ok);
    std::wstring type = L"x", code = L"x", name = L"x", description = L"x", category = L"x";
    EXPECT_EQ(storage->load_code(L"zp_9_user_id", type, code, name, description, category),
              Code_result::not_found);
    EXPECT_EQ(type + code + name + description + category, L"") << "out-strings are cleared";
    EXPECT_EQ(storage->load_code(L"", type, code, name, description, category),
              Code_result::missing_argument);
    EXPECT_EQ(storage->store_code(L"", L"t", L"c", L"n", L"", L""), Code_result::missing_argument);
    EXPECT_EQ(storage->store_code(L"i", L"", L"c", L"n", L"", L""), Code_result::missing_argument);
    EXPECT_EQ(storage->store_code(L"zp_1_user_id", L"t", L"", L"n", L"", L""),
              Code_result::missing_argument);
    EXPECT_EQ(storage->load_code(L"zp_1_user_id", type, code, name, description, category),
              Code_result::ok);
    EXPECT_EQ(code, L"c") << "an empty code must not overwrite the stored one";
    Collecting_visitor visitor;
    EXPECT_EQ(storage->list_by_type(L"", visitor), Code_result::missing_argument);
    EXPECT_EQ(storage->delete_code(L""), Code_result::missing_argument);
    EXPECT_EQ(storage->delete_code(L"zp_404_user_id"), Code_result::ok);
    EXPECT_EQ(storage->delete_code(L"zp_1_user_id"), Code_result::ok);
    EXPECT_EQ(storage->load_code(L"zp_1_user_id", type, code, name, description, category),
              Code_result::not_found);
}

TEST_F(CodeStorage, ListByTypeVisitsOnlyThatTypeInOrderWithNullsAsNullPointers) {
    auto storage = Code_storage::open_path(path);
    ASSERT_EQ(store(*storage, L"a"), Code_result::ok);
    ASSERT_EQ(store(*storage, L"b", L"echo", L"batch_interpreter"), Code_result::ok);
    ASSERT_EQ(store(*storage, L"c"), Code_result::ok);
    {
        Connection db = Db_files::open_raw(path);
        ASSERT_TRUE(Db_files::run(db.get(), "INSERT INTO code_store VALUES ('d', NULL, NULL, "
                                            "'typing_interpreter', 'x', NULL);"));
    }
    Collecting_visitor visitor;
    ASSERT_EQ(storage->list_by_type(L"typing_interpreter", visitor), Code_result::ok);
    ASSERT_EQ(visitor.rows.size(), 3u);
    EXPECT_EQ(visitor.rows[0].ident, L"a");
    EXPECT_EQ(visitor.rows[1].ident, L"c");
    EXPECT_EQ(visitor.rows[2].ident, L"d");
    EXPECT_FALSE(visitor.rows[0].null_name);
    EXPECT_TRUE(visitor.rows[2].null_name);
    EXPECT_TRUE(visitor.rows[2].null_category);
    Collecting_visitor none;
    EXPECT_EQ(storage->list_by_type(L"url_interpreter", none), Code_result::ok);
    EXPECT_TRUE(none.rows.empty());
}

TEST_F(CodeStorage, UserIdentsAreNeverHandedOutTwice) {
    auto storage = Code_storage::open_path(path);
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
    {
        Connection db = Db_files::open_raw(path);
        ASSERT_TRUE(Db_files::run(db.get(), "DELETE FROM meta WHERE key<>'version';"));
    }
    storage = Code_storage::open_path(path);
    EXPECT_EQ(next(), L"zp_6_user_id");
}

TEST_F(CodeStorage, OpenFindsTheFileBesideTheExecutable) {
    std::wstring folder_name = L"zaptor_storage_test_" + std::to_wstring(GetCurrentProcessId());
    std::wstring folder = Test_support::exe_directory() + folder_name;
    std::filesystem::create_directories(folder);
    {
        auto storage = Code_storage::open(folder_name + L"\\code_storage.db");
        EXPECT_EQ(store(*storage, L"zp_1_user_id"), Code_result::ok);
    }
    EXPECT_TRUE(Test_support::file_exists(folder + L"\\code_storage.db"));
    Test_support::remove_tree(folder);
    EXPECT_EQ(executable_directory() + L"\\", Test_support::exe_directory());
}

TEST_F(CodeStorage, MissingFolderIsReportedAndNothingIsCreated) {
    std::wstring missing = dir + L"\\no_such_folder\\code_storage.db";
    Trace_capture trace;
    auto storage = Code_storage::open_path(missing);
    auto errors = trace.errors("Code_storage::open");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("Cannot open code storage"), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("no_such_folder"), std::string::npos) << errors[0];
    EXPECT_EQ(store(*storage, L"zp_1_user_id"), Code_result::prepare_failed);
    std::wstring type, code, name, description, category;
    EXPECT_EQ(storage->load_code(L"zp_1_user_id", type, code, name, description, category),
              Code_result::prepare_failed);
    std::wstring ident;
    EXPECT_FALSE(storage->make_user_ident(ident));
    EXPECT_FALSE(Test_support::file_exists(dir + L"\\no_such_folder"));
    EXPECT_EQ(storage->create_backup(dir), Code_result::prepare_failed);

    auto no_path = Code_storage::open_path(L"");
    EXPECT_EQ(store(*no_path, L"zp_1_user_id"), Code_result::not_open);
    EXPECT_EQ(no_path->create_backup(dir), Code_result::missing_argument);
    EXPECT_EQ(no_path->restore_backup(dir), Code_result::missing_argument);
}

TEST_F(CodeStorage, ForeignOrDamagedFilesAreReportedAndLeftByteIdentical) {
    // Random bytes, and a real database cut in half.
    std::string garbage = Db_files::random_bytes(8192, 42);
    std::string truncated;
    {
        std::wstring whole = dir + L"\\whole.db";
        {
            auto storage = Code_storage::open_path(whole);
            for (int i = 0; i < 300; ++i)
                ASSERT_EQ(store(*storage, L"zp_" + std::to_wstring(i) + L"_user_id",
                                std::wstring(200, L'x')),
                          Code_result::ok);
        }
        std::string bytes = Test_support::read_file(whole);
        ASSERT_GT(bytes.size(), 16384u);
        truncated = bytes.substr(0, bytes.size() / 2);
    }
    for (const std::string& content : {garbage, truncated}) {
        SCOPED_TRACE(content == garbage ? "random bytes" : "truncated");
        ASSERT_TRUE(Test_support::write_file(path, content));
        Trace_capture trace;
        {
            auto storage = Code_storage::open_path(path);
            EXPECT_GE(trace.errors("Code_storage::open").size(), 1u);
            EXPECT_NE(store(*storage, L"zp_new_user_id"), Code_result::ok);
            std::wstring type, code, name, description, category;
            storage->load_code(L"zp_1_user_id", type, code, name, description, category);
            Collecting_visitor visitor;
            storage->list_by_type(L"typing_interpreter", visitor);
            storage->delete_code(L"zp_2_user_id");
        }
        EXPECT_TRUE(Test_support::read_file(path) == content) << "the user's file was changed";
        EXPECT_FALSE(Test_support::file_exists(path + L"-journal"));
    }
}

TEST_F(CodeStorage, ReadOnlyFileServesReadsAndRefusesWritesUnchanged) {
    {
        auto storage = Code_storage::open_path(path);
        ASSERT_EQ(store(*storage, L"zp_1_user_id", L"kept"), Code_result::ok);
    }
    std::string before = Test_support::read_file(path);
    ASSERT_TRUE(Db_files::set_read_only(path, true));
    Trace_capture trace;
    auto storage = Code_storage::open_path(path);
    EXPECT_EQ(trace.errors("Code_storage::open").size(), 1u) << "read-only is reported";
    std::wstring type, code, name, description, category;
    ASSERT_EQ(storage->load_code(L"zp_1_user_id", type, code, name, description, category),
              Code_result::ok);
    EXPECT_EQ(code, L"kept");
    EXPECT_EQ(store(*storage, L"zp_2_user_id"), Code_result::step_failed);
    EXPECT_EQ(storage->delete_code(L"zp_1_user_id"), Code_result::step_failed);
    EXPECT_EQ(trace.errors("Code_storage::delete_code").size(), 1u);
    storage.reset();
    EXPECT_TRUE(Test_support::read_file(path) == before);
}

TEST_F(CodeStorage, BackupAndRestoreRoundTripByteForByte) {
    Trace_capture trace;
    std::wstring backups = dir + L"\\backups";
    std::filesystem::create_directories(backups);
    auto storage = Code_storage::open_path(path);
    ASSERT_EQ(store(*storage, L"zp_1_user_id", L"first"), Code_result::ok);
    ASSERT_EQ(storage->create_backup(backups), Code_result::ok);
    std::string backup = Test_support::read_file(backups + L"\\code_storage.db");
    EXPECT_TRUE(backup == Test_support::read_file(path));

    ASSERT_EQ(store(*storage, L"zp_1_user_id", L"changed"), Code_result::ok);
    ASSERT_EQ(store(*storage, L"zp_2_user_id"), Code_result::ok);
    ASSERT_EQ(storage->restore_backup(backups), Code_result::ok);
    EXPECT_EQ(trace.errors("Code_storage::restore_backup").size(), 0u);
    std::wstring type, code, name, description, category;
    ASSERT_EQ(storage->load_code(L"zp_1_user_id", type, code, name, description, category),
              Code_result::ok);
    EXPECT_EQ(code, L"first");
    EXPECT_EQ(storage->load_code(L"zp_2_user_id", type, code, name, description, category),
              Code_result::not_found);

    std::wstring second = dir + L"\\second";
    std::filesystem::create_directories(second);
    ASSERT_EQ(storage->create_backup(second), Code_result::ok);
    EXPECT_TRUE(Test_support::read_file(second + L"\\code_storage.db") == backup);
    // The storage works on after the restore.
    EXPECT_EQ(store(*storage, L"zp_3_user_id"), Code_result::ok);
    // Backing up onto the file itself must fail, not truncate it.
    EXPECT_EQ(storage->create_backup(dir), Code_result::prepare_failed);
    EXPECT_EQ(storage->load_code(L"zp_3_user_id", type, code, name, description, category),
              Code_result::ok);
}

// A copy that breaks off after it began (a source that opens but cannot be
// read: Wine's view of the process's own memory) or finds no source leaves
// the previous backup as it was, and no stray file beside it.
TEST_F(CodeStorage, BackupThatBreaksOffLeavesThePreviousBackupWhole) {
    const std::wstring backups = dir + L"\\backups";
    std::filesystem::create_directories(backups);
    const std::wstring backup = backups + L"\\code_storage.db";
    auto storage = Code_storage::open_path(path);
    ASSERT_EQ(store(*storage, L"zp_1_user_id"), Code_result::ok);
    ASSERT_EQ(storage->create_backup(backups), Code_result::ok);
    const std::string before = Test_support::read_file(backup);
    ASSERT_FALSE(before.empty());
    for (const wchar_t* source : {L"Z:\\proc\\self\\mem", L"gone.db"}) {
        std::string error;
        EXPECT_FALSE(copy_file_over(source, backup, error)) << source;
        EXPECT_FALSE(error.empty());
        EXPECT_TRUE(Test_support::read_file(backup) == before) << source;
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(backups),
                            std::filesystem::directory_iterator()),
              1);
}

TEST_F(CodeStorage, RestoreWithoutUsableBackupAnswersOneAndKeepsTheDatabase) {
    auto storage = Code_storage::open_path(path);
    ASSERT_EQ(store(*storage, L"zp_1_user_id", L"precious"), Code_result::ok);
    std::string before = Test_support::read_file(path);
    std::wstring empty_dir = dir + L"\\empty";
    std::wstring bad_dir = dir + L"\\bad";
    std::filesystem::create_directories(empty_dir);
    std::filesystem::create_directories(bad_dir);
    ASSERT_TRUE(
        Test_support::write_file(bad_dir + L"\\code_storage.db", Db_files::random_bytes(4096, 7)));
    for (const std::wstring& from : {empty_dir, bad_dir, dir + L"\\missing"}) {
        Trace_capture trace;
        EXPECT_EQ(storage->restore_backup(from), Code_result::prepare_failed);
        EXPECT_EQ(trace.errors("Code_storage::restore_backup").size(), 1u);
        std::wstring type, code, name, description, category;
        ASSERT_EQ(storage->load_code(L"zp_1_user_id", type, code, name, description, category),
                  Code_result::ok);
        EXPECT_EQ(code, L"precious");
        EXPECT_TRUE(Test_support::read_file(path) == before);
    }
}

TEST_F(CodeStorage, DestructionClosesTheFile) {
    {
        auto storage = Code_storage::open_path(path);
        ASSERT_EQ(store(*storage, L"zp_1_user_id"), Code_result::ok);
        std::wstring ident;
        ASSERT_TRUE(storage->make_user_ident(ident));
        EXPECT_FALSE(Db_files::can_delete(path)) << "the file is in use while open";
    }
    EXPECT_TRUE(Db_files::can_delete(path));
}

} // namespace
