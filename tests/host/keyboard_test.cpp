// The host's keyboard: what the hook decides for each event, and that its
// "key_processing" work waits for the message loop.
#include "host/key_router.h"
#include "host/keyboard_hook.h"
#include "host/script_console.h"

#include "contract/parameter_values.h"
#include "contract/text_convert.h"
#include "support/test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

KBDLLHOOKSTRUCT key(DWORD vk, bool down, DWORD extra_flags = 0) {
    KBDLLHOOKSTRUCT event{};
    event.vkCode = vk;
    event.flags = (down ? 0 : LLKHF_UP) | extra_flags;
    return event;
}

struct Listener final : Keyboard_listener {
    struct Call {
        DWORD vk;
        bool down;
        unsigned int modifiers;
    };
    std::vector<Call> calls;
    DWORD swallow_vk = 0;
    void* destroy(unsigned int) override { return this; }
    bool key_event(const KBDLLHOOKSTRUCT* event, unsigned int modifiers) override {
        calls.push_back({event->vkCode, (event->flags & LLKHF_UP) == 0, modifiers});
        return event->vkCode == swallow_vk;
    }
};

struct Key_filter final : Filter {
    std::vector<std::pair<bool, std::uint32_t>> reports; // (down, value)
    void* destroy(unsigned int) override { return this; }
    int status() override { return 1; }
    int process(const wchar_t*, unsigned int, Parameters* list) override {
        if (Param::has_value(list, L"key_down"))
            reports.emplace_back(true, Param::read_u32(list, L"key_down", 0));
        else
            reports.emplace_back(false, Param::read_u32(list, L"key_up", 0));
        return 0;
    }
};

constexpr std::uint32_t caps = VK_CAPITAL;

} // namespace

TEST(Key_router, activation_key_turns_keys_into_swallowed_reports) {
    Key_router router;
    Listener listener;
    // Shift held before the activation key: its flags ride along.
    auto d = router.route(key(VK_LSHIFT, true), caps, &listener);
    EXPECT_FALSE(d.swallow);
    d = router.route(key(caps, true), caps, &listener);
    EXPECT_TRUE(d.swallow);
    EXPECT_FALSE(d.report);

    d = router.route(key('A', true), caps, &listener);
    EXPECT_TRUE(d.swallow);
    EXPECT_TRUE(d.report);
    EXPECT_TRUE(d.key_down);
    EXPECT_EQ(d.host_value, 0x41u | 0x11000000u);

    // Right Control pressed during activation is itself reported, with the
    // state before it; afterwards it shows in the flags.
    d = router.route(key(VK_RCONTROL, true), caps, &listener);
    EXPECT_EQ(d.host_value, static_cast<std::uint32_t>(VK_RCONTROL) | 0x11000000u);
    d = router.route(key('B', false), caps, &listener);
    EXPECT_FALSE(d.key_down);
    EXPECT_EQ(d.host_value, 0x42u | 0x11000000u | 0x88000000u);

    // The activation key goes up before A: A's release is still reported.
    d = router.route(key(caps, false), caps, &listener);
    EXPECT_TRUE(d.swallow);
    d = router.route(key('A', false), caps, &listener);
    EXPECT_TRUE(d.report);
    EXPECT_FALSE(d.key_down);
    EXPECT_EQ(d.host_value & 0xFFFFu, 0x41u);
    // Only the Shift press went to the listener; nothing during activation.
    ASSERT_EQ(listener.calls.size(), 1u);
    EXPECT_EQ(listener.calls[0].vk, static_cast<DWORD>(VK_LSHIFT));

    // Right Alt flags: bit 29; left Alt: bit 30.
    Key_router alt;
    alt.route(key(VK_RMENU, true), caps, nullptr);
    EXPECT_EQ(alt.host_flags(), 0x20000000u);
    alt.route(key(VK_LMENU, true), caps, nullptr);
    EXPECT_EQ(alt.host_flags(), 0x60000000u);
    EXPECT_EQ(alt.listener_modifiers(), listener_alt);
}

TEST(Key_router, listener_gets_modifier_bits_and_decides) {
    Key_router router;
    Listener listener;
    listener.swallow_vk = 'A';
    EXPECT_FALSE(router.route(key(VK_RCONTROL, true), caps, &listener).swallow);
    EXPECT_FALSE(router.route(key(VK_LSHIFT, true), caps, &listener).swallow);
    auto d = router.route(key('A', true), caps, &listener);
    EXPECT_TRUE(d.swallow);
    EXPECT_FALSE(d.report);
    EXPECT_FALSE(router.route(key('B', true), caps, &listener).swallow);
    router.route(key(VK_LSHIFT, false), caps, &listener);
    router.route(key('A', false), caps, &listener);

    ASSERT_EQ(listener.calls.size(), 6u);
    EXPECT_EQ(listener.calls[0].modifiers, 0u);
    EXPECT_EQ(listener.calls[1].modifiers, listener_control);
    EXPECT_EQ(listener.calls[2].modifiers, listener_control | listener_shift);
    EXPECT_TRUE(listener.calls[2].down);
    EXPECT_EQ(listener.calls[5].modifiers, listener_control);
    EXPECT_FALSE(listener.calls[5].down);

    // No listener registered: everything passes.
    EXPECT_FALSE(router.route(key('A', true), caps, nullptr).swallow);
}

