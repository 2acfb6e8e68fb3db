// The real zaptor.dll in a reference host: start-up wiring, the direct
// binding through the listener, shut-down (also from inside an action) and
// a second start-up.
#include "actions_test_support.h"

#include "host/plugin_library.h"

#include <gtest/gtest.h>

namespace {

std::uint32_t bound_key(Reference_host& host, const std::wstring& id) {
    auto list = Reference_host::make_list();
    Param::write_text(list.get(), L"id", id);
    host.deliver(L"zp_action_key_binding", list.get());
    return Param::read_u32(list.get(), L"key", 0xFFFFFFFFu);
}

} // namespace

TEST(Plugin_dll, key_bindings_through_the_real_plugin) {
    Work_folder folder(L"dll");
    Reference_host host;
    Plugin_library plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(Test_support::exe_directory() + L"plugins\\zaptor.dll", error) &&
                plugin.initialize(&host, error))
        << error;
    host.deliver(L"startup", nullptr);
    ASSERT_NE(host.keyboard_listener(), nullptr);

    Counting_action direct(L"zp_test_direct", &host);
    set_binding(host, 0x10241, L"zp_test_direct", L"Direct control A");
    // Control+A is a direct binding: key_processing never matches it.
    host.deliver(L"key_processing", u32_list(L"key_up", 0x41 | 0x80000000u).get());
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

    // Shut-down waits for the direct binding's run and withdraws everything.
    host.deliver(L"shutdown", nullptr);
    EXPECT_EQ(direct.deactivations(0x241), 1u);
    EXPECT_EQ(direct.total_runs(), 1u);
    EXPECT_EQ(host.keyboard_listener(), nullptr);
    for (const wchar_t* name : binding_messages)
        EXPECT_EQ(host.filter_count(name), 0u) << name;

    // Start-up again, twice, reads the bindings back and subscribes once.
    host.deliver(L"startup", nullptr);
    host.deliver(L"startup", nullptr);
    EXPECT_EQ(bound_key(host, L"zp_test_direct"), 0x10241u);
    EXPECT_EQ(host.filter_count(L"key_processing"), 1u);
    ASSERT_NE(host.keyboard_listener(), nullptr);
    EXPECT_TRUE(host.keyboard_listener()->key_event(&press, listener_control));

    // The host stops while an action waits for it: new work stops at once,
    // but the action is not freed under its running frame.
    int nested_shutdowns = 0;
    host.set_request_observer([&](const std::wstring& name, Parameters*) {
        if (name != L"tapquill_dlg" || nested_shutdowns++)
            return;
        host.deliver(L"shutdown", nullptr);
        EXPECT_EQ(host.filter_count(L"zp_tapquill"), 1u);
        EXPECT_EQ(host.keyboard_listener(), nullptr);
    });
    host.deliver(L"zp_tapquill", u32_list(L"deactivate", 0x41, L"execute").get());
    host.set_request_observer(nullptr);
    EXPECT_EQ(nested_shutdowns, 1);
    EXPECT_TRUE(plugin.finalize(error)) << error;
    EXPECT_EQ(host.keyboard_listener(), nullptr);
    EXPECT_EQ(host.filter_count(L"zp_tapquill"), 0u);
    plugin.unload();
}
