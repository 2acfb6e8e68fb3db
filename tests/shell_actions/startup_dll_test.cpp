// Start-up of the real zaptor.dll in the reference host: the three
// interpreters and the eight built-in actions, in their order.
#include "support/test_support.h"
#include "support/vqhost_runner.h"

#include <gtest/gtest.h>

using namespace Test_support;

namespace {

const char* const start = "load plugins\\zaptor.dll\nsend startup\n";
const char* const stop = "send shutdown\nfinalize\n";

// Positions of the lines in the output, in the given order; npos for a missing one.
std::vector<std::size_t> positions(const std::string& output,
                                   const std::vector<std::string>& parts) {
    std::vector<std::size_t> found;
    for (const auto& part : parts)
        found.push_back(output.find(part));
    return found;
}

void expect_in_order(const std::string& output, const std::vector<std::string>& parts) {
    const auto found = positions(output, parts);
    for (std::size_t i = 0; i < parts.size(); ++i) {
        ASSERT_NE(found[i], std::string::npos) << parts[i] << " missing in\n" << output;
        if (i > 0) {
            EXPECT_LT(found[i - 1], found[i]) << parts[i - 1] << " after " << parts[i];
        }
    }
}

} // namespace

TEST(Startup_dll, InterpretersAndBuiltInActionsComeInTheirOrder) {
    auto install = make_vqhost_install(L"startup_dll");
    auto result = run_vqhost_script(install, std::string(start) +
                                                 "send zp_get_action_interpreter\n"
                                                 "send zp_broadcast_get_action_text\n"
                                                 "send zp_tapquill request=text:execute "
                                                 "deactivate=u32:0x51\n" +
                                                 stop);
    ASSERT_EQ(result.exit_code, 0u) << result.output;
    expect_in_order(result.output,
                    {"= batch_interpreter.name text:\"Execute as batch script\"",
                     "= url_interpreter.name text:\"Open URL\"",
                     "= typing_interpreter.name text:\"Type text and key-combinations\""});
    expect_in_order(result.output,
                    {"= zp_tweet_selection.name text:\"Tweet selection\"",
                     "= zp_colorpicker.name text:\"Colorpicker\"", "= zp_base64_decode.name",
                     "= zp_clipboardstash_paste.name", "= zp_clipboardstash_set.name",
                     "= zp_tapquill.name text:\"Tapquill\"", "= zp_uppercase.name",
                     "= zp_lowercase.name"});
    EXPECT_NE(result.output.find("> tapquill_dlg"), std::string::npos) << result.output;
}
