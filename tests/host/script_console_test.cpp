// The console driving the host, and a real plug-in DLL loaded through it.
#include "host/script_console.h"

#include "contract/parameter_values.h"
#include "contract/text_convert.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Console_run {
    Reference_host host;
    std::vector<std::string> output;
    Script_console console{host, [this](const std::string& line) { output.push_back(line); }};
};

std::string plugin_path() {
    return utf16_to_utf8(Test_support::exe_directory()) + "host_test_plugin.dll";
}

} // namespace

TEST(Script_console, send_prints_every_value_in_list_order) {
    Console_run run;
    EXPECT_EQ(run.console.run("# a comment\n"
                              "\n"
                              "echo  two  blanks kept\r\n"
                              "send zp_thing b=u32:0x141 kid.name=text:\"To upper case\" a=flag:1 "
                              "raw=bytes:010203 day=u16:7 empty=text:\n"),
              0);
    EXPECT_EQ(run.output, (std::vector<std::string>{
                              " two  blanks kept",
                              "= b u32:0x141",
                              "= kid.name text:\"To upper case\"",
                              "= a flag:1",
                              "= raw bytes:010203",
                              "= day u16:0x7",
                              "= empty text:\"\"",
                              // no filter: the default handler rule added the name
                              "= vq_default_action_handler text:\"zp_thing\"",
                          }));
}

TEST(Script_console, answers_replace_and_silence_host_services) {
    Console_run run;
    ASSERT_EQ(run.console.run("answer ask_text text=text:\"first\"\n"
                              "answer ask_text text=text:\"second\" extra.n=u32:3\n"
                              "answer vq_get_activation_key none\n"),
              0);
    auto list = run.host.create_parameters();
    run.host.send(L"ask_text", 8, list);
    EXPECT_EQ(Param::read_text(list, L"text"), L"second");
    EXPECT_EQ(Param::read_u32(list->find_child(L"extra"), L"n", 0), 3u);
    run.host.send(L"vq_get_activation_key", 21, list);
    EXPECT_FALSE(Param::has_value(list, L"key"));
    list->destroy(1);
    // The requests were printed as they arrived, before the host answered.
    EXPECT_EQ(run.output,
              (std::vector<std::string>{
                  "> ask_text", "> vq_get_activation_key text=text:\"second\" extra.n=u32:0x3"}));
}

TEST(Script_console, drives_a_plugin_dll_from_load_to_unload) {
    Console_run run;
    std::string script = "load " + plugin_path() +
                         "\n"
                         "send tp_echo in=text:\"h\\u00e9\"\n"
                         "send tp_echo in=text:again\n"
                         "answer vq_get_activation_key key=u32:0x91\n"
                         "send tp_request in=text:stash\n"
                         "send zp_3_user_id activate=u32:0x141\n"
                         "finalize\n"
                         "send tp_echo in=text:gone\n"
                         "unload\n";
    ASSERT_EQ(run.console.run(script), 0) << run.console.last_error();
    std::vector<std::string> expected = {
        // initialize registered the listener; its pointer's bytes differ per run
        "> register_keyboard_listener listener=",
        "= in text:\"h\xC3\xA9\"",
        "= out text:\"echo:h\xC3\xA9\"",
        "= info.count u32:0x1",
        "= in text:\"again\"",
        "= out text:\"echo:again\"",
        "= info.count u32:0x2",
        "> vq_get_activation_key",
        "> kvstore_store key=text:\"slot\" value=text:\"stash\"",
        "> kvstore_read key=text:\"slot\"",
        "> vq_keyboard_write typing_data=text:\"stash\"",
        "= in text:\"stash\"",
        "= activation u32:0x91",
        "= stored text:\"stash\"",
        "= activate u32:0x141",
        "= vq_default_action_handler text:\"zp_3_user_id\"",
        "= handled_by text:\"test_plugin\"",
        "> tp_lifecycle event=text:\"finalize\"",
        "> deregister_keyboard_listener listener=",
        // after finalize the name has no filter any more
        "= in text:\"gone\"",
        "= vq_default_action_handler text:\"tp_echo\"",
    };
    ASSERT_EQ(run.output.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i].back() == '=')
            EXPECT_EQ(run.output[i].rfind(expected[i], 0), 0u) << run.output[i];
        else
            EXPECT_EQ(run.output[i], expected[i]) << "line " << i;
    }
    EXPECT_EQ(run.host.typed_texts(), (std::vector<std::wstring>{L"stash"}));
    EXPECT_EQ(run.host.keyboard_listener(), nullptr);
    EXPECT_FALSE(run.console.plugin().loaded());
}

TEST(Script_console, unload_without_finalize_leaves_no_dangling_filter) {
    Console_run run;
    ASSERT_EQ(run.console.run("load " + plugin_path() + "\n"), 0) << run.console.last_error();
    Keyboard_listener* listener = run.host.keyboard_listener();
    ASSERT_NE(listener, nullptr);
    EXPECT_EQ(run.host.filter_count(L"tp_echo"), 1u);

    // A second load while one is loaded is refused.
    EXPECT_EQ(run.console.run("load " + plugin_path() + "\n"), 1);

    ASSERT_EQ(run.console.run("unload\nsend tp_echo in=text:x\n"), 0);
    EXPECT_EQ(run.host.filter_count(L"tp_echo"), 0u);
    EXPECT_EQ(run.host.filter_count(L"vq_default_action_handler"), 0u);
    EXPECT_EQ(run.host.keyboard_listener(), nullptr);
    EXPECT_EQ(run.output.back(), "= vq_default_action_handler text:\"tp_echo\"");

    // A DLL without the exports is no plug-in.
    EXPECT_EQ(run.console.run("load version.dll\n"), 1);
    EXPECT_FALSE(run.console.plugin().loaded());
}

TEST(Script_console, console_end_shuts_a_started_plugin_down_before_finalize) {
    for (std::string ending : {"", "send shutdown\n"}) {
        std::vector<std::string> events;
        {
            Reference_host host;
            Script_console console(host, [&](const std::string& line) {
                if (line.rfind("> tp_lifecycle", 0) == 0)
                    events.push_back(line.substr(line.find('"')));
            });
            ASSERT_EQ(console.run("load " + plugin_path() + "\nsend startup\n" + ending), 0);
        }
        // Shut down by the script already or not: one "shutdown", before "finalize".
        EXPECT_EQ(events,
                  (std::vector<std::string>{"\"startup\"", "\"shutdown\"", "\"finalize\""}));
    }
}
