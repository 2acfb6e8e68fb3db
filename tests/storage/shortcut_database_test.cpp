#include "storage/shortcut_database.h"

#include "db_files.h"
#include "support/test_support.h"
#include "trace_capture.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

namespace {

using Db_files::scalar;

class ShortcutDatabase : public ::testing::Test {
protected:
    void SetUp() override {
        dir = Test_support::make_temp_directory(L"shortcuts");
        path = dir + L"\\zaptor.db";
    }
    void TearDown() override {
        Db_files::set_read_only(path, false);
        Test_support::remove_tree(dir);
    }
    std::string constructor_error(const std::wstring& file) {
        try {
            Shortcut_database db(file);
        } catch (const std::runtime_error& e) {
            return e.what();
        }
        return "no exception";
    }
    std::wstring dir;
    std::wstring path;
};

TEST_F(ShortcutDatabase, StoresReplacesAndLoadsBindings) {
    Shortcut_database db(path);
    db.store(0x41, L"zp_uppercase", L"To upper case");
    db.store(0x10141, L"zp_7_user_id", L"Mine");
    db.store(0x41, L"zp_lowercase", L"To lower case"); // replaces
    db.store(0x80000042u, L"zp_high", L"High bit");    // all 32 bits survive
    Binding_map loaded = db.load_all();
    ASSERT_EQ(loaded.size(), 3u);
    EXPECT_EQ(loaded.at(0x41).ident, L"zp_lowercase");
    EXPECT_EQ(loaded.at(0x41).name, L"To lower case");
    EXPECT_EQ(loaded.at(0x10141).ident, L"zp_7_user_id");
    EXPECT_EQ(loaded.at(0x80000042u).name, L"High bit");
    // A second load sees the same: the statement was reset.
    EXPECT_EQ(db.load_all().size(), 3u);

    Shortcut_database reopened(path);
    EXPECT_EQ(reopened.load_all().at(0x10141).name, L"Mine");
}

TEST_F(ShortcutDatabase, EmptyIdentOrNameWritesNothingButIsLogged) {
    Shortcut_database db(path);
    Trace_capture trace;
    db.store(0x41, L"", L"Name");
    db.store(0x42, L"zp_x", L"");
    EXPECT_TRUE(db.load_all().empty());
    auto infos = trace.infos("Shortcut_database::store");
    ASSERT_EQ(infos.size(), 2u);
    EXPECT_EQ(infos[0], "Storing key binding  with name 'Name'");
    EXPECT_EQ(infos[1], "Storing key binding zp_x with name ''");
}

TEST_F(ShortcutDatabase, RowsWithoutIdentAreSkippedAndOrderIsLowHalfFirst) {
    {
        Shortcut_database db(path);
        db.store(0x10041, L"direct_a", L"n");
        db.store(0x00042, L"b", L"n");
        db.store(0x00041, L"a", L"n");
        db.store(0x20041, L"other_a", L"n");
    }
    {
        Connection raw = Db_files::open_raw(path);
        ASSERT_TRUE(Db_files::run(raw.get(), "INSERT INTO key_bindings VALUES (67, '', 'n');"));
    }
    Shortcut_database db(path);
    Binding_map loaded = db.load_all();
    std::vector<std::uint32_t> keys;
    for (const auto& entry : loaded)
        keys.push_back(entry.first);
    EXPECT_EQ(keys, (std::vector<std::uint32_t>{0x00041, 0x10041, 0x20041, 0x00042}));
    EXPECT_TRUE(Key_code_order()(0x0000FFFF, 0x00010000) == false)
        << "0x10000 has the smaller low half";
}

TEST_F(ShortcutDatabase, RemoveByKeyAndByIdent) {
    Shortcut_database db(path);
    db.store(0x41, L"zp_a", L"A");
    db.store(0x42, L"zp_a", L"A");
    db.store(0x10043, L"zp_a", L"A");
    db.store(0x44, L"zp_b", L"B");
    db.remove_key(0x44);
    EXPECT_EQ(db.load_all().count(0x44), 0u);
    EXPECT_EQ(db.load_all().size(), 3u);
    db.remove_ident(L"zp_a");
    EXPECT_TRUE(db.load_all().empty());
    db.remove_key(0x99); // nothing there: harmless
}

TEST_F(ShortcutDatabase, StoreAllWritesEveryEntryAndTextsRoundTrip) {
    Binding_map map;
    std::uint32_t key = 0x41;
    for (const std::wstring& text : Db_files::nasty_texts)
        map[key++] = {text, text + L" name"};
    {
        Shortcut_database db(path);
        db.store_all(map);
    }
    Shortcut_database db(path);
    Binding_map loaded = db.load_all();
    ASSERT_EQ(loaded.size(), map.size());
    for (const auto& [code, entry] : map) {
        EXPECT_EQ(loaded.at(code).ident, entry.ident);
        EXPECT_EQ(loaded.at(code).name, entry.name);
    }
}

TEST_F(ShortcutDatabase, UnusableFilesThrowAfterTracingAndStayUntouched) {
    EXPECT_EQ(constructor_error(L""), "Failed to open db");
    {
        Trace_capture trace;
        EXPECT_EQ(constructor_error(dir + L"\\missing\\zaptor.db"), "Failed to open db");
        EXPECT_EQ(trace.errors("Shortcut_database::Shortcut_database").size(), 1u);
        EXPECT_FALSE(Test_support::file_exists(dir + L"\\missing"));
    }
    std::string garbage = Db_files::random_bytes(4096, 3);
    ASSERT_TRUE(Test_support::write_file(path, garbage));
    {
        Trace_capture trace;
        EXPECT_EQ(constructor_error(path), "Error preparing statements");
        EXPECT_GE(trace.errors("SQLite::prepare_statement").size(), 1u);
        EXPECT_EQ(trace.errors("Shortcut_database::Shortcut_database").size(), 1u);
    }
    EXPECT_TRUE(Test_support::read_file(path) == garbage);
    EXPECT_TRUE(Db_files::can_delete(path)) << "a failed construction closes the connection";
}

TEST_F(ShortcutDatabase, TruncatedFileLoadsWhatItCanAndIsNotChanged) {
    {
        Shortcut_database db(path);
        for (std::uint32_t key = 0; key < 2000; ++key)
            db.store(key, L"zp_ident_" + std::to_wstring(key), std::wstring(60, L'n'));
    }
    std::string bytes = Test_support::read_file(path);
    std::string truncated = bytes.substr(0, bytes.size() / 3);
    ASSERT_TRUE(Test_support::write_file(path, truncated));
    Trace_capture trace;
    try {
        Shortcut_database db(path);
        Binding_map loaded = db.load_all();
        EXPECT_LT(loaded.size(), 2000u);
        EXPECT_EQ(trace.errors("Shortcut_database::load_all").size(), 1u);
        db.store(5000, L"zp_new", L"New");
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "Error preparing statements");
    }
    EXPECT_GE(trace.error_count(), 1u);
    EXPECT_TRUE(Test_support::read_file(path) == truncated);
}

TEST_F(ShortcutDatabase, ReadOnlyFileLoadsAndReportsFailedWrites) {
    {
        Shortcut_database db(path);
        db.store(0x41, L"zp_a", L"A");
    }
    std::string before = Test_support::read_file(path);
    ASSERT_TRUE(Db_files::set_read_only(path, true));
    Trace_capture trace;
    {
        Shortcut_database db(path);
        EXPECT_EQ(db.load_all().at(0x41).ident, L"zp_a");
        db.store(0x42, L"zp_b", L"B");
        db.remove_ident(L"zp_a");
        EXPECT_EQ(db.load_all().size(), 1u);
    }
    EXPECT_EQ(trace.errors("Shortcut_database::store").size(), 1u);
    EXPECT_EQ(trace.errors("Shortcut_database::remove_ident").size(), 1u);
    EXPECT_TRUE(Test_support::read_file(path) == before);
}

TEST_F(ShortcutDatabase, DestructionFinalizesAndCloses) {
    {
        Shortcut_database db(path);
        db.store(0x41, L"zp_a", L"A");
        db.load_all();
        EXPECT_FALSE(Db_files::can_delete(path));
    }
    EXPECT_TRUE(Db_files::can_delete(path));
}

} // namespace
