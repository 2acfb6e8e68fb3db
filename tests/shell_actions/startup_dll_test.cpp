// Start-up of the real zaptor.dll in the reference host: the three
// interpreters and the eight built-in actions, each in its place.
#include "support/test_support.h"
#include "support/vqhost_runner.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <sstream>
#include <string>

using namespace Test_support;

TEST(Startup_dll, InterpretersAndBuiltInActionsComeInTheirOrder) {
    auto install = make_vqhost_install(L"startup_dll");
    auto result = run_vqhost_script(install, "load plugins\\zaptor.dll\nsend startup\n"
                                             "send zp_get_action_interpreter\n"
                                             "send zp_broadcast_get_action_text\n"
                                             "send zp_tapquill request=text:execute "
                                             "deactivate=u32:0x51\n"
                                             "send shutdown\nfinalize\n");
    ASSERT_EQ(result.exit_code, 0u) << result.output;
    std::size_t previous = 0;
    for (const char* name :
         {"batch_interpreter", "url_interpreter", "typing_interpreter", "zp_tweet_selection",
          "zp_colorpicker", "zp_base64_decode", "zp_clipboardstash_paste", "zp_clipboardstash_set",
          "zp_tapquill", "zp_uppercase", "zp_lowercase"}) {
        const std::size_t at = result.output.find(std::string("= ") + name + ".name text:\"");
        ASSERT_NE(at, std::string::npos) << name << " missing in\n" << result.output;
        EXPECT_GT(at, previous) << name << " out of order in\n" << result.output;
        previous = at;
    }
    EXPECT_NE(result.output.find("> tapquill_dlg"), std::string::npos) << result.output;
}

// Every text the host shows for the plug-in (tray items, action and
// interpreter names and descriptions) follows each language switch, there
// and back, without a restart: none may be kept from an earlier language.
TEST(Startup_dll, ShownTextsFollowEachLanguageSwitch) {
    auto install = make_vqhost_install(L"startup_language");
    const std::string texts = "send get_tray_menu_items\nsend zp_broadcast_get_action_text\n"
                              "send zp_get_action_interpreter\n";
    auto result = run_vqhost_script(
        install, "load plugins\\zaptor.dll\nsend startup\necho ## en\n" + texts +
                     "send set_language language=text:Deutsch\necho ## de\n" + texts +
                     "send set_language language=text:\"\"\necho ## en again\n" + texts +
                     "send set_language language=text:de\necho ## de again\n" + texts +
                     "echo ## end\nsend shutdown\nfinalize\n");
    ASSERT_EQ(result.exit_code, 0u) << result.output;
    // KEY -> shown text, for the ".name" and ".description" lines of a section.
    auto shown = [&](const std::string& section) {
        std::map<std::string, std::string> found;
        std::size_t at = result.output.find("## " + section + "\n");
        const std::size_t end = result.output.find("## ", at + 3);
        std::istringstream lines(result.output.substr(at, end - at));
        for (std::string line; std::getline(lines, line);) {
            const std::size_t space = line.find(' ', 2);
            if (line.rfind("= ", 0) != 0 || space == std::string::npos)
                continue;
            const std::string key = line.substr(2, space - 2);
            if (key.size() > 5 && (key.rfind(".name") == key.size() - 5 ||
                                   key.rfind(".description") == key.size() - 12))
                found[key] = line.substr(space + 1);
        }
        return found;
    };
    const auto en = shown("en"), de = shown("de");
    EXPECT_EQ(shown("en again"), en);
    EXPECT_EQ(shown("de again"), de);
    ASSERT_EQ(de.size(), en.size());
    ASSERT_GE(en.size(), 20u) << result.output; // 2 tray items, 8 actions, 3 interpreters
    // Names and descriptions that stay the same in German: proper names.
    const std::set<std::string> same = {"zp_tapquill.name"};
    for (const auto& [key, text] : en) {
        ASSERT_TRUE(de.count(key)) << key;
        if (!same.count(key)) {
            EXPECT_NE(de.at(key), text) << key << " kept its English text in German";
        }
    }
    EXPECT_EQ(de.at("zaptor_tray_action.name"), "text:\"Aktionen verwalten\"");
    EXPECT_EQ(en.at("zaptor_tray_action.name"), "text:\"Manage actions\"");
}
