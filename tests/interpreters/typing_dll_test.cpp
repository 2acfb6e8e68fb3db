// The typing interpreter inside the real zaptor.dll, driven by the reference
// host's script console in a private installation.
#include "storage/code_storage.h"
#include "storage/db_files.h"
#include "support/test_support.h"
#include "support/vqhost_runner.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Test_support;

namespace {

const std::string start = "load plugins\\zaptor.dll\nsend startup\n";
const std::string stop = "send shutdown\nfinalize\n";
const std::regex result_line("= result\\.zp_new text:\"(zp_[0-9]+_user_id)\"");

std::size_t count_of(const std::string& output, const std::string& part) {
    std::size_t count = 0;
    for (std::size_t at = output.find(part); at != std::string::npos;
         at = output.find(part, at + 1))
        ++count;
    return count;
}

TEST(Typing_dll, StoresOnceAndTypesTheRenderedCode) {
    auto install = make_vqhost_install(L"typing_dll");
    // An action of another type, stored beside the plug-in before the host starts.
    ASSERT_EQ(Code_storage::open_path(install.plugins + L"\\code_storage.db")
                  ->store_code(L"zp_77_user_id", L"url_interpreter", L"https://example.org",
                               L"Site", L"", L""),
              0);
    auto stored = run_vqhost_script(
        install, start +
                     "send zp_store_action_code zp_new.type=text:typing_interpreter "
                     "zp_new.code=text:\"Hi {key:shift end}{sleep:0x10}{|}ab\" "
                     "zp_new.name=text:Greeting\n" +
                     stop);
    ASSERT_EQ(stored.exit_code, 0u) << stored.output;
    std::smatch match;
    ASSERT_TRUE(std::regex_search(stored.output, match, result_line)) << stored.output;
    const std::string ident = match[1];
    EXPECT_NE(ident, "zp_77_user_id");
    EXPECT_EQ(count_of(stored.output, "= result.zp_new"), 1u) << stored.output; // stored once

    auto typed = run_vqhost_script(install, start + "send " + ident +
                                                " request=text:execute deactivate=u32:0\n" +
                                                "send zp_77_user_id request=text:execute "
                                                "deactivate=u32:0\n" +
                                                stop);
    ASSERT_EQ(typed.exit_code, 0u) << typed.output;
    EXPECT_TRUE(has_line(typed.output,
                         "> vq_keyboard_write typing_data=text:\"Hi \\u000210\\u000123\\u000310"
                         "\\u0004  10ab\\u000125\\u000125\""))
        << typed.output;
    EXPECT_EQ(count_of(typed.output, "> vq_keyboard_write"), 1u) << typed.output;
}

// A deleted action takes its key bindings along, and its number is never
// handed out again: an old combination must not run a new script.
TEST(Typing_dll, DeletedActionsLeaveNoBindingAndNoIdentBehind) {
    auto install = make_vqhost_install(L"delete_dll");
    auto store = [&](const char* type, const std::string& before, const std::string& after) {
        auto run = run_vqhost_script(
            install, start + before + "send zp_store_action_code zp_new.type=text:" + type +
                         " zp_new.code=text:echo zp_new.name=text:N\n" + after + stop);
        std::smatch match;
        EXPECT_TRUE(std::regex_search(run.output, match, result_line)) << run.output;
        return std::make_pair(match.size() > 1 ? match[1].str() : std::string(), run.output);
    };
    const std::string typing = store("typing_interpreter", "", "").first;
    ASSERT_FALSE(typing.empty());
    // Bound directly to A, deleted, then a batch action is stored.
    const auto [batch, output] =
        store("batch_interpreter",
              "send zp_action_set_key_binding combi=u32:65601 id=text:" + typing +
                  " title=text:N\nsend zp_delete_action ident=text:" + typing + "\n",
              "send zp_action_key_binding id=text:" + typing + "\n");
    EXPECT_NE(batch, typing);
    EXPECT_EQ(output.find("= key u32:"), std::string::npos) << output;
    Connection db = Db_files::open_raw(install.plugins + L"\\zaptor.db");
    EXPECT_EQ(Db_files::scalar(db.get(), "SELECT count(*) FROM key_bindings WHERE ident='" +
                                             typing + "' OR key=65601;"),
              "0");
}

} // namespace
