// The host's keyboard input and output: what the hook decides for each event,
// decoding typing data, the events SendInput gets, and real typing.
#include "host/key_router.h"
#include "host/reference_host.h"
#include "host/send_input_typist.h"
#include "host/typing_decoder.h"

#include "contract/parameter_values.h"
#include "target_client.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace {

KBDLLHOOKSTRUCT key(DWORD vk, bool down, DWORD flags = 0) {
    KBDLLHOOKSTRUCT event{};
    event.vkCode = vk;
    event.flags = (down ? 0 : LLKHF_UP) | flags;
    return event;
}

struct Listener final : Keyboard_listener {
    std::vector<std::pair<DWORD, unsigned int>> calls; // (vk, modifiers)
    void* destroy(unsigned int) override { return this; }
    bool key_event(const KBDLLHOOKSTRUCT* event, unsigned int modifiers) override {
        calls.emplace_back(event->vkCode, modifiers);
        return event->vkCode == 'S';
    }
};

// Records what SendInput would get: a character as itself, a virtual key as
// #hex (x: extended), + down, - up; batches in brackets, then the sleeps.
struct Recorder {
    std::wstring log;
    bool insert_one = false; // the next send inserts only one event
    UINT record(const std::vector<INPUT>& inputs) {
        log += L"[";
        for (const auto& in : inputs) {
            wchar_t vk[8];
            swprintf(vk, 8, L"#%x", in.ki.wVk);
            log += (in.ki.dwFlags & KEYEVENTF_UNICODE) ? std::wstring(1, in.ki.wScan) : vk;
            log += (in.ki.dwFlags & KEYEVENTF_EXTENDEDKEY) ? L"x" : L"";
            log += (in.ki.dwFlags & KEYEVENTF_KEYUP) ? L"-" : L"+";
        }
        log += L"]";
        return std::exchange(insert_one, false) ? 1 : inputs.size();
    }
    Send_input_typist typist{[this](const std::vector<INPUT>& inputs) { return record(inputs); },
                             [this](unsigned int ms) { log += L"sleep" + std::to_wstring(ms); }};
};

} // namespace

// Each row is one event through one router, in order: what the hook does
// with it, and the value the host reports (0: no report).
TEST(Key_router, swallow_and_report_decisions) {
    const DWORD caps = VK_CAPITAL, injected = LLKHF_INJECTED;
    const std::uint32_t vq = 0x11000000u; // Shift held before the activation key
    const std::uint32_t rctrl = 0x88000000u;
    const struct {
        DWORD vk;
        bool down;
        DWORD flags;
        bool swallow;
        std::uint32_t report;
    } rows[] = {
        {VK_LSHIFT, true, 0, false, 0},
        {caps, true, 0, true, 0},
        {'A', true, 0, true, 0x41u | vq},
        // Right Control is reported with the state before it, then shows in the flags.
        {VK_RCONTROL, true, 0, true, VK_RCONTROL | vq},
        {'B', false, 0, true, 0x42u | vq | rctrl},
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
        // A release reports the combination pressed even when Shift went up
        // first: otherwise it would run another binding's action.
        {caps, true, 0, true, 0},
        {'1', true, 0, true, 0x31u | vq | rctrl},
        {VK_LSHIFT, false, 0, true, VK_LSHIFT | vq | rctrl},
        {'1', false, 0, true, 0x31u | vq | rctrl},
        {'1', true, 0, true, 0x31u | rctrl},
        // Right Alt: bit 29; left Alt: bit 30.
        {VK_RMENU, true, 0, true, VK_RMENU | rctrl},
        {VK_LMENU, true, 0, true, VK_LMENU | rctrl | 0x20000000u},
        {'2', true, 0, true, 0x32u | rctrl | 0x60000000u},
        {caps, false, 0, true, 0},
        {'U', true, 0, false, 0},
    };
    Key_router router;
    Listener listener;
    for (const auto& row : rows) {
        const auto d = router.route(key(row.vk, row.down, row.flags), caps, &listener);
        EXPECT_EQ(d.swallow, row.swallow) << std::hex << row.vk;
        EXPECT_EQ(d.report, row.report != 0) << std::hex << row.vk;
        if (row.report) {
            EXPECT_EQ(d.host_value, row.report) << std::hex << row.vk;
            EXPECT_EQ(d.key_down, row.down) << std::hex << row.vk;
        }
    }
    // The listener saw Shift, then S and T with the held modifiers, U with
    // Alt too; nothing during activation, nothing injected.
    const unsigned int held = listener_control | listener_shift;
    EXPECT_EQ(
        listener.calls,
        (std::vector<std::pair<DWORD, unsigned int>>{
            {VK_LSHIFT, 0}, {'S', held}, {'T', held}, {'U', listener_control | listener_alt}}));
    EXPECT_FALSE(router.route(key('S', true), caps, nullptr).swallow); // no listener
}

