// The shipped zaptor.lng must translate every English text that the code
// hands to the text provider; the texts are found by scanning the sources.
#include "text/textprovider.h"

#include "contract/text_convert.h"
#include "storage/db_files.h"
#include "support/trace_capture.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>

namespace {

// Appends the UTF-16 text of every literal passed as get_string(L"...") or
// translatable(L"..."), including adjacent literals (L"a" L"b") and a
// literal on the line after the parenthesis. Returns
// false on an escape it cannot read, so that no literal is silently lost.
bool extract_texts(const std::string& source, std::set<std::wstring>& texts, std::string& problem) {
    for (const std::string marker : {"get_string(", "translatable("}) {
        for (std::size_t at = source.find(marker); at != std::string::npos;
             at = source.find(marker, at + 1)) {
            // The literal may start on the next line.
            std::size_t i = source.find_first_not_of(" \t\r\n", at + marker.size());
            if (i == std::string::npos || source.compare(i, 2, "L\"") != 0)
                continue;
            i += 2;
            std::string text;
            for (;;) {
                while (i < source.size() && source[i] != '"') {
                    char c = source[i++];
                    if (c != '\\') {
                        text += c;
                        continue;
                    }
                    if (i >= source.size())
                        break;
                    char e = source[i++];
                    switch (e) {
                    case 'n':
                        text += '\n';
                        break;
                    case 't':
                        text += '\t';
                        break;
                    case 'r':
                        text += '\r';
                        break;
                    case '\\':
                        text += '\\';
                        break;
                    case '"':
                        text += '"';
                        break;
                    case '\'':
                        text += '\'';
                        break;
                    default:
                        problem = std::string("unsupported escape \\") + e + " in " +
                                  source.substr(at, 60);
                        return false;
                    }
                }
                ++i; // closing quote
                std::size_t next = source.find_first_not_of(" \t\r\n", i);
                if (next != std::string::npos && source.compare(next, 2, "L\"") == 0) {
                    i = next + 2;
                    continue;
                }
                break;
            }
            texts.insert(utf8_to_utf16(text));
        }
    }
    return true;
}

std::wstring wine_path(std::string unix_path) {
    for (char& c : unix_path)
        if (c == '/')
            c = '\\';
    return L"Z:" + utf8_to_utf16(unix_path);
}

std::wstring shipped_file() {
    return Test_support::exe_directory() + L"plugins\\zaptor.lng";
}

TEST(TranslationCoverage, ShippedFileHasGermanMetaAndLoadsThroughTheProvider) {
    ASSERT_TRUE(Test_support::file_exists(shipped_file()));
    Connection db = Db_files::open_raw(shipped_file());
    EXPECT_EQ(Db_files::scalar(db.get(), "SELECT value FROM meta WHERE key='language'"), "de");
    EXPECT_EQ(Db_files::scalar(db.get(), "SELECT value FROM meta WHERE key='Deutsch'"), "de");
    EXPECT_EQ(Db_files::scalar(db.get(), "SELECT count(*) FROM base_lang LEFT JOIN de USING "
                                         "(word_id) WHERE de.text IS NULL OR de.text=''"),
              "0");
    db.reset();

    auto provider = make_textprovider();
    provider->set_language_from_file(shipped_file(), L"Deutsch");
    EXPECT_EQ(provider->get_language(), L"de");
    EXPECT_EQ(std::wstring(provider->get_string(L"Manage actions")), L"Aktionen verwalten");
    EXPECT_EQ(std::wstring(provider->get_string(L"Set key ...")), L"Taste festlegen ...");
    EXPECT_EQ(std::wstring(provider->get_string(L"Common")), L"Allgemein");
}

// The captions of the dialog templates, in the order written.
std::vector<std::wstring> template_captions(const std::string& script) {
    static const std::regex caption(
        R"re(^\s*(CAPTION|LTEXT|RTEXT|CTEXT|PUSHBUTTON|DEFPUSHBUTTON|GROUPBOX|CONTROL)\s+"([^"]*)")re");
    std::vector<std::wstring> captions;
    std::istringstream lines(script);
    std::smatch match;
    for (std::string line; std::getline(lines, line);)
        if (std::regex_search(line, match, caption) && match[2].length() > 0)
            captions.push_back(utf8_to_utf16(match[2].str()));
    return captions;
}

// Sources, templates and the German file agree: every text the code shows
// has a German row, every German row is still shown somewhere, and every
// template caption is one of the texts the code sets (so no template text
// reaches the user untranslated).
TEST(TranslationCoverage, SourcesTemplatesAndTheGermanFileAreInStep) {
    std::wstring root = wine_path(ZAPTOR_SOURCE_DIR "/src");
    std::set<std::wstring> texts;
    std::size_t files = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root, error);
         !error && it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        std::wstring extension = it->path().extension().wstring();
        if (extension != L".cpp" && extension != L".h")
            continue;
        ++files;
        std::string problem;
        EXPECT_TRUE(extract_texts(Test_support::read_file(it->path().wstring()), texts, problem))
            << it->path().string() << ": " << problem;
    }
    ASSERT_FALSE(error) << "cannot read " << utf16_to_utf8(root) << ": " << error.message();
    ASSERT_GT(files, 10u) << "the source tree was not found at " << utf16_to_utf8(root);

    std::map<std::wstring, std::wstring> german;
    Connection db = Db_files::open_raw(shipped_file());
    sqlite3_stmt* raw = nullptr;
    ASSERT_EQ(sqlite3_prepare16_v2(db.get(),
                                   L"SELECT base_lang.text, de.text FROM base_lang JOIN de USING "
                                   L"(word_id);",
                                   -1, &raw, nullptr),
              SQLITE_OK);
    Statement rows(raw);
    while (sqlite3_step(raw) == SQLITE_ROW) {
        Text_view english = SQLite::column_text(raw, 0);
        Text_view shown = SQLite::column_text(raw, 1);
        german[std::wstring(english.text, english.length)] = std::wstring(shown.text, shown.length);
    }

    std::string missing, stale, untranslated;
    for (const std::wstring& text : texts)
        if (german[text].empty())
            missing += "  '" + utf16_to_utf8(text) + "'\n";
    for (const auto& row : german)
        if (!row.second.empty() && !texts.count(row.first))
            stale += "  '" + utf16_to_utf8(row.first) + "'\n";
    for (const std::wstring& caption : template_captions(
             Test_support::read_file(wine_path(ZAPTOR_SOURCE_DIR "/src/ui/zaptor_ui.rc"))))
        if (!texts.count(caption))
            untranslated += "  '" + utf16_to_utf8(caption) + "'\n";
    EXPECT_EQ(missing, "") << "texts without a German row in translations/de.tsv";
    EXPECT_EQ(stale, "") << "rows of translations/de.tsv that no source shows";
    EXPECT_EQ(untranslated, "") << "template captions the code never sets";
}

} // namespace
