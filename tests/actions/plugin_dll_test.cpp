// The real zaptor.dll in a reference host: start-up wiring, key codes from
// host values, the direct binding through the listener, backup and restore
// through the lifecycle messages, shut-down and a database that cannot open.
#include "actions_test_support.h"

#include "host/parameter_list.h"
#include "host/plugin_library.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

const wchar_t* const binding_messages[] = {L"key_processing", L"core__notify_data_update",
                                           L"zp_action_key_binding", L"zp_action_set_key_binding",
                                           L"zp_action_remove_key_binding"};

struct Loaded_plugin {
    Reference_host host;
    Plugin_library plugin;
    Loaded_plugin() {
        std::string error;
        loaded = plugin.load(Test_support::exe_directory() + L"plugins\\zaptor.dll", error) &&
                 plugin.initialize(&host, error);
        EXPECT_TRUE(loaded) << error;
    }
    ~Loaded_plugin() {
        std::string error;
        if (plugin.initialized())
            plugin.finalize(error);
        plugin.unload();
    }
    bool loaded = false;
};

void deliver_u32(Reference_host& host, const wchar_t* message, const wchar_t* key,
                 std::uint32_t value) {
    auto list = Reference_host::make_list();
    Param::write_u32(list.get(), key, value);
    host.deliver(message, list.get());
}

void bind(Reference_host& host, std::uint32_t combi, const std::wstring& id,
          const std::wstring& title) {
    auto list = Reference_host::make_list();
    Param::write_u32(list.get(), L"combi", combi);
    Param::write_text(list.get(), L"id", id);
    Param::write_text(list.get(), L"title", title);
    host.deliver(L"zp_action_set_key_binding", list.get());
}

std::uint32_t bound_key(Reference_host& host, const std::wstring& id) {
    auto list = Reference_host::make_list();
    Param::write_text(list.get(), L"id", id);
    host.deliver(L"zp_action_key_binding", list.get());
    return Param::read_u32(list.get(), L"key", 0xFFFFFFFFu);
}

bool backup_message(Reference_host& host, const wchar_t* message, const std::wstring& path) {
    auto list = Reference_host::make_list();
    Param::write_text(list.get(), L"path", path);
    host.deliver(message, list.get());
    const Parameter_list::Entry* result = list->find_value(L"result");
    EXPECT_TRUE(result && result->bytes.size() == 1);
    return result && result->bytes.size() == 1 && result->bytes[0] == 1;
}

} // namespace

