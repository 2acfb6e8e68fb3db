#include "text/textprovider.h"

#include "storage/db_files.h"
#include "support/test_support.h"
#include "support/trace_capture.h"

#include <gtest/gtest.h>

namespace {

// English, German ("de", named "Deutsch") and French ("fr"), in plain SQL.
const char* const translations =
    "CREATE TABLE meta (key TEXT, value TEXT);"
    "INSERT INTO meta VALUES "
    "('language','de'),('Deutsch','de'),('language','fr'),('Francais','fr');"
    "CREATE TABLE base_lang (word_id INTEGER, text TEXT);"
    "CREATE TABLE de (word_id INTEGER, text TEXT); CREATE TABLE fr (word_id INTEGER, text TEXT);"
    "INSERT INTO base_lang VALUES (1,'Manage actions'),(2,'Delete'),(3,'Twice'),(4,'Twice'),"
    "(5,'Untranslated'),(6,'Null text'),(7,'It''s \"odd\"\\ok'),(8,'Line' || char(10) || 'break'),"
    "(9,'Star ' || char(127775));"
    "INSERT INTO de VALUES (1,'Aktionen verwalten'),(2,'Löschen'),(3,'Erstes'),(4,'Zweites'),"
    "(6,NULL),(7,'Es ist \"seltsam\"\\ok'),(8,'Zeilen' || char(13,10) || 'umbruch'),"
    "(9,'Stern ' || char(127775));"
    "INSERT INTO fr VALUES (1,'Gérer les actions');";

class TextproviderTest : public ::testing::Test {
protected:
    void SetUp() override {
        Connection db = Db_files::open_raw(path);
        ASSERT_TRUE(Db_files::run(db.get(), translations));
    }
    void TearDown() override { Test_support::remove_tree(dir); }
    std::wstring shown(const wchar_t* english) { return provider->get_string(english); }

    std::wstring dir = Test_support::make_temp_directory(L"text");
    std::wstring path = dir + L"\\zaptor.lng";
    std::unique_ptr<Textprovider> provider = make_textprovider();
};

TEST_F(TextproviderTest, LanguagesSwitchAndMissingTextsFallBackToEnglish) {
    Trace_capture trace;
    EXPECT_EQ(shown(L"Manage actions"), L"Manage actions"); // no language yet
    EXPECT_EQ(shown(L"Manage actions"), L"Manage actions");
    EXPECT_EQ(trace.errors("Textprovider::get_string").size(), 1u) << "reported once";
    provider->set_language_from_file(path, L"deutsch"); // display names match without case
    EXPECT_EQ(provider->get_language(), L"de");
    const wchar_t* german = provider->get_string(L"Manage actions");
    const wchar_t* untranslated = provider->get_string(L"Untranslated");
    // A NULL translation is skipped; of two rows the last wins.
    const wchar_t* rows[][2] = {{L"Manage actions", L"Aktionen verwalten"},
                                {L"Delete", L"Löschen"},
                                {L"Untranslated", L"Untranslated"},
                                {L"Null text", L"Null text"},
                                {L"It's \"odd\"\\ok", L"Es ist \"seltsam\"\\ok"},
                                {L"Line\nbreak", L"Zeilen\r\numbruch"},
                                {L"Star \U0001F31F", L"Stern \U0001F31F"},
                                {L"Twice", L"Zweites"}};
    for (const auto& row : rows)
        EXPECT_EQ(shown(row[0]), row[1]);

    provider->set_language_from_file(path, L"fr");
    EXPECT_EQ(shown(L"Manage actions"), L"Gérer les actions");
    EXPECT_EQ(shown(L"Delete"), L"Delete") << "nothing of German is left";
    provider->set_language_from_file(path, L"");
    EXPECT_EQ(provider->get_language(), L"base_lang");
    EXPECT_EQ(shown(L"Manage actions"), L"Manage actions");
    // Texts handed out earlier stay valid.
    EXPECT_EQ(std::wstring(german), L"Aktionen verwalten");
    EXPECT_EQ(std::wstring(untranslated), L"Untranslated");
    EXPECT_EQ(shown(nullptr), L"");

    std::vector<std::wstring> list;
    provider->get_language_list(list);
    EXPECT_EQ(list, (std::vector<std::wstring>{L"de", L"fr"}));
    std::wstring name, code, odd;
    provider->get_language_name(L"de", name);
    provider->get_language_code(L"Francais", code);
    provider->get_language_name(L"it'", odd);
    EXPECT_EQ(name + L"," + code + L"," + odd, L"Deutsch,fr,it'");
}

TEST_F(TextproviderTest, BadLanguageOrFileLeavesEnglishAndTheFileAlone) {
    provider->set_language_from_file(path, L"de");
    std::string before = Test_support::read_file(path);
    for (const wchar_t* language :
         {L"xx", L"de'; DROP TABLE meta; --", L"de\" AS dest; DROP TABLE meta; --", L"meta"}) {
        Trace_capture trace;
        provider->set_language_from_file(path, language);
        EXPECT_EQ(trace.errors("Textprovider::set_language").size(), 1u) << language;
        EXPECT_EQ(provider->get_language(), L"de") << "the language in force stays";
        EXPECT_EQ(shown(L"Manage actions"), L"Manage actions");
    }
    EXPECT_TRUE(Test_support::read_file(path) == before);

    std::wstring missing = dir + L"\\none.lng";
    Trace_capture trace;
    provider->set_language_from_file(missing, L"de");
    EXPECT_EQ(trace.errors("Textprovider::set_language").size(), 1u);
    EXPECT_FALSE(Test_support::file_exists(missing)) << "not created";
    std::vector<std::wstring> list;
    provider->get_language_list(list);
    EXPECT_TRUE(list.empty());
    std::string garbage = Db_files::random_bytes(2048, 11);
    ASSERT_TRUE(Test_support::write_file(path, garbage));
    provider->set_language_from_file(path, L"de");
    EXPECT_EQ(shown(L"Delete"), L"Delete");
    EXPECT_TRUE(Test_support::read_file(path) == garbage);
}

TEST_F(TextproviderTest, ModulePathGivesTheFileBesideTheModule) {
    std::wstring own = translation_file_path(nullptr);
    EXPECT_EQ(own, Test_support::exe_directory() + L"text_test.lng");
    ASSERT_TRUE(Test_support::write_file(own, Test_support::read_file(path)));
    provider->set_language(nullptr, L"Deutsch", 7);
    EXPECT_EQ(shown(L"Delete"), L"Löschen");
    DeleteFileW(own.c_str());
}

} // namespace
