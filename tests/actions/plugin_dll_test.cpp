// The real zaptor.dll in a reference host: start-up wiring, the direct
// binding through the listener, shut-down (also from inside an action) and
// a second start-up.
#include "actions_test_support.h"

#include "host/plugin_library.h"
#include "host/typing_decoder.h"

#include <gtest/gtest.h>

namespace {

std::uint32_t bound_key(Reference_host& host, const std::wstring& id) {
    auto list = Reference_host::make_list();
    Param::write_text(list.get(), L"id", id);
    host.deliver(L"zp_action_key_binding", list.get());
    return Param::read_u32(list.get(), L"key", 0xFFFFFFFFu);
}

// A host whose keyboard hook sees the keys it types before its typing
// request returns, as SendInput's hooks do: every key element goes to the
// listener as an injected event. A loop is cut short after a few texts.
class Hooked_typist final : public Typist {
public:
    explicit Hooked_typist(Reference_host& host) : host_(host) {}
    bool type(const std::wstring& data) override {
        if (++texts > 5)
            return true;
        for (const Typing_element& element : Typing_decoder::decode(data)) {
            using Kind = Typing_element::Kind;
            if (element.kind == Kind::key_down || element.kind == Kind::key_press)
                send(element.virtual_key, true);
            if (element.kind == Kind::key_up || element.kind == Kind::key_press)
                send(element.virtual_key, false);
        }
        ++typed;
        return true;
    }
    std::atomic<unsigned> texts{0}, typed{0}, swallowed{0};

private:
    void send(DWORD virtual_key, bool down) {
        auto event = key_event(virtual_key, down);
        event.flags |= LLKHF_INJECTED;
        Keyboard_listener* listener = host_.keyboard_listener();
        if (listener && listener->key_event(&event, modifiers_))
            ++swallowed;
        if (virtual_key == VK_CONTROL)
            modifiers_ = down ? listener_control : 0;
    }
    Reference_host& host_;
    unsigned modifiers_ = 0;
};

} // namespace

// Control+End bound directly to a typing action that types Control+End.
TEST(Plugin_dll, a_typing_action_on_its_own_combination_runs_once) {
    Work_folder folder(L"dll_typing");
    Reference_host host;
    Hooked_typist typist(host);
    host.set_typist(&typist);
    Plugin_library plugin;
    std::string error;
    ASSERT_TRUE(plugin.load(Test_support::exe_directory() + L"plugins\\zaptor.dll", error) &&
                plugin.initialize(&host, error))
        << error;
    host.deliver(L"startup", nullptr);
    auto store = Reference_host::make_list();
    Parameters* action = store->child(L"zp_new");
    Param::write_text(action, L"type", L"typing_interpreter");
    Param::write_text(action, L"code", L"{key:ctrl end}");
    Param::write_text(action, L"name", L"End");
    host.deliver(L"zp_store_action_code", store.get());
    const std::wstring ident = Param::read_text(store->child(L"result"), L"zp_new");
    ASSERT_FALSE(ident.empty());
    set_binding(host, 0x10223, ident, L"End");
    auto press = key_event(VK_END, true);
    auto release = key_event(VK_END, false);
    EXPECT_TRUE(host.keyboard_listener()->key_event(&press, listener_control));
    EXPECT_TRUE(host.keyboard_listener()->key_event(&release, listener_control));
    // The run is on a worker; shut-down withdraws the listener first.
    for (int i = 0; i < 1000 && typist.typed == 0; ++i)
        Sleep(10);
    host.deliver(L"shutdown", nullptr);
    EXPECT_EQ(typist.texts.load(), 1u);
    EXPECT_EQ(typist.swallowed.load(), 0u);
    EXPECT_EQ(host.typed_texts().size(), 1u);
    host.set_typist(nullptr);
    EXPECT_TRUE(plugin.finalize(error)) << error;
    plugin.unload();
}

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
    auto press = key_event(0x41, true);
    auto release = key_event(0x41, false);
    EXPECT_TRUE(host.keyboard_listener()->key_event(&press, listener_control));
    EXPECT_TRUE(host.keyboard_listener()->key_event(&release, 0));

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

    // The host re-enters us while an action waits for it: a start-up is
    // refused, a shut-down or a finalize stops new work at once; nothing is
    // freed under the action's running frame.
    for (const std::string nested : {"startup", "shutdown", "finalize"}) {
        SCOPED_TRACE(nested);
        Keyboard_listener* before = host.keyboard_listener();
        bool delivered = false;
        host.set_request_observer([&](const std::wstring& name, Parameters*) {
            if (name != L"tapquill_dlg" || delivered)
                return;
            delivered = true;
            if (nested == "finalize")
                EXPECT_TRUE(plugin.finalize(error)) << error;
            else
                host.deliver(nested == "startup" ? L"startup" : L"shutdown", nullptr);
            EXPECT_EQ(host.filter_count(L"zp_tapquill"), 1u);
            EXPECT_EQ(host.keyboard_listener(), nested == "startup" ? before : nullptr);
        });
        host.deliver(L"zp_tapquill", u32_list(L"deactivate", 0x41, L"execute").get());
        host.set_request_observer(nullptr);
        EXPECT_TRUE(delivered);
        EXPECT_EQ(host.filter_count(L"zp_tapquill"), 1u);
    }
    // A new initialize frees the withdrawn set; a finalize then ends it all.
    ASSERT_TRUE(plugin.initialize(&host, error)) << error;
    EXPECT_EQ(host.filter_count(L"zp_tapquill"), 0u);
    EXPECT_TRUE(plugin.finalize(error)) << error;
    EXPECT_EQ(host.keyboard_listener(), nullptr);
    EXPECT_EQ(host.filter_count(L"zp_tapquill"), 0u);
    plugin.unload();
}
