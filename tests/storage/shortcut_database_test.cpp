#include "storage/shortcut_database.h"

#include "db_files.h"
#include "support/test_support.h"
#include "support/trace_capture.h"

#include <gtest/gtest.h>

#include <iterator>
#include <stdexcept>
#include <vector>

namespace {

Binding_map load(Shortcut_database& db) {
    Binding_map map;
    EXPECT_TRUE(db.load_all(map));
    return map;
}

class ShortcutDatabase : public ::testing::Test {
protected:
    std::wstring dir = Test_support::make_temp_directory(L"shortcuts");
    std::wstring path = dir + L"\\zaptor.db";
    void TearDown() override { Test_support::remove_tree(dir); }
};

TEST_F(ShortcutDatabase, StoresReplacesRemovesAndLoadsInKeyOrder) {
    {
        Shortcut_database db(path);
        db.store(0x10041, L"direct_a", L"n");
        db.store(0x41, L"zp_uppercase", L"To upper case");
        db.store(0x41, L"zp_lowercase", L"To lower case"); // replaces
        db.store(0x80000042u, L"zp_high", L"High bit");    // all 32 bits survive
        EXPECT_FALSE(db.store(0x43, L"", L"Name"));        // no ident: nothing written
        EXPECT_FALSE(db.store(0x44, L"zp_x", L""));        // no name: nothing written
        db.store(0x45, L"zp_gone", L"g");
        db.store(0x10045, L"zp_gone", L"g");
        db.remove_ident(L"zp_gone");
        db.store(0x46, L"zp_key", L"k");
        db.remove_key(0x46);
        EXPECT_EQ(load(db).size(), 3u); // a second load: the statement was reset
    }
    Connection raw = Db_files::open_raw(path);
    ASSERT_TRUE(Db_files::run(raw.get(), "INSERT INTO key_bindings VALUES (67, '', 'n');"));
    Shortcut_database reopened(path);
    Binding_map loaded = load(reopened);
    std::vector<std::uint32_t> keys;
    for (const auto& entry : loaded)
        keys.push_back(entry.first);
    // Ordered by the low half first; the row without an ident is skipped.
    EXPECT_EQ(keys, (std::vector<std::uint32_t>{0x41, 0x10041, 0x80000042u}));
    EXPECT_EQ(loaded.at(0x41).ident, L"zp_lowercase");
    EXPECT_EQ(loaded.at(0x41).name, L"To lower case");
}

// A user's file that cannot be used is reported and never changed.
TEST_F(ShortcutDatabase, UnusableFilesThrowOrFailWritesAndStayUntouched) {
    EXPECT_THROW(Shortcut_database(dir + L"\\missing\\zaptor.db"), std::runtime_error);
    EXPECT_FALSE(Test_support::file_exists(dir + L"\\missing"));
    {
        Shortcut_database db(path);
        for (std::uint32_t key = 0; key < 2000; ++key)
            db.store(key, L"zp_ident_" + std::to_wstring(key), std::wstring(60, L'n'));
        EXPECT_FALSE(Db_files::can_delete(path));
    }
    const std::string whole = Test_support::read_file(path);
    for (const std::string& bytes :
         {Db_files::random_bytes(4096, 3), whole.substr(0, whole.size() / 3)}) {
        ASSERT_TRUE(Test_support::write_file(path, bytes));
        Trace_capture trace;
        try {
            Shortcut_database db(path);
            Binding_map kept{{1, {L"zp_kept", L"k"}}};
            EXPECT_FALSE(db.load_all(kept));
            EXPECT_EQ(kept.size(), 1u) << "a load that fails part-way hands out nothing";
            EXPECT_FALSE(db.store(5000, L"zp_new", L"New"));
        } catch (const std::runtime_error&) {
        }
        EXPECT_GE(trace.error_count(), 1u);
        EXPECT_TRUE(Test_support::read_file(path) == bytes);
        EXPECT_TRUE(Db_files::can_delete(path)) << "a failed construction closes the connection";
    }
}

// Rows that we never wrote (another tool, a damaged export): each is skipped
// or read in a defined way with a trace line, and the good rows still load.
TEST_F(ShortcutDatabase, OddRowsAreSkippedOrReadDefinedWithATraceLine) {
    {
        Connection raw = Db_files::open_raw(path);
        // Typeless columns, so that every odd value can be stored.
        ASSERT_TRUE(Db_files::run(raw.get(), "CREATE TABLE key_bindings (key, ident, name);"));
    }
    const std::string long_text =
        "'" + std::string(Shortcut_database::max_text_length + 1, 'x') + "'";
    struct Row {
        std::string values; // key, ident, name
        bool loads;
    } rows[] = {
        {"65, 'zp_good', 'Good'", true},
        {"66, NULL, 'n'", false},
        {"67, 'zp_no_name', NULL", true}, // an empty name, traced
        {"68, 42, 'n'", false},           // an ident that is a number
        {"69, x'00ff', 'n'", false},      // an ident that is bytes
        {"'70', 'zp_text_key', 'n'", false},
        {"71.5, 'zp_real_key', 'n'", false},
        {"4294967296, 'zp_wide', 'n'", false},
        {"72, " + long_text + ", 'n'", false},
        {"73, 'zp_long_name', " + long_text, false},
        {"74, 'zp_' || char(0) || 'nul', 'n'", true}, // read up to the NUL
    };
    Connection raw = Db_files::open_raw(path);
    for (const Row& row : rows)
        ASSERT_TRUE(
            Db_files::run(raw.get(), "INSERT INTO key_bindings VALUES (" + row.values + ");"))
            << row.values;
    Trace_capture trace;
    Shortcut_database db(path);
    Binding_map loaded = load(db);
    std::size_t expected = 0;
    for (const Row& row : rows)
        expected += row.loads;
    EXPECT_EQ(loaded.size(), expected);
    EXPECT_EQ(loaded.at(65).name, L"Good");
    EXPECT_EQ(loaded.at(67).name, L"");
    EXPECT_EQ(loaded.at(74).ident, L"zp_");
    EXPECT_EQ(trace.errors("Shortcut_database::load_all").size(), std::size(rows) - expected + 1);
}

} // namespace
