#include "text/textprovider.h"

#include "storage/db_files.h"
#include "support/trace_capture.h"
#include "support/work_folder.h"

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
        ASSERT_TRUE(Db_files::run(Db_files::open_raw(path).get(), translations));
    }
    std::wstring shown(const wchar_t* english) { return provider->get_string(english); }

    Work_folder folder{L"text"};
    std::wstring dir = folder.path(), path = dir + L"\\zaptor.lng";
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
    // {language, English, shown}: a NULL translation is skipped; of two rows
    // the last wins; nothing of German is left in French; "" is English.
    const wchar_t* rows[][3] = {{L"de", L"Manage actions", L"Aktionen verwalten"},
                                {L"de", L"Delete", L"Löschen"},
                                {L"de", L"Untranslated", L"Untranslated"},
                                {L"de", L"Null text", L"Null text"},
                                {L"de", L"It's \"odd\"\\ok", L"Es ist \"seltsam\"\\ok"},
                                {L"de", L"Line\nbreak", L"Zeilen\r\numbruch"},
                                {L"de", L"Star \U0001F31F", L"Stern \U0001F31F"},
                                {L"de", L"Twice", L"Zweites"},
                                {L"fr", L"Manage actions", L"Gérer les actions"},
                                {L"fr", L"Delete", L"Delete"},
                                {L"", L"Manage actions", L"Manage actions"}};
    for (const auto& row : rows) {
        provider->set_language_from_file(path, row[0]);
        EXPECT_EQ(shown(row[1]), row[2]) << row[0];
    }
    EXPECT_EQ(provider->get_language(), L"base_lang");
    // Texts handed out earlier stay valid.
    EXPECT_EQ(std::wstring(german) + L"," + untranslated, L"Aktionen verwalten,Untranslated");
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

// Each bad language or file: one error line, the language kept, no file written.
TEST_F(TextproviderTest, BadLanguageOrFileLeavesTheLanguageAndTheFileAlone) {
    provider->set_language_from_file(path, L"de");
    const std::wstring missing = dir + L"\\none.lng", garbled = dir + L"\\garbled.lng",
                       halfway = dir + L"\\halfway.lng";
    ASSERT_TRUE(Test_support::write_file(garbled, Db_files::random_bytes(2048, 11)));
    // German whose third row fails to read (an integer overflow in the view)
    // after two rows were read: half a language must not be taken.
    ASSERT_TRUE(Db_files::run(
        Db_files::open_raw(halfway).get(),
        "CREATE TABLE meta (key TEXT, value TEXT); INSERT INTO meta VALUES ('language','de');"
        "CREATE TABLE base_lang (word_id INTEGER, text TEXT);"
        "INSERT INTO base_lang VALUES (1,'Delete'),(2,'Manage actions'),(3,'Broken');"
        "CREATE TABLE rows (word_id INTEGER, text TEXT);"
        "INSERT INTO rows VALUES (1,'Löschen'),(2,'Aktionen verwalten'),(3,'Kaputt');"
        "CREATE VIEW de AS SELECT word_id, CASE WHEN word_id = 3 "
        "THEN abs(-9223372036854775808) ELSE text END AS text FROM rows;"));
    const std::string before = Test_support::read_file(path),
                      garbage = Test_support::read_file(garbled);
    const std::pair<std::wstring, const wchar_t*> rows[] = {
        {path, L"xx"},    {path, L"de'; DROP TABLE meta; --"},
        {path, L"meta"},  {path, L"de\" AS dest; DROP TABLE meta; --"},
        {halfway, L"de"}, {missing, L"de"},
        {garbled, L"de"}};
    for (const auto& [file, language] : rows) {
        Trace_capture trace;
        provider->set_language_from_file(file, language);
        EXPECT_EQ(trace.errors("Textprovider::set_language").size(), 1u) << language;
        EXPECT_EQ(provider->get_language(), L"de") << language;
        EXPECT_EQ(shown(L"Delete"), L"Delete") << file << L" " << language;
    }
    std::vector<std::wstring> list;
    provider->get_language_list(list);
    EXPECT_TRUE(list.empty());
    EXPECT_TRUE(Test_support::read_file(path) == before && !Test_support::file_exists(missing) &&
                Test_support::read_file(garbled) == garbage);
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
