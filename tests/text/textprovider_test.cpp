#include "text/textprovider.h"

#include "storage/db_files.h"
#include "support/trace_capture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

// A translation file with English, German ("de", display name "Deutsch")
// and French ("fr"), written with plain SQL.
void write_translation_file(const std::wstring& path) {
    Connection db = Db_files::open_raw(path);
    ASSERT_TRUE(Db_files::run(
        db.get(), "CREATE TABLE meta (key TEXT, value TEXT);"
                  "INSERT INTO meta VALUES ('language','de'),('Deutsch','de'),('language','fr'),"
                  "('Francais','fr');"
                  "CREATE TABLE base_lang (word_id INTEGER, text TEXT);"
                  "CREATE TABLE de (word_id INTEGER, text TEXT);"
                  "CREATE TABLE fr (word_id INTEGER, text TEXT);"
                  "INSERT INTO base_lang VALUES (1,'Manage actions'),(2,'Delete'),(3,'Twice'),"
                  "(4,'Twice'),(5,'Untranslated'),(6,'Null text'),(7,'It''s \"odd\"\\ok'),"
                  "(8,'Line' || char(10) || 'break'),(9,'Star ' || char(127775));"
                  "INSERT INTO de VALUES (1,'Aktionen verwalten'),(2,'Löschen'),(3,'Erstes'),"
                  "(4,'Zweites'),(6,NULL),(7,'Es ist \"seltsam\"\\ok'),"
                  "(8,'Zeilen' || char(13,10) || 'umbruch'),(9,'Stern ' || char(127775));"
                  "INSERT INTO fr VALUES (1,'Gérer les actions');"));
}

class TextproviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir = Test_support::make_temp_directory(L"text");
        path = dir + L"\\zaptor.lng";
        write_translation_file(path);
        provider = make_textprovider();
    }
    void TearDown() override { Test_support::remove_tree(dir); }
    std::wstring shown(const wchar_t* english) { return provider->get_string(english); }

    std::wstring dir;
    std::wstring path;
    std::unique_ptr<Textprovider> provider;
};

TEST_F(TextproviderTest, BeforeAnyLanguageTextsAreEnglishAndEachMissingOneIsReportedOnce) {
    Trace_capture trace;
    EXPECT_EQ(provider->get_language(), L"");
    EXPECT_EQ(shown(L"Manage actions"), L"Manage actions");
    EXPECT_EQ(shown(L"Manage actions"), L"Manage actions");
    EXPECT_EQ(shown(L"Delete"), L"Delete");
    EXPECT_EQ(trace.errors("Textprovider::get_string").size(), 2u);
}

TEST_F(TextproviderTest, DisplayNameOrCodeLoadsTheLanguageAndSwitchingReplacesIt) {
    provider->set_language_from_file(path, L"Deutsch");
    EXPECT_EQ(provider->get_language(), L"de");
    EXPECT_EQ(shown(L"Manage actions"), L"Aktionen verwalten");
    EXPECT_EQ(shown(L"Delete"), L"Löschen");
    EXPECT_EQ(shown(L"Untranslated"), L"Untranslated");
    EXPECT_EQ(shown(L"Null text"), L"Null text") << "a NULL translation is skipped";
    EXPECT_EQ(shown(L"It's \"odd\"\\ok"), L"Es ist \"seltsam\"\\ok");
    EXPECT_EQ(shown(L"Line\nbreak"), L"Zeilen\r\numbruch");
    EXPECT_EQ(shown(L"Star \U0001F31F"), L"Stern \U0001F31F");
    EXPECT_EQ(shown(L"Twice"), L"Zweites"); // the last of two rows wins

    provider->set_language_from_file(path, L"deutsch"); // names match without ASCII case
    EXPECT_EQ(provider->get_language(), L"de");
    provider->set_language_from_file(path, L"fr");
    EXPECT_EQ(provider->get_language(), L"fr");
    EXPECT_EQ(shown(L"Manage actions"), L"Gérer les actions");
    EXPECT_EQ(shown(L"Delete"), L"Delete") << "nothing of German is left";

    provider->set_language_from_file(path, L"");
    EXPECT_EQ(provider->get_language(), L"base_lang");
    EXPECT_EQ(shown(L"Manage actions"), L"Manage actions");
}

