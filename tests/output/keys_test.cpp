#include "contract/own_output.h"
#include "output/clipboard_handler.h"
#include "output/keypresser.h"
#include "output/text_expansion.h"
#include "output_test_support.h"
#include "target_app_test.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// Injected events seen by a low-level hook of this thread, swallowed there,
// and whether they came while our own output was in progress.
std::vector<KBDLLHOOKSTRUCT> recorded;
std::vector<bool> recorded_as_own;

LRESULT CALLBACK record(int code, WPARAM wparam, LPARAM lparam) {
    const auto* info = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lparam);
    if (code != HC_ACTION || !(info->flags & LLKHF_INJECTED))
        return CallNextHookEx(nullptr, code, wparam, lparam);
    recorded.push_back(*info);
    recorded_as_own.push_back(Own_output::in_progress());
    return 1;
}

class KeypresserTest : public Target_app_test {
protected:
    // Per key sent: its code, released ('1') or pressed, extended ('1') or not.
    void expect_sent(Keypresser& keys, bool paste, const std::vector<DWORD>& expected,
                     const std::string& up, const std::string& extended) {
        ASSERT_TRUE(target->activate()); // keys go out only to a foreground GUI thread
        recorded.clear();
        recorded_as_own.clear();
        HHOOK hook = SetWindowsHookExW(WH_KEYBOARD_LL, &record, GetModuleHandleW(nullptr), 0);
        ASSERT_NE(hook, nullptr);
        keys.execute(paste);
        EXPECT_EQ(keys.queued(), 0u);
        Output_test::pump_until([&] { return recorded.size() >= expected.size(); }, 3000);
        wait_pumping(100);
        UnhookWindowsHookEx(hook);
        ASSERT_EQ(recorded.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(recorded[i].vkCode, expected[i]) << i;
            EXPECT_EQ((recorded[i].flags & LLKHF_UP) != 0, up[i] == '1') << i;
            EXPECT_EQ((recorded[i].flags & LLKHF_EXTENDED) != 0, extended[i] == '1') << i;
            // The keyboard listener can tell them from the user's keys.
            EXPECT_TRUE(recorded_as_own[i]) << i;
        }
        EXPECT_FALSE(Own_output::in_progress());
    }
};

TEST_F(KeypresserTest, ReleasesSixModifiersBeforeTheQueuedEventsExceptForAPaste) {
    Keypresser keys;
    for (int key : {VK_INSERT, int('V')}) {
        keys.key_down(VK_CONTROL);
        keys.key_down(key);
        keys.key_up(key);
        keys.key_up(VK_CONTROL);
    }
    // Only the right-hand Control and Alt, and Insert, are extended keys.
    expect_sent(keys, false,
                {VK_RMENU, VK_LMENU, VK_RCONTROL, VK_LCONTROL, VK_RSHIFT, VK_LSHIFT, VK_CONTROL,
                 VK_INSERT, VK_INSERT, VK_CONTROL, VK_CONTROL, 'V', 'V', VK_CONTROL},
                "11111100110011", "10100001100000");
    keys.key_down('V');
    keys.key_up('V');
    expect_sent(keys, true, {'V', 'V'}, "01", "00");
    expect_sent(keys, false, {}, "", ""); // an empty queue sends nothing
}

// The expansion's clipboard source, on the real clipboard.
TEST(ExpandText, ReadsTheClipboardThroughTheSourceAndFallsBackToTheCode) {
    ASSERT_TRUE(Output_test::set_clipboard_text(L"CLIP"));
    const DWORD sequence = GetClipboardSequenceNumber();
    const Expansion_result result = expand_text(
        [](Clipboard_text_source& source, const std::wstring& text) {
            return text.substr(0, 1) + source.clipboard_text() + text.substr(12);
        },
        L"x{clipboard}{cursor}yz");
    EXPECT_EQ(result.text, L"xCLIPyz");
    EXPECT_EQ(result.left_presses, 2u);
    EXPECT_EQ(GetClipboardSequenceNumber(), sequence); // reading copies nothing

    // An expansion that fails leaves the text as written, marker rule applied.
    const Expansion_result fallback = expand_text(
        [](Clipboard_text_source&, const std::wstring&) -> std::wstring {
            throw std::runtime_error("bad template");
        },
        L"a{|}bc");
    EXPECT_EQ(fallback.text, L"abc");
    EXPECT_EQ(fallback.left_presses, 2u);
}

} // namespace
