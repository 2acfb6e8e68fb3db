#include "output/clipboard_handler.h"
#include "output/keypresser.h"
#include "output_test_support.h"
#include "target_app_test.h"

#include <gtest/gtest.h>

using namespace Output_test;

namespace {

class KeypresserTest : public Target_app_test {
protected:
    // Sends the queue (GetGUIThreadInfo of the foreground thread must succeed
    // for keys to go out) and compares what arrived, and that nothing followed:
    // per key its code, released ('1') or pressed, extended ('1') or not.
    void expect_sent(Keypresser& keys, bool paste, const std::vector<DWORD>& expected,
                     const std::string& up, const std::string& extended) {
        ASSERT_TRUE(target->activate());
        Key_recorder recorder(true);
        ASSERT_TRUE(recorder.installed());
        keys.execute(paste);
        EXPECT_EQ(keys.queued(), 0u);
        recorder.wait_for(expected.size(), 3000);
        wait_pumping(100);
        const auto& events = recorder.events();
        ASSERT_EQ(events.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i) {
            EXPECT_EQ(events[i].vk, expected[i]) << i;
            EXPECT_EQ((events[i].flags & LLKHF_UP) != 0, up[i] == '1') << i;
            EXPECT_EQ((events[i].flags & LLKHF_EXTENDED) != 0, extended[i] == '1') << i;
        }
    }
};

TEST_F(KeypresserTest, ReleasesSixModifiersBeforeTheQueuedEventsExceptForAPaste) {
    Keypresser keys;
    keys.key_down(VK_CONTROL);
    keys.key_down(VK_INSERT);
    keys.key_up(VK_INSERT);
    keys.key_up(VK_CONTROL);
    // Only the right-hand Control and Alt, and Insert, are extended keys.
    expect_sent(keys, false,
                {VK_RMENU, VK_LMENU, VK_RCONTROL, VK_LCONTROL, VK_RSHIFT, VK_LSHIFT, VK_CONTROL,
                 VK_INSERT, VK_INSERT, VK_CONTROL},
                "1111110011", "1010000110");

    keys.key_down(VK_CONTROL);
    keys.key_down('V');
    keys.key_up('V');
    keys.key_up(VK_CONTROL);
    expect_sent(keys, true, {VK_CONTROL, 'V', 'V', VK_CONTROL}, "0011", "0000");
    expect_sent(keys, false, {}, "", ""); // an empty queue sends nothing
}

TEST(KeypresserRules, ExtendedFlagOnlyForTheNavigationAndRightHandKeys) {
    for (std::uint16_t key : std::initializer_list<std::uint16_t>{
             VK_PRIOR, VK_NEXT, VK_END, VK_HOME, VK_LEFT, VK_UP, VK_RIGHT, VK_DOWN, 0x2A, VK_INSERT,
             VK_DELETE, VK_DIVIDE, VK_NUMLOCK, VK_RCONTROL, VK_RMENU})
        EXPECT_EQ(Keypresser::make_event(key, 0).ki.dwFlags, Keypresser::flag_extended) << key;
    for (std::uint16_t key : std::initializer_list<std::uint16_t>{
             VK_CONTROL, VK_MENU, VK_SHIFT, 'V', 'C', VK_RETURN, VK_LCONTROL, VK_LMENU, VK_RSHIFT,
             0x20, 0x29, 0x2B, 0x2C, 0x2F, VK_MULTIPLY})
        EXPECT_EQ(Keypresser::make_event(key, Keypresser::flag_key_up).ki.dwFlags,
                  Keypresser::flag_key_up)
            << key;
    // The Unicode path carries the character as scan code and no key.
    const INPUT unicode = Keypresser::make_event(0x263A, Keypresser::flag_unicode);
    EXPECT_EQ(unicode.ki.wVk, 0);
    EXPECT_EQ(unicode.ki.wScan, 0x263A);
    EXPECT_EQ(unicode.ki.dwFlags, Keypresser::flag_unicode);
}

} // namespace
