// The console and the desktop host driving a real plug-in DLL (test_plugin.cpp).
#include "host/desktop_host.h"
#include "host/script_console.h"

#include "contract/parameter_values.h"
#include "contract/text_convert.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using Lines = std::vector<std::string>;
using Wide_lines = std::vector<std::wstring>;

namespace {

const std::wstring plugin_file = Test_support::exe_directory() + L"host_test_plugin.dll";
const std::string load_line = "load " + utf16_to_utf8(plugin_file) + "\n";

struct Console_run {
    Reference_host host;
    Lines output;
    Script_console console{host, [this](const std::string& line) { output.push_back(line); }};
};

} // namespace

TEST(Script_console, prints_sent_lists_and_answers_host_services) {
    Console_run run;
    ASSERT_EQ(
        run.console.run("# a comment\n\necho  two  blanks kept\r\n"
                        "send zp_thing b=u32:0x141 kid.name=text:\"To upper\" a=flag:1 "
                        "raw=bytes:010203 day=u16:7 empty=text: q=text:\"q\\\"\\n\\r\\t\\\\\" "
                        "p=text:\"\\uD83D\\uDE00\\uDE00\" z=text:\"a\\u0000b\" "
                        "y=bytes:6100000062000000\n"
                        "answer ask_text text=text:\"first\"\n"
                        "answer ask_text text=text:\"second\" extra.n=u32:3\n"
                        "answer vq_get_activation_key none\n"),
        0);
    auto list = Reference_host::make_list();
    run.host.send(L"ask_text", 8, list.get());
    EXPECT_EQ(Param::read_text(list.get(), L"text"), L"second");
    EXPECT_EQ(Param::read_u32(list->find_child(L"extra"), L"n", 0), 3u);
    run.host.send(L"vq_get_activation_key", 21, list.get());
    EXPECT_FALSE(Param::has_value(list.get(), L"key"));
    // zp_thing has no filter: the default handler rule added its name. Requests
    // are printed as they arrive, before the host answers.
    EXPECT_EQ(
        run.output,
        (Lines{" two  blanks kept", "= b u32:0x141", "= kid.name text:\"To upper\"", "= a flag:1",
               "= raw bytes:010203", "= day u16:0x7", "= empty text:\"\"",
               // Control characters and lone surrogates print as escapes; a NUL
               // inside marks binary data unless the value was written as text.
               "= q text:\"q\\\"\\u000A\\u000D\\u0009\\\\\"",
               "= p text:\"\xF0\x9F\x98\x80\\uDE00\"", "= z text:\"a\\u0000b\"",
               "= y bytes:6100000062000000", "= vq_default_action_handler text:\"zp_thing\"",
               "> ask_text", "> vq_get_activation_key text=text:\"second\" extra.n=u32:0x3"}));
}

// Everything a plug-in does through the console, in the order it printed;
// hook reports wait for the message loop ("wait") before they reach it.
TEST(Script_console, drives_a_plugin_dll_from_load_to_unload) {
    Console_run run;
    ASSERT_EQ(run.console.run(load_line + "send tp_echo in=text:\"h\\u00e9\"\nactivation 0x91\n"
                                          "send tp_request in=text:stash\n"
                                          "send zp_3_user_id activate=u32:0x141\n"
                                          "listener down 0x41 ctrl\nlistener up 65 ctrl\n"
                                          "listener down 0x41 ctrl shift\nhook\n"),
              0)
        << run.console.last_error();
    ASSERT_NE(run.console.hook(), nullptr);
    Keyboard_hook second(run.host);
    std::string error;
    EXPECT_FALSE(second.install(error)); // one hook per process
    const std::size_t before = run.output.size();
    ASSERT_TRUE(run.console.hook()->post_report(0x10000041, true));
    ASSERT_TRUE(run.console.hook()->post_report(0x41, false));
    EXPECT_EQ(run.output.size(), before);
    ASSERT_EQ(run.console.run("wait 0\nfinalize\nsend tp_echo in=text:gone\nunload\n"), 0);
    // Listener pointers differ per run.
    for (auto& line : run.output)
        if (line.find(" listener=") != std::string::npos)
            line.resize(line.find(" listener=") + 10);
    EXPECT_EQ(run.output,
              (Lines{"> register_keyboard_listener listener=", "= in text:\"h\xC3\xA9\"",
                     "= out text:\"echo:h\xC3\xA9\"", "= info.count u32:0x7",
                     "> vq_get_activation_key", "> vq_keyboard_write typing_data=text:\"stash\"",
                     "= in text:\"stash\"", "= activation u32:0x91", "= activate u32:0x141",
                     "= vq_default_action_handler text:\"zp_3_user_id\"",
                     "= handled_by text:\"test_plugin\"", "= listener true", "= listener true",
                     "= listener false", "> tp_key_seen key_down=u32:0x10000041",
                     "> tp_key_seen key_up=u32:0x41", "> tp_lifecycle event=text:\"finalize\"",
                     "> deregister_keyboard_listener listener=",
                     // After finalize tp_echo has no filter.
                     "= in text:\"gone\"", "= vq_default_action_handler text:\"tp_echo\""}));
    EXPECT_EQ(run.host.typed_texts(), Wide_lines{L"stash"});
    EXPECT_FALSE(run.console.plugin().loaded());
    // await counts every request since the console began, and fails when
    // the count is not reached in time.
    EXPECT_EQ(run.console.run("await vq_keyboard_write 1 0\n"), 0);
    EXPECT_EQ(run.console.run("await vq_keyboard_write 2 50\n"), 1);
    EXPECT_EQ(run.console.run("await tp_key_seen 2 0\n"), 0);
}

