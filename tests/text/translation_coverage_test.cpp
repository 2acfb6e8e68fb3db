#include "contract/text_convert.h"
#include "storage/db_files.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <tuple>

namespace {

// Adds the text of every literal passed to get_string( or translatable(,
// adjacent literals joined. False on an escape it cannot read.
bool extract_texts(const std::string& source, std::set<std::wstring>& texts, std::string& problem) {
    static const std::string escapes = "nrt\\\"'", meanings = "\n\r\t\\\"'";
    for (const std::string marker : {"get_string(", "translatable("})
        for (std::size_t at = source.find(marker); at != std::string::npos;
             at = source.find(marker, at + 1)) {
            std::size_t i = source.find_first_not_of(" \t\r\n", at + marker.size());
            std::string text;
            while (i != std::string::npos && source.compare(i, 2, "L\"") == 0) {
                for (i += 2; i < source.size() && source[i] != '"'; ++i) {
                    bool escaped = source[i] == '\\';
                    std::size_t e = escaped ? escapes.find(source[++i]) : 0;
                    if (e == std::string::npos) {
                        problem = "unsupported escape in " + source.substr(at, 60);
                        return false;
                    }
                    text += escaped ? meanings[e] : source[i];
                }
                i = source.find_first_not_of(" \t\r\n", i + 1);
            }
            if (!text.empty())
                texts.insert(utf8_to_utf16(text));
        }
    return true;
}

std::wstring source_path(const std::string& relative) { // as Wine sees them
    return L"Z:" + utf8_to_utf16(ZAPTOR_SOURCE_DIR "/" + relative);
}

// Shown texts and German rows match both ways; template captions are all set.
TEST(TranslationCoverage, SourcesTemplatesAndTheGermanFileAreInStep) {
    std::set<std::wstring> texts;
    std::error_code error;
    for (std::filesystem::recursive_directory_iterator it(source_path("src"), error), end;
         !error && it != end; it.increment(error)) {
        std::string problem, extension = it->path().extension().string();
        if (extension != ".cpp" && extension != ".h")
            continue;
        EXPECT_TRUE(extract_texts(Test_support::read_file(it->path().wstring()), texts, problem))
            << it->path().string() << ": " << problem;
    }
    ASSERT_GT(texts.size(), 50u) << "the source tree was not found: " << error.message();

    std::wstring shipped = Test_support::exe_directory() + L"plugins\\zaptor.lng";
    Connection db = Db_files::open_raw(shipped);
    EXPECT_EQ(Db_files::scalar(db.get(), "SELECT value FROM meta WHERE key='Deutsch'"), "de");
    std::set<std::wstring> german; // English texts with a German row
    std::istringstream rows(Db_files::scalar(
        db.get(), "SELECT group_concat(base_lang.text, char(1)) FROM base_lang JOIN de USING "
                  "(word_id) WHERE de.text <> ''"));
    for (std::string english; std::getline(rows, english, '\1');)
        german.insert(utf8_to_utf16(english));
    std::string missing, stale, untranslated;
    for (const auto& [from, to, list] :
         {std::tie(texts, german, missing), std::tie(german, texts, stale)})
        for (const std::wstring& text : from)
            if (!to.count(text))
                list += "  '" + utf16_to_utf8(text) + "'\n";
    static const std::regex caption(
        R"re(^\s*(CAPTION|LTEXT|RTEXT|CTEXT|PUSHBUTTON|DEFPUSHBUTTON|GROUPBOX|CONTROL)\s+"([^"]+)")re");
    std::istringstream script(Test_support::read_file(source_path("src/ui/zaptor_ui.rc")));
    std::smatch match;
    for (std::string line; std::getline(script, line);)
        if (std::regex_search(line, match, caption) && !texts.count(utf8_to_utf16(match[2].str())))
            untranslated += "  '" + match[2].str() + "'\n";
    EXPECT_EQ(missing, "") << "texts without a German row in translations/de.tsv";
    EXPECT_EQ(stale, "") << "rows of translations/de.tsv that no source shows";
    EXPECT_EQ(untranslated, "") << "template captions the code never sets";
}

} // namespace