// Every element kind, then malformed ones: a bad element shows as invalid and
// the characters after it are kept.
TEST(Typing_decoder, decodes_elements) {
    const struct {
        std::wstring data, visible;
    } rows[] = {
        {L"ab\u000125\u000210X\u000310z", L"ab<press 25><down 10>X<up 10>z"},
        {L"\u0004 1f4\u0004   0", L"<pause 500><pause 0>"},
        {L"\u0005L00000003|00000002urlhi\u0005I00000005p.png", L"<link url|hi><image p.png>"},
        // Upper-case hex digits from another producer read the same; 0xff stays 8 bits.
        {L"\u0001FF\u00022E", L"<press ff><down 2e>"},
        {L"a<b\tc\r\nd\u0007", L"a<lt>b<tab>c<return><newline>d<U+0007>"},
        {L"a\u00012", L"a<invalid U+0001>2"},
        {L"\u0002g1x", L"<invalid U+0002>g1x"},
        {L"\u0004    y", L"<invalid U+0004>    y"},
        {L"\u0004 1 4", L"<invalid U+0004> 1 4"},
        {L"\u0005I00000009ab", L"<invalid U+0005>I00000009ab"},
        {L"\u0005L00000001-00000001ab", L"<invalid U+0005>L00000001-00000001ab"},
        {L"\u0005Q", L"<invalid U+0005>Q"},
        {L"\u0005", L"<invalid U+0005>"},
        // A record that ends exactly at the end of the data is whole.
        {L"\u0005I00000002ab", L"<image ab>"},
    };
    for (const auto& row : rows)
        EXPECT_EQ(Typing_decoder::visible_form(row.data), row.visible);
    const auto elements = Typing_decoder::decode(L"\u0005L00000001|00000000u");
    ASSERT_EQ(elements.size(), 1u);
    EXPECT_EQ(Typing_decoder::record_text(elements[0]), L"u");
}

TEST(Send_input_typist, sends_unicode_characters_virtual_keys_and_sleeps_in_order) {
    const struct {
        std::wstring data, log;
    } rows[] = {
        // CR LF is one Return, a tab the Tab key; Left is extended (else keypad 4).
        {L"h\u00e9\r\nx\ty\u000125\u0004  64",
         L"[h+h-\u00e9+\u00e9-#d+#d-x+x-#9+#9-y+y-#25x+#25x-]sleep100"},
        {L"\u000211\u00012e\u000311\u0005L00000001|00000001ab\n",
         L"[#11+#2ex+#2ex-#11-a+a- + -(+(-b+b-)+)-#d+#d-]"},
        // Shift and Control pressed, only Control released: Shift must not stay down.
        {L"\u000210\u000211a\u000311", L"[#10+#11+a+a-#11-#10-]"},
    };
    for (const auto& row : rows) {
        Recorder r;
        EXPECT_TRUE(r.typist.type(row.data));
        EXPECT_EQ(r.log, row.log);
    }
    Recorder blocked;
    blocked.insert_one = true; // as when another program blocks the input
    EXPECT_FALSE(blocked.typist.type(L"abc"));
}

TEST(Send_input_typist, types_into_the_target_application) {
    Target_app target;
    ASSERT_TRUE(target.start());
    ASSERT_TRUE(target.set_text(Target_app::Control::edit, L""));
    ASSERT_TRUE(target.activate());

    Reference_host host;
    Send_input_typist typist;
    host.set_typist(&typist);
    auto list = Reference_host::make_list();
    // "abc", a pause, Back, "d", Left, "e", and a link record as its text.
    Param::write_text(list.get(), L"typing_data",
                      L"abc\u0004  c8\u000108d\u000125e\u000123\u0005L00000001|00000000\u00fc");
    EXPECT_EQ(host.send(L"vq_keyboard_write", 17, list.get()), 1);
    // SendInput returns when the events are queued: wait for the target to read them.
    std::wstring text;
    for (int i = 0; i < 100 && text.size() < 5; ++i) {
        Sleep(i ? 50 : 0);
        text = target.text(Target_app::Control::edit);
    }
    EXPECT_EQ(text, L"abed\u00fc");
    EXPECT_EQ(host.typed_texts().size(), 1u);
}