// A plug-in unloaded without finalize leaves no filter behind; at its end the
// console shuts a started plug-in down once, before finalize.
TEST(Script_console, unload_and_console_end_leave_nothing_behind) {
    Console_run run;
    ASSERT_EQ(run.console.run(load_line), 0) << run.console.last_error();
    EXPECT_EQ(run.host.filter_count(L"tp_echo"), 1u);
    EXPECT_EQ(run.console.run(load_line), 1); // one plug-in at a time

    ASSERT_EQ(run.console.run("unload\n"), 0);
    EXPECT_EQ(run.host.filter_count(L"tp_echo"), 0u);
    EXPECT_EQ(run.host.filter_count(L"vq_default_action_handler"), 0u);
    EXPECT_EQ(run.host.keyboard_listener(), nullptr);
    // A DLL without the exports is no plug-in.
    EXPECT_EQ(run.console.run("load version.dll\n"), 1);
    EXPECT_FALSE(run.console.plugin().loaded());

    for (std::string ending : {"", "send shutdown\n"}) {
        Lines events;
        {
            Reference_host host;
            Script_console console(host, [&](const std::string& line) {
                if (line.rfind("> tp_lifecycle", 0) == 0)
                    events.push_back(line.substr(line.find('"')));
            });
            ASSERT_EQ(console.run(load_line + "send startup\n" + ending), 0);
        }
        // Shut down by the script already or not: one "shutdown", before "finalize".
        EXPECT_EQ(events, (Lines{"\"startup\"", "\"shutdown\"", "\"finalize\""}));
    }
}

// Start, tray items from the option and from another process, shut-down
// order, the store kept in the root; then a host without a root.
TEST(Desktop_host, runs_plugins_and_tray_items_in_the_host_order) {
    const std::wstring root = Test_support::make_temp_directory(L"desktop");
    const std::wstring plugin = root + L"\\plugins\\host_test_plugin.dll";
    CreateDirectoryW((root + L"\\plugins").c_str(), nullptr);
    ASSERT_TRUE(CopyFileW(plugin_file.c_str(), plugin.c_str(), FALSE));
    // A file that only looks like a plug-in is skipped, not fatal.
    ASSERT_TRUE(Test_support::write_file(root + L"\\plugins\\broken.dll", "not a library"));
    Desktop_options options;
    options.root = root;
    options.tray_icon = options.interactive = false;
    options.tray_items = {L"tp_tray_second"};
    options.activation_key = 0x91;
    const Wide_lines order = {L"startup", L"shutdown", L"finalize"};
    Wide_lines lifecycle, tray_runs;
    std::string error;
    {
        Desktop_host desktop(options);
        desktop.host().set_request_observer([&](const std::wstring& name, Parameters* list) {
            if (name == L"tp_lifecycle")
                lifecycle.push_back(Param::read_text(list, L"event"));
            else if (name == L"tp_tray_ran")
                tray_runs.push_back(Param::read_text(list, L"action"));
        });
        ASSERT_TRUE(desktop.start(error)) << error;
        ASSERT_EQ(desktop.plugins().size(), 1u);
        EXPECT_EQ(lifecycle, Wide_lines{L"startup"});
        EXPECT_EQ(desktop.host().activation_key(), 0x91u);
        desktop.host().kv_store(L"k", L"v");
        Wide_lines keys; // the nameless child and the plain value are no items
        for (const auto& item : desktop.tray_menu().collect())
            keys.push_back(item.is_exit ? L"<exit>" : item.key);
        EXPECT_EQ(keys, (Wide_lines{L"tp_tray_first", L"tp_tray_second", L"<exit>"}));

        // Another thread plays the other process: WM_COPYDATA with a key, then
        // one that is no tray item, then closes the host.
        bool remote_ok = false;
        LRESULT foreign = TRUE;
        std::thread other([&] {
            remote_ok = Desktop_host::send_to_running(L"tp_tray_first", error);
            COPYDATASTRUCT data{};
            data.dwData = 1234;
            foreign =
                SendMessageW(desktop.window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data));
            PostMessageW(desktop.window(), WM_CLOSE, 0, 0);
        });
        EXPECT_EQ(desktop.run(), 0);
        other.join();
        EXPECT_TRUE(remote_ok) << error;
        EXPECT_EQ(foreign, FALSE);
        // The option's item ran first (queued at start-up), then the remote one.
        EXPECT_EQ(tray_runs, (Wide_lines{L"tp_tray_second", L"tp_tray_first"}));
        EXPECT_EQ(lifecycle, order);
        EXPECT_EQ(GetModuleHandleW(plugin.c_str()), nullptr);
        EXPECT_FALSE(desktop.queue_tray_item(L""));
        EXPECT_FALSE(Desktop_host::send_to_running(L"tp_tray_first", error));
        desktop.stop(); // a second stop does nothing
    }
    EXPECT_EQ(lifecycle, order);

    Reference_host later; // the store outlives its host
    std::wstring value;
    EXPECT_TRUE(later.attach_store_file(root + L"\\" + Desktop_host::store_file_name));
    EXPECT_TRUE(later.kv_read(L"k", value) && value == L"v");
    options.root += L"\\missing";
    EXPECT_FALSE(Desktop_host(options).start(error));
    Test_support::remove_tree(root);
}
