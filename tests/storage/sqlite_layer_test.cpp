#include "storage/sqlite_layer.h"

#include "db_files.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

#include <cwchar>

namespace {

Connection memory_db() {
    sqlite3* raw = nullptr;
    sqlite3_open16(L":memory:", &raw);
    return Connection(raw);
}

int live_statements(sqlite3* db) {
    int count = 0;
    for (sqlite3_stmt* s = sqlite3_next_stmt(db, nullptr); s; s = sqlite3_next_stmt(db, s))
        ++count;
    return count;
}

TEST(SqliteLayer, SyntaxErrorGivesEmptyStatementAndOneLineWithTheWholeQuery) {
    Connection db = memory_db();
    Trace_capture trace;
    const wchar_t sql[] = L"SELEC ident FROM nowhere WHERE x='a';";
    Statement statement = SQLite::prepare_statement(db.get(), sql, std::wcslen(sql));
    EXPECT_FALSE(statement);
    auto errors = trace.errors("SQLite::prepare_statement");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "SQLite error: near \"SELEC\": syntax error for query "
                         "'SELEC ident FROM nowhere WHERE x='a';'");
    EXPECT_EQ(trace.error_count(), 1u);
}

TEST(SqliteLayer, LengthIsCountedInCharactersNotBytes) {
    Connection db = memory_db();
    // Only the first 8 characters form the statement; the rest is garbage
    // that must not reach SQLite.
    const wchar_t sql[] = L"SELECT 7garbage that would not parse";
    Statement statement = SQLite::prepare_statement(db.get(), sql, 8);
    ASSERT_TRUE(statement);
    ASSERT_EQ(sqlite3_step(statement.get()), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(statement.get(), 0), 7);
}

TEST(SqliteLayer, ExecuteCountsRowsAndDoneAsSuccessAndFailuresAsFailure) {
    Connection db = memory_db();
    EXPECT_TRUE(SQLite::execute(db.get(), L"CREATE TABLE t (a TEXT NOT NULL);"));
    EXPECT_TRUE(SQLite::execute(db.get(), L"INSERT INTO t VALUES ('x');"));
    EXPECT_TRUE(SQLite::execute(db.get(), L"SELECT a FROM t;")); // SQLITE_ROW
    Trace_capture trace;
    EXPECT_FALSE(SQLite::execute(db.get(), L"INSERT INTO t VALUES (NULL);"));    // step fails
    EXPECT_FALSE(SQLite::execute(db.get(), L"INSERT INTO missing VALUES (1);")); // prepare fails
    EXPECT_EQ(trace.errors("SQLite::prepare_statement").size(), 1u);
    EXPECT_EQ(live_statements(db.get()), 0) << "execute must finalize in every case";
    EXPECT_EQ(Db_files::scalar(db.get(), "SELECT count(*) FROM t"), "1");
    for (int code : {0, 100, 101})
        EXPECT_TRUE(SQLite::is_success(code)) << code;
    for (int code : {1, 5, 19, 21, 99, 102})
        EXPECT_FALSE(SQLite::is_success(code)) << code;
}

TEST(SqliteLayer, BoundTextsAndColumnsKeepEveryCodeUnit) {
    Connection db = memory_db();
    ASSERT_TRUE(SQLite::execute(db.get(), L"CREATE TABLE t (a TEXT);"));
    for (const std::wstring& text : Db_files::nasty_texts) {
        ASSERT_TRUE(SQLite::execute(db.get(), L"DELETE FROM t;"));
        Statement insert = SQLite::prepare_statement(db.get(), L"INSERT INTO t VALUES (?1);", 26);
        ASSERT_TRUE(insert);
        ASSERT_TRUE(SQLite::bind_string(insert.get(), 1, text.c_str(), text.size()));
        ASSERT_EQ(sqlite3_step(insert.get()), SQLITE_DONE);
        Statement select = SQLite::prepare_statement(db.get(), L"SELECT a FROM t;", 16);
        ASSERT_EQ(sqlite3_step(select.get()), SQLITE_ROW);
        Text_view view = SQLite::column_text(select.get(), 0);
        ASSERT_NE(view.text, nullptr);
        EXPECT_EQ(std::wstring(view.text, view.length), text);
    }
    // An embedded NUL is part of a text given by length.
    const wchar_t with_nul[] = {L'a', L'\0', L'b'};
    Statement insert = SQLite::prepare_statement(db.get(), L"SELECT length(CAST(?1 AS BLOB));", 32);
    ASSERT_TRUE(SQLite::bind_string(insert.get(), 1, with_nul, 3));
    ASSERT_EQ(sqlite3_step(insert.get()), SQLITE_ROW);
    EXPECT_EQ(sqlite3_column_int(insert.get(), 0), 6) << "three UTF-16 code units, six bytes";
}

TEST(SqliteLayer, NullColumnReadsAsNullPointerWithLengthZero) {
    Connection db = memory_db();
    Statement select = SQLite::prepare_statement(db.get(), L"SELECT NULL, '';", 16);
    ASSERT_EQ(sqlite3_step(select.get()), SQLITE_ROW);
    Text_view null_column = SQLite::column_text(select.get(), 0);
    EXPECT_EQ(null_column.text, nullptr);
    EXPECT_EQ(null_column.length, 0u);
    Text_view empty_column = SQLite::column_text(select.get(), 1);
    EXPECT_NE(empty_column.text, nullptr);
    EXPECT_EQ(empty_column.length, 0u);
}

TEST(SqliteLayer, BindFailureIsTracedWithCodeTextAndByteCount) {
    Connection db = memory_db();
    Statement select = SQLite::prepare_statement(db.get(), L"SELECT ?1;", 10);
    ASSERT_TRUE(select);
    Trace_capture trace;
    EXPECT_FALSE(SQLite::bind_string(select.get(), 2, L"abc", 3)); // no parameter 2
    auto errors = trace.errors("SQLite::bind_string");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].rfind("Error binding string to stmt 0x", 0), 0u) << errors[0];
    EXPECT_NE(errors[0].find("code: 25 string: 'abc' byte_count: 6"), std::string::npos)
        << errors[0];
}

TEST(SqliteLayer, StatementOwnsExactlyOneStatementAndMovesIt) {
    Connection db = memory_db();
    Statement first = SQLite::prepare_statement(db.get(), L"SELECT 1;", 9);
    Statement second = SQLite::prepare_statement(db.get(), L"SELECT 2;", 9);
    ASSERT_EQ(live_statements(db.get()), 2);
    sqlite3_stmt* held = first.get();
    Statement moved(std::move(first));
    EXPECT_FALSE(first);
    EXPECT_EQ(moved.get(), held);
    EXPECT_EQ(live_statements(db.get()), 2);
    moved = std::move(second); // finalizes the statement it held
    EXPECT_EQ(live_statements(db.get()), 1);
    moved.reset();
    EXPECT_EQ(live_statements(db.get()), 0);
    Statement empty;
    empty.reset(); // finalizing nothing is harmless
    EXPECT_FALSE(empty);
}

} // namespace
