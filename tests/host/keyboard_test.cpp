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

// Each row is one event through one router, in order: what the hook does
// with it, and the value the host reports (0: no report).
TEST(Key_router, swallow_and_report_decisions) {
    const DWORD injected = LLKHF_INJECTED;
    const std::uint32_t vq = 0x11000000u; // activation key plus Shift held before it
    struct Row {
        DWORD vk;
        bool down;
        DWORD flags;
        bool swallow;
        std::uint32_t report; // with the key-down bit checked separately
    } rows[] = {
        {VK_LSHIFT, true, 0, false, 0},
        {caps, true, 0, true, 0},
        {'A', true, 0, true, 0x41u | vq},
        // Right Control is reported with the state before it, then shows in the flags.
        {VK_RCONTROL, true, 0, true, VK_RCONTROL | vq},
        {'B', false, 0, true, 0x42u | vq | 0x88000000u},
        // The plug-in's own keys pass untouched, even during activation.
        {VK_LCONTROL, true, injected, false, 0},
        {'V', true, injected, false, 0},
        {caps, false, 0, true, 0},
        // The activation key went up first: A's release is still reported, as pressed.
        {'A', false, 0, true, 0x41u | vq},
        {'V', true, injected, false, 0},
        // Outside activation the listener decides: it swallows 'S' only.
        {'S', true, 0, true, 0},
        {'T', true, 0, false, 0},
    };
    Key_router router;
    Listener listener;
    listener.swallow_vk = 'S';
    for (const auto& row : rows) {
        const auto d = router.route(key(row.vk, row.down, row.flags), caps, &listener);
        EXPECT_EQ(d.swallow, row.swallow) << std::hex << row.vk;
        EXPECT_EQ(d.report, row.report != 0) << std::hex << row.vk;
        if (row.report) {
            EXPECT_EQ(d.host_value, row.report) << std::hex << row.vk;
            EXPECT_EQ(d.key_down, row.down) << std::hex << row.vk;
        }
    }
    // The listener saw Shift, then S and T with the held modifiers; nothing
    // during activation, nothing injected.
    ASSERT_EQ(listener.calls.size(), 3u);
    EXPECT_EQ(listener.calls[0].modifiers, 0u);
    EXPECT_EQ(listener.calls[1].vk, static_cast<DWORD>('S'));
    EXPECT_EQ(listener.calls[1].modifiers, listener_control | listener_shift);
    // No listener registered: everything passes.
    EXPECT_FALSE(router.route(key('S', true), caps, nullptr).swallow);

    // Right Alt: bit 29; left Alt: bit 30.
    Key_router alt;
    alt.route(key(VK_RMENU, true), caps, nullptr);
    EXPECT_EQ(alt.host_flags(), 0x20000000u);
    alt.route(key(VK_LMENU, true), caps, nullptr);
    EXPECT_EQ(alt.host_flags(), 0x60000000u);
    EXPECT_EQ(alt.listener_modifiers(), listener_alt);
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
                          "hook\n"
                          "wait 0\n"),
              0)
        << console.last_error();
    ASSERT_NE(console.hook(), nullptr);
    std::vector<std::string> lines;
    for (const auto& line : output)
        if (line.rfind("= listener", 0) == 0 || line.rfind("= activation", 0) == 0)
            lines.push_back(line);
    EXPECT_EQ(lines, (std::vector<std::string>{"= listener true", "= listener true",
                                               "= listener false", "= activation u32:0x91"}));
    // A report from the hook reaches the plug-in in "wait".
    console.hook()->post_report(0x41, true);
    ASSERT_EQ(console.run("wait 0\n"), 0);
    EXPECT_EQ(output.back(), "> tp_key_seen key_down=u32:0x41");
}

// A release reports the combination that was pressed, even when a modifier
// was let go first: otherwise the release would run another binding's action.
TEST(Key_router, release_reports_the_pressed_combination) {
    Key_router router;
    router.route(key(caps, true), caps, nullptr);
    router.route(key(VK_LSHIFT, true), caps, nullptr);
    auto press = router.route(key('1', true), caps, nullptr);
    router.route(key(VK_LSHIFT, false), caps, nullptr); // Shift released first
    auto release = router.route(key('1', false), caps, nullptr);
    ASSERT_TRUE(release.report);
    EXPECT_EQ(press.host_value, 0x11000031u);
    EXPECT_EQ(release.host_value, press.host_value);
    // The next press without Shift is reported without it.
    EXPECT_EQ(router.route(key('1', true), caps, nullptr).host_value, 0x31u);
}