TEST(Plugin_dll, key_bindings_through_the_real_plugin) {
    Work_folder folder(L"dll");
    Loaded_plugin p;
    ASSERT_TRUE(p.loaded);
    Reference_host& host = p.host;
    EXPECT_EQ(host.keyboard_listener(), nullptr);
    host.deliver(L"startup", nullptr);
    for (const wchar_t* name : binding_messages)
        EXPECT_EQ(host.filter_count(name), 1u) << name;
    ASSERT_NE(host.keyboard_listener(), nullptr);

    Counting_action shift_a(L"zp_test_shift_a", &host);
    Counting_action rshift(L"zp_test_rshift", &host);
    Counting_action direct(L"zp_test_direct", &host);
    bind(host, 0x141, L"zp_test_rshift", L"First");
    bind(host, 0x141, L"zp_test_shift_a", L"Replaced"); // one action per combination
    bind(host, 0x1A1, L"zp_test_rshift", L"Right shift");
    bind(host, 0x10241, L"zp_test_direct", L"Direct control A");
    bind(host, 0x1FFFF, L"zp_test_direct", L"Never"); // no combination

    deliver_u32(host, L"key_processing", L"key_down", 0x41 | 0x10000000u);
    deliver_u32(host, L"key_processing", L"key_up", 0x41 | 0x10000000u);
    EXPECT_EQ(shift_a.activations(0x141), 1u);
    EXPECT_EQ(shift_a.deactivations(0x141), 1u);
    deliver_u32(host, L"key_processing", L"key_down", 0xA1);
    EXPECT_EQ(rshift.activations(0x1A1), 1u);
    EXPECT_EQ(rshift.total_runs(), 1u);

    // Control+A is a direct binding: key_processing never matches it.
    deliver_u32(host, L"key_processing", L"key_down", 0x41 | 0x80000000u);
    deliver_u32(host, L"key_processing", L"key_up", 0x41 | 0x80000000u);
    EXPECT_EQ(direct.total_runs(), 0u);
    Keyboard_listener* listener = host.keyboard_listener();
    auto press = key_event(0x41, true);
    auto release = key_event(0x41, false);
    // A press that went through: its release goes through too and runs nothing.
    EXPECT_FALSE(listener->key_event(&press, listener_shift));
    EXPECT_FALSE(listener->key_event(&release, listener_control));
    // Control released before A: the swallowed press's release is swallowed
    // and runs the binding; a repeated press in between stays swallowed.
    EXPECT_TRUE(listener->key_event(&press, listener_control));
    EXPECT_TRUE(listener->key_event(&press, 0));
    EXPECT_TRUE(listener->key_event(&release, 0));
    EXPECT_FALSE(listener->key_event(&release, listener_control));

    // The ident bound twice answers the code whose low half sorts first.
    bind(host, 0x10042, L"zp_test_rshift", L"Direct B");
    EXPECT_EQ(bound_key(host, L"zp_test_rshift"), 0x10042u);
    EXPECT_EQ(bound_key(host, L"zp_test_shift_a"), 0x141u);
    EXPECT_EQ(bound_key(host, L"zp_test_direct"), 0x10241u);
    EXPECT_EQ(bound_key(host, L"zp_unbound"), 0xFFFFFFFFu);

    std::wstring backup = Test_support::make_temp_directory(L"dll_backup");
    EXPECT_TRUE(backup_message(host, L"create_backup", backup));
    EXPECT_TRUE(Test_support::file_exists(backup + L"\\zaptor.db"));
    deliver_u32(host, L"zp_action_remove_key_binding", L"combi", 0x141);
    EXPECT_EQ(bound_key(host, L"zp_test_shift_a"), 0xFFFFFFFFu);
    EXPECT_TRUE(backup_message(host, L"restore_backup", backup));
    EXPECT_EQ(bound_key(host, L"zp_test_shift_a"), 0x141u);
    // A folder without a backup: false, and the bindings stay.
    std::wstring empty = Test_support::make_temp_directory(L"dll_empty");
    EXPECT_FALSE(backup_message(host, L"restore_backup", empty));
    EXPECT_EQ(bound_key(host, L"zp_test_shift_a"), 0x141u);
    EXPECT_EQ(host.filter_count(L"key_processing"), 1u);

    host.deliver(L"shutdown", nullptr);
    EXPECT_EQ(direct.deactivations(0x241), 1u);
    EXPECT_EQ(direct.total_runs(), 1u);
    EXPECT_EQ(host.keyboard_listener(), nullptr);
    for (const wchar_t* name : binding_messages)
        EXPECT_EQ(host.filter_count(name), 0u) << name;

    // Start-up again reads the bindings back from the file.
    host.deliver(L"startup", nullptr);
    EXPECT_EQ(bound_key(host, L"zp_test_direct"), 0x10241u);
    ASSERT_NE(host.keyboard_listener(), nullptr);
    // A second start-up replaces the components instead of doubling them.
    host.deliver(L"startup", nullptr);
    EXPECT_EQ(host.filter_count(L"key_processing"), 1u);
    ASSERT_NE(host.keyboard_listener(), nullptr);
    EXPECT_TRUE(host.keyboard_listener()->key_event(&press, listener_control));

    std::string error;
    EXPECT_TRUE(p.plugin.finalize(error)) << error;
    EXPECT_EQ(host.keyboard_listener(), nullptr);
    EXPECT_EQ(host.filter_count(L"key_processing"), 0u);
    Test_support::remove_tree(backup);
    Test_support::remove_tree(empty);
}

TEST(Plugin_dll, a_database_that_cannot_open_leaves_the_host_working) {
    Work_folder folder(L"dll_nodb", false);
    Loaded_plugin p;
    ASSERT_TRUE(p.loaded);
    auto level = Reference_host::make_list();
    Param::write_text(level.get(), L"level", L"error");
    p.host.deliver(L"set_debug_level", level.get());
    p.host.deliver(L"startup", nullptr);
    for (const wchar_t* name : binding_messages)
        EXPECT_EQ(p.host.filter_count(name), 0u) << name;
    EXPECT_EQ(p.host.keyboard_listener(), nullptr);

    // The host goes on delivering, and the plug-in shuts down cleanly.
    Counting_action action(L"zp_test", &p.host);
    deliver_u32(p.host, L"zp_test", L"deactivate", 0x41);
    auto run = Reference_host::make_list();
    Param::write_text(run.get(), L"request", L"execute");
    Param::write_u32(run.get(), L"deactivate", 0x41);
    p.host.deliver(L"zp_test", run.get());
    EXPECT_EQ(action.deactivations(0x41), 1u);
    p.host.deliver(L"shutdown", nullptr);

    // The trace file is complete once the library is gone.
    std::string error;
    EXPECT_TRUE(p.plugin.finalize(error)) << error;
    p.plugin.unload();
    std::ifstream log(
        std::filesystem::path(Test_support::exe_directory() + L"plugins\\zaptor.log"));
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_NE(text.str().find("[Keyboard_shortcuts_impl::initialize]  Zaptor exception:"),
              std::string::npos);
}
