// The real zaptor.dll in vqhost when the host is hasty: start-up twice,
// many start-up and shut-down cycles with actions in between, and a
// shut-down while selection actions are in flight.
#include "output/output_test_support.h"
#include "support/test_support.h"
#include "support/vqhost_runner.h"

#include <gtest/gtest.h>

#include <regex>
#include <vector>

using namespace Test_support;

namespace {

const char* const typing_action = "send zp_store_action_code zp_new.type=text:typing_interpreter "
                                  "zp_new.code=text:\"x{sleep:1}y\" zp_new.name=text:Cycle\n";

TEST(Concurrency, StartupTwiceKeepsOneSetAndCyclesEndCleanly) {
    auto install = make_vqhost_install(L"restart");
    auto stored =
        run_vqhost_script(install, std::string("load plugins\\zaptor.dll\nsend startup\n") +
                                       typing_action + "send shutdown\nfinalize\n");
    std::smatch match;
    ASSERT_TRUE(std::regex_search(stored.output, match,
                                  std::regex("= result\\.zp_new text:\"(zp_[0-9]+_user_id)\"")))
        << stored.output;
    const std::string ident = match[1];
    std::string script = "load plugins\\zaptor.dll\n"
                         "answer tapquill_dlg none\n"
                         "send startup\n"
                         "send startup\n"
                         "echo --tapquill\n"
                         "send zp_tapquill request=text:execute deactivate=u32:0x41\n"
                         "echo --broadcast\n"
                         "send zp_broadcast_get_action_text\n"
                         "echo --cycles\n";
    // Executing a code action and then shutting down, 500 times; every tenth
    // round starts twice and runs the built-in actions too.
    for (int i = 0; i < 500; ++i) {
        script += "send startup\n";
        if (i % 10 == 0)
            script += "send startup\n"
                      "send zp_tapquill request=text:execute deactivate=u32:0x41\n"
                      "send zp_broadcast_get_action_text\n";
        script += "send " + ident + " request=text:execute deactivate=u32:0\nsend shutdown\n";
    }
    script += "finalize\n";
    auto run = run_vqhost_script(install, script, 300000);
    ASSERT_EQ(run.exit_code, 0u) << run.output.substr(0, 4000);
    const auto tapquill = run.output.find("--tapquill");
    const auto broadcast = run.output.find("--broadcast");
    const auto cycles = run.output.find("--cycles");
    ASSERT_TRUE(tapquill != std::string::npos && broadcast != std::string::npos &&
                cycles != std::string::npos)
        << run.output.substr(0, 4000);
    const std::string asked = run.output.substr(tapquill, broadcast - tapquill);
    EXPECT_EQ(count_of(asked, "> tapquill_dlg"), 1u) << asked;
    const std::string answered = run.output.substr(broadcast, cycles - broadcast);
    EXPECT_EQ(count_of(answered, "= zp_tapquill.name "), 1u) << answered;
    EXPECT_EQ(count_of(answered, "= zp_uppercase.name "), 1u) << answered;
    // Every round typed the stored action once, every tenth asked once.
    const std::string rest = run.output.substr(cycles);
    EXPECT_EQ(count_of(rest, "> tapquill_dlg"), 50u);
    EXPECT_EQ(count_of(rest, "> vq_keyboard_write"), 500u);
}

TEST(Concurrency, ShutdownWithSelectionActionsInFlightIsQuickAndKeepsTheClipboard) {
    auto install = make_vqhost_install(L"inflight");
    ASSERT_TRUE(Output_test::set_clipboard_text(L"the user's own text"));
    auto run = run_vqhost_script(install,
                                 "load plugins\\zaptor.dll\n"
                                 "send startup\n"
                                 "send zp_action_set_key_binding combi=u32:0x10055 "
                                 "id=text:zp_uppercase title=text:Upper\n"
                                 "send zp_action_set_key_binding combi=u32:0x10042 "
                                 "id=text:zp_base64_decode title=text:Decode\n"
                                 // A copy waited out, on the host thread, to compare with.
                                 "clock\nsend zp_uppercase request=text:execute "
                                 "deactivate=u32:0x55\nclock\n"
                                 "listener down 0x55\nlistener up 0x55\n"
                                 "listener down 0x42\nlistener up 0x42\n"
                                 "sleep 300\n"
                                 "clock\n"
                                 "send shutdown\n"
                                 "clock\n"
                                 "finalize\n",
                                 60000);
    ASSERT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_EQ(count_of(run.output, "= listener true"), 4u) << run.output;
    const std::regex clock("clock (\\d+)");
    std::vector<unsigned long long> clocks;
    for (std::sregex_iterator at(run.output.begin(), run.output.end(), clock), end; at != end; ++at)
        clocks.push_back(std::stoull((*at)[1]));
    ASSERT_EQ(clocks.size(), 4u) << run.output;
    // The copy jobs in flight are cancelled, not waited out like the first one.
    EXPECT_LT(2 * (clocks[3] - clocks[2]), clocks[1] - clocks[0]) << run.output;
    EXPECT_EQ(Output_test::clipboard_text(), L"the user's own text");
}

// A direct binding's run waits in the colour dialog when the host stops: the
// dialog is cancelled, shut-down returns and the host exits normally.
TEST(Concurrency, ShutdownWithTheColourDialogOpenEnds) {
    auto install = make_vqhost_install(L"colour");
    write_file(install.dir + L"\\trace_token.txt", "");
    auto run = run_vqhost_script(install,
                                 "load plugins\\zaptor.dll\n"
                                 "send set_debug_level level=text:info\n"
                                 "send startup\n"
                                 "send zp_action_set_key_binding combi=u32:0x10043 "
                                 "id=text:zp_colorpicker title=text:Colour\n"
                                 "listener down 0x43\nlistener up 0x43\n"
                                 "sleep 2000\n"
                                 "send shutdown\n"
                                 "echo shut down\n"
                                 "finalize\n",
                                 90000);
    EXPECT_EQ(run.exit_code, 0u) << run.output;
    EXPECT_TRUE(has_line(run.output, "shut down")) << run.output;
    const std::string log = read_file(install.plugins + L"\\zaptor.log");
    EXPECT_EQ(count_of(log, "the colour dialog is cancelled"), 1u) << log;
    EXPECT_EQ(count_of(log, "no longer waited for"), 0u) << log;
}

} // namespace