TEST_F(TextproviderTest, UnknownOrHostileLanguageLeavesEnglishAndTheFileUnchanged) {
    provider->set_language_from_file(path, L"de");
    std::string before = Test_support::read_file(path);
    for (const wchar_t* language :
         {L"xx", L"de'; DROP TABLE meta; --", L"de\" AS dest; DROP TABLE meta; --", L"meta"}) {
        Trace_capture trace;
        provider->set_language_from_file(path, language);
        EXPECT_EQ(trace.errors("Textprovider::set_language").size(), 1u);
        EXPECT_EQ(provider->get_language(), L"de") << "the language in force stays";
        EXPECT_EQ(shown(L"Manage actions"), L"Manage actions") << "English texts, not German";
    }
    EXPECT_TRUE(Test_support::read_file(path) == before);
    Connection db = Db_files::open_raw(path);
    EXPECT_EQ(Db_files::scalar(db.get(), "SELECT count(*) FROM meta"), "4");
}

TEST_F(TextproviderTest, MissingFileIsReportedNotCreated) {
    std::wstring missing = dir + L"\\none.lng";
    Trace_capture trace;
    provider->set_language_from_file(missing, L"de");
    EXPECT_EQ(trace.errors("Textprovider::set_language").size(), 1u);
    EXPECT_FALSE(Test_support::file_exists(missing));
    EXPECT_EQ(shown(L"Manage actions"), L"Manage actions");
    std::vector<std::wstring> list;
    provider->get_language_list(list);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(trace.errors("Textprovider::get_language_list").size(), 1u);
    // Random bytes in place of the file: the same, and the file stays.
    std::string garbage = Db_files::random_bytes(2048, 11);
    ASSERT_TRUE(Test_support::write_file(path, garbage));
    provider->set_language_from_file(path, L"de");
    EXPECT_EQ(shown(L"Manage actions"), L"Manage actions");
    EXPECT_TRUE(Test_support::read_file(path) == garbage);
}

TEST_F(TextproviderTest, PointersStayValidAcrossLanguageChanges) {
    provider->set_language_from_file(path, L"de");
    const wchar_t* german = provider->get_string(L"Manage actions");
    const wchar_t* missing = provider->get_string(L"Untranslated");
    provider->set_language_from_file(path, L"fr");
    provider->set_language_from_file(path, L"");
    EXPECT_EQ(std::wstring(german), L"Aktionen verwalten");
    EXPECT_EQ(std::wstring(missing), L"Untranslated");
    EXPECT_EQ(std::wstring(provider->get_string(nullptr)), L"");
}

TEST_F(TextproviderTest, LanguageListNamesAndCodes) {
    std::vector<std::wstring> list;
    provider->get_language_list(list); // no path yet: nothing
    EXPECT_TRUE(list.empty());
    provider->set_language_from_file(path, L"de");
    provider->get_language_list(list);
    EXPECT_EQ(list, (std::vector<std::wstring>{L"de", L"fr"}));
    std::wstring name;
    provider->get_language_name(L"de", name);
    EXPECT_EQ(name, L"Deutsch");
    provider->get_language_name(L"it'", name);
    EXPECT_EQ(name, L"it'");
    std::wstring code;
    provider->get_language_code(L"Francais", code);
    EXPECT_EQ(code, L"fr");
}

TEST_F(TextproviderTest, ModulePathGivesTheFileBesideTheModule) {
    std::wstring own = translation_file_path(nullptr);
    std::wstring exe = Test_support::exe_directory() + L"text_test.lng";
    EXPECT_EQ(own, exe);
    // set_language(module, ...) reads exactly that file.
    std::string bytes = Test_support::read_file(path);
    ASSERT_TRUE(Test_support::write_file(own, bytes));
    provider->set_language(nullptr, L"Deutsch", 7);
    EXPECT_EQ(shown(L"Delete"), L"Löschen");
    DeleteFileW(own.c_str());
}

} // namespace