TEST(Key_router, injected_events_pass_untouched_even_during_activation) {
    Key_router router;
    Listener listener;
    listener.swallow_vk = 'V';
    router.route(key(caps, true), caps, &listener);
    // The plug-in's own Control+V while the user still holds the activation key.
    for (auto event : {key(VK_LCONTROL, true, LLKHF_INJECTED), key('V', true, LLKHF_INJECTED),
                       key('V', false, LLKHF_INJECTED), key(VK_LCONTROL, false, LLKHF_INJECTED)}) {
        auto d = router.route(event, caps, &listener);
        EXPECT_FALSE(d.swallow);
        EXPECT_FALSE(d.report);
    }
    // Injected modifiers leave the tracked state alone.
    EXPECT_EQ(router.host_flags(), 0u);
    router.route(key(caps, false), caps, &listener);
    EXPECT_FALSE(router.route(key('V', true, LLKHF_INJECTED), caps, &listener).swallow);
    EXPECT_TRUE(listener.calls.empty());
}

TEST(Keyboard_hook, reports_wait_for_the_message_loop) {
    Reference_host host;
    Key_filter filter;
    host.subscribe(L"key_processing", 14, &filter);
    Keyboard_hook hook(host);
    std::string error;
    ASSERT_TRUE(hook.install(error)) << error;
    Keyboard_hook second(host);
    EXPECT_FALSE(second.install(error));

    ASSERT_TRUE(hook.post_report(0x10000041, true));
    ASSERT_TRUE(hook.post_report(0x41, false));
    EXPECT_TRUE(filter.reports.empty());
    pump_messages(0);
    ASSERT_EQ(filter.reports.size(), 2u);
    EXPECT_EQ(filter.reports[0], std::make_pair(true, 0x10000041u));
    EXPECT_EQ(filter.reports[1], std::make_pair(false, 0x41u));
}

TEST(Script_console, keyboard_commands) {
    Reference_host host;
    std::vector<std::string> output;
    Script_console console(host, [&](const std::string& line) { output.push_back(line); });
    std::string plugin = utf16_to_utf8(Test_support::exe_directory()) + "host_test_plugin.dll";
    ASSERT_EQ(console.run("load " + plugin +
                          "\n"
                          "listener down 0x41 ctrl\n"
                          "listener up 65 ctrl\n"
                          "listener down 0x41 ctrl shift\n"
                          "activation 0x91\n"
                          "send tp_request in=text:x\n"
                          "send tp_async\n"
                          "hook\n"
                          "wait 0\n"),
              0)
        << console.last_error();
    ASSERT_NE(console.hook(), nullptr);
    std::vector<std::string> listener_lines;
    bool activation_seen = false;
    for (const auto& line : output) {
        if (line.rfind("= listener", 0) == 0)
            listener_lines.push_back(line);
        activation_seen |= line == "= activation u32:0x91";
    }
    EXPECT_EQ(listener_lines,
              (std::vector<std::string>{"= listener true", "= listener true", "= listener false"}));
    EXPECT_TRUE(activation_seen);

    // A report from the hook reaches the filters only in "wait".
    Key_filter filter;
    host.subscribe(L"key_processing", 14, &filter);
    console.hook()->post_report(0x41, true);
    EXPECT_TRUE(filter.reports.empty());
    ASSERT_EQ(console.run("wait 0\n"), 0);
    EXPECT_EQ(filter.reports.size(), 1u);
    // The worker thread's request may be printed in between: look for the line.
    EXPECT_NE(std::find(output.begin(), output.end(), "> tp_key_seen key_down=u32:0x41"),
              output.end());
    host.unsubscribe(L"key_processing", 14, &filter);

    // The worker's request is printed like any other (finalize joins it).
    ASSERT_EQ(console.run("finalize\n"), 0);
    EXPECT_NE(
        std::find(output.begin(), output.end(), "> vq_keyboard_write typing_data=text:\"async\""),
        output.end());
}

// A release reports the combination that was pressed, even when a modifier
// was let go first: otherwise the release would run another binding's action.
TEST(Key_router, ReleaseReportsThePressedCombination) {
    Key_router router;
    auto event = [](DWORD vk, bool up) {
        KBDLLHOOKSTRUCT e{};
        e.vkCode = vk;
        e.flags = up ? LLKHF_UP : 0;
        return e;
    };
    router.route(event(0x14, false), 0x14, nullptr); // activation key down
    router.route(event(VK_LSHIFT, false), 0x14, nullptr);
    auto press = router.route(event(0x31, false), 0x14, nullptr);
    router.route(event(VK_LSHIFT, true), 0x14, nullptr); // Shift released first
    auto release = router.route(event(0x31, true), 0x14, nullptr);
    ASSERT_TRUE(press.report);
    ASSERT_TRUE(release.report);
    EXPECT_EQ(press.host_value, 0x11000031u);
    EXPECT_EQ(release.host_value, press.host_value);
    EXPECT_FALSE(release.key_down);
    // The next press without Shift is reported without it.
    auto plain = router.route(event(0x31, false), 0x14, nullptr);
    EXPECT_EQ(plain.host_value, 0x31u);
}
