// The interpreters inside the real zaptor.dll, driven by the reference host's
// script console in a private installation.
#include "storage/db_files.h"
#include "support/test_support.h"
#include "support/vqhost_runner.h"

#include <gtest/gtest.h>

#include <regex>

using namespace Test_support;

namespace {

const std::string start = "load plugins\\zaptor.dll\nsend startup\n";
const std::string stop = "send shutdown\nfinalize\n";

// The idents stored in the run, in order.
std::vector<std::string> stored_idents(const std::string& output) {
    static const std::regex result_line("= result\\.zp_new text:\"(zp_[0-9]+_user_id)\"");
    std::vector<std::string> idents;
    for (std::sregex_iterator i(output.begin(), output.end(), result_line), end; i != end; ++i)
        idents.push_back((*i)[1]);
    return idents;
}

// A deleted action takes its key bindings along, and its number is never
// handed out again: an old combination must not run a new script.
TEST(Typing_dll, StoresOnceTypesTheRenderedCodeAndDeletesWithoutTrace) {
    auto install = make_vqhost_install(L"typing_dll");
    auto stored = run_vqhost_script(
        install, start +
                     "send zp_store_action_code zp_new.type=text:typing_interpreter "
                     "zp_new.code=text:\"Hi {key:shift end}{sleep:0x10}{|}ab\" "
                     "zp_new.name=text:Greeting\n" +
                     stop);
    ASSERT_EQ(stored.exit_code, 0u) << stored.output;
    const auto first = stored_idents(stored.output);
    ASSERT_EQ(first.size(), 1u) << stored.output; // one interpreter answered
    const std::string ident = first[0];

    auto run = run_vqhost_script(
        install, start + "send " + ident + " request=text:execute deactivate=u32:0\n" +
                     "send zp_action_set_key_binding combi=u32:65601 id=text:" + ident +
                     " title=text:N\nsend zp_delete_action ident=text:" + ident +
                     "\nsend zp_store_action_code zp_new.type=text:batch_interpreter "
                     "zp_new.code=text:echo zp_new.name=text:N\n"
                     "send zp_action_key_binding id=text:" +
                     ident + "\n" + stop);
    ASSERT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_TRUE(has_line(run.output,
                         "> vq_keyboard_write typing_data=text:\"Hi \\u000210\\u000123\\u000310"
                         "\\u0004  10ab\\u000125\\u000125\""))
        << run.output;
    EXPECT_EQ(run.output.find("> vq_keyboard_write"), run.output.rfind("> vq_keyboard_write"));
    const auto second = stored_idents(run.output);
    ASSERT_EQ(second.size(), 1u) << run.output;
    EXPECT_NE(second[0], ident);
    EXPECT_EQ(run.output.find("= key u32:"), std::string::npos) << run.output;
    Connection db = Db_files::open_raw(install.plugins + L"\\zaptor.db");
    EXPECT_EQ(Db_files::scalar(db.get(), "SELECT count(*) FROM key_bindings WHERE ident='" + ident +
                                             "' OR key=65601;"),
              "0");
}

} // namespace
