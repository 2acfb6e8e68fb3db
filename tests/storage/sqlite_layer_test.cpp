#include "storage/sqlite_layer.h"

#include "db_files.h"
#include "support/trace_capture.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// Texts that break naive quoting or encoding, surrogate pairs included.
const std::wstring nasty_texts[] = {
    L"it's \"quoted\" C:\\path \\n",
    L"line one\r\nline two\nline three\ttabbed",
    L"x'); DROP TABLE code_store; --",
    L"emoji \U0001F600 and clef \U0001D11E end",
};

int live_statements(sqlite3* db) {
    int count = 0;
    for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s))
        ++count;
    return count;
}

TEST(SqliteLayer, StatementsAreCutByCharactersAndAlwaysFinalized) {
    Connection db = Db_files::open_raw(L":memory:");
    // Only the first 8 characters form the statement; the rest must not reach SQLite.
    Statement seven =
        SQLite::prepare_statement(db.get(), L"SELECT 7garbage that would not parse", 8);
    ASSERT_EQ(sqlite3_step(seven.get()), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(seven.get(), 0), 7);
    Statement moved(std::move(seven));
    EXPECT_FALSE(seven);
    EXPECT_EQ(live_statements(db.get()), 1);
    moved = SQLite::prepare_statement(db.get(), L"SELECT 2;", 9); // finalizes the one it held
    EXPECT_EQ(live_statements(db.get()), 1);
    moved.reset();

    EXPECT_TRUE(SQLite::execute(db.get(), L"CREATE TABLE t (a TEXT NOT NULL);"));
    EXPECT_TRUE(SQLite::execute(db.get(), L"INSERT INTO t VALUES ('x');"));
    EXPECT_TRUE(SQLite::execute(db.get(), L"SELECT a FROM t;")); // a row is success too
    Trace_capture trace;
    EXPECT_FALSE(SQLite::execute(db.get(), L"INSERT INTO t VALUES (NULL);"));    // step fails
    EXPECT_FALSE(SQLite::execute(db.get(), L"INSERT INTO missing VALUES (1);")); // prepare fails
    // The failed query is traced whole.
    auto errors = trace.errors("SQLite::prepare_statement");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_NE(errors[0].find("'INSERT INTO missing VALUES (1);'"), std::string::npos) << errors[0];
    EXPECT_EQ(live_statements(db.get()), 0) << "execute must finalize in every case";
    EXPECT_EQ(Db_files::scalar(db.get(), "SELECT count(*) FROM t"), "1");
}

TEST(SqliteLayer, BoundTextsAndColumnsKeepEveryCodeUnit) {
    Connection db = Db_files::open_raw(L":memory:");
    for (const std::wstring& text : nasty_texts) {
        Statement echo = SQLite::prepare_statement(db.get(), L"SELECT ?1, NULL, '';", 20);
        ASSERT_TRUE(SQLite::bind_string(echo.get(), 1, text.c_str(), text.size()));
        ASSERT_EQ(sqlite3_step(echo.get()), SQLITE_ROW);
        Text_view view = SQLite::column_text(echo.get(), 0);
        EXPECT_EQ(std::wstring(view.text, view.length), text);
        // NULL reads as a null pointer, an empty text as an empty one.
        EXPECT_EQ(SQLite::column_text(echo.get(), 1).text, nullptr);
        EXPECT_EQ(SQLite::column_text(echo.get(), 1).length, 0u);
        EXPECT_NE(SQLite::column_text(echo.get(), 2).text, nullptr);
    }
    // An embedded NUL is part of a text given by length: six bytes.
    Statement bytes =
        SQLite::prepare_statement(db.get(), L"SELECT length(CAST(?1 AS BLOB)), ?2;", 36);
    ASSERT_TRUE(SQLite::bind_string(bytes.get(), 1, L"a\0b", 3));
    EXPECT_FALSE(SQLite::bind_string(bytes.get(), 3, L"abc", 3)); // no parameter 3
    ASSERT_EQ(sqlite3_step(bytes.get()), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(bytes.get(), 0), 6);
}

// Both ways of opening wait for a lock that another connection holds for a
// moment (the translation file is read through the read-only one).
TEST(SqliteLayer, ConnectionsWaitForABriefLockElsewhere) {
    const std::wstring dir = Test_support::make_temp_directory(L"sqlite_busy");
    const std::wstring path = dir + L"\\busy.db";
    Connection other = Db_files::open_raw(path);
    ASSERT_TRUE(Db_files::run(other.get(), "CREATE TABLE t (a); INSERT INTO t VALUES (7);"));
    for (bool read_only : {false, true}) {
        std::wstring error;
        Connection db = read_only ? SQLite::open_read_only(path, error) : SQLite::open(path, error);
        ASSERT_TRUE(Db_files::run(other.get(), "BEGIN EXCLUSIVE;"));
        std::thread release([&] {
            Sleep(500);
            Db_files::run(other.get(), "COMMIT;");
        });
        EXPECT_EQ(Db_files::scalar(db.get(), "SELECT a FROM t"), "7") << read_only;
        release.join();
    }
    other.reset();
    Test_support::remove_tree(dir);
}

} // namespace
