// Start-up of the real zaptor.dll in the reference host: the three
// interpreters and the eight built-in actions, each in its place.
#include "support/test_support.h"
#include "support/vqhost_runner.h"

#include <gtest/gtest.h>

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
