#include "output/clipboard_handler.h"
#include "output/keypresser.h"
#include "output_test_support.h"
#include "tools/target_app/target_client.h"

#include <gtest/gtest.h>

using namespace Output_test;

namespace {

class KeypresserTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        target = new Target_app;
        // GetGUIThreadInfo of the foreground thread must succeed for keys to go out.
        ASSERT_TRUE(target->start());
        ASSERT_TRUE(target->activate());
    }
    static void TearDownTestSuite() {
        delete target;
        target = nullptr;
    }
    static Target_app* target;
};

Target_app* KeypresserTest::target = nullptr;

bool is_up(const Key_event& event) {
    return (event.flags & LLKHF_UP) != 0;
}
bool is_extended(const Key_event& event) {
    return (event.flags & LLKHF_EXTENDED) != 0;
}

TEST_F(KeypresserTest, ReleasesSixModifiersBeforeTheQueuedEvents) {
    Trace_capture trace;
    Key_recorder recorder(true);
    ASSERT_TRUE(recorder.installed());

    Keypresser keys;
    keys.key_down(VK_CONTROL);
    keys.key_down(VK_INSERT);
    keys.key_up(VK_INSERT);
    keys.key_up(VK_CONTROL);
    keys.execute(false);
    EXPECT_EQ(keys.queued(), 0u);
    ASSERT_TRUE(recorder.wait_for(10, 3000));
    wait_pumping(100); // nothing beyond the ten may follow
    const auto& events = recorder.events();
    ASSERT_EQ(events.size(), 10u);

    const DWORD released[] = {VK_RMENU, VK_LMENU, VK_RCONTROL, VK_LCONTROL, VK_RSHIFT, VK_LSHIFT};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(events[i].vk, released[i]);
        EXPECT_TRUE(is_up(events[i]));
        // Only the right-hand Control and Alt are extended keys.
        EXPECT_EQ(is_extended(events[i]), released[i] == VK_RMENU || released[i] == VK_RCONTROL);
    }
    EXPECT_EQ(events[6].vk, static_cast<DWORD>(VK_CONTROL));
    EXPECT_FALSE(is_up(events[6]));
    EXPECT_FALSE(is_extended(events[6]));
    EXPECT_EQ(events[7].vk, static_cast<DWORD>(VK_INSERT));
    EXPECT_FALSE(is_up(events[7]));
    EXPECT_TRUE(is_extended(events[7]));
    EXPECT_EQ(events[8].vk, static_cast<DWORD>(VK_INSERT));
    EXPECT_TRUE(is_up(events[8]));
    EXPECT_TRUE(is_extended(events[8]));
    EXPECT_EQ(events[9].vk, static_cast<DWORD>(VK_CONTROL));
    EXPECT_TRUE(is_up(events[9]));
    EXPECT_FALSE(is_extended(events[9]));
    EXPECT_EQ(events[7].scan, MapVirtualKeyW(VK_INSERT, MAPVK_VK_TO_VSC));

    // The line counts the caller's events, not the added releases.
    const auto lines = trace.texts("INF", "Keypresser::execute");
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "Sending 4 key events");
}

TEST_F(KeypresserTest, PasteKeysKeepModifiersAndCarryNoExtendedFlag) {
    Key_recorder recorder(true);
    ASSERT_TRUE(recorder.installed());
    Keypresser keys;
    keys.key_down(VK_CONTROL);
    keys.key_down('V');
    keys.key_up('V');
    keys.key_up(VK_CONTROL);
    keys.execute(true);
    ASSERT_TRUE(recorder.wait_for(4, 3000));
    wait_pumping(100);
    const auto& events = recorder.events();
    ASSERT_EQ(events.size(), 4u);
    const DWORD expected[] = {VK_CONTROL, 'V', 'V', VK_CONTROL};
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(events[i].vk, expected[i]);
        EXPECT_EQ(is_up(events[i]), i >= 2);
        EXPECT_FALSE(is_extended(events[i]));
    }
}

TEST_F(KeypresserTest, EmptyQueueSendsNothingAndWritesNothing) {
    Trace_capture trace;
    Key_recorder recorder(true);
    ASSERT_TRUE(recorder.installed());
    Keypresser keys;
    keys.execute(false);
    keys.execute(true);
    wait_pumping(200);
    EXPECT_TRUE(recorder.events().empty());
    EXPECT_TRUE(trace.texts("INF", "Keypresser::execute").empty());
    EXPECT_TRUE(trace.texts("ERR", "Keypresser::execute").empty());
}

TEST(KeypresserRules, ExtendedFlagOnlyForTheNavigationAndRightHandKeys) {
    const std::uint16_t extended[] = {VK_PRIOR,  VK_NEXT,   VK_END,     VK_HOME,     VK_LEFT,
                                      VK_UP,     VK_RIGHT,  VK_DOWN,    0x2A,        VK_INSERT,
                                      VK_DELETE, VK_DIVIDE, VK_NUMLOCK, VK_RCONTROL, VK_RMENU};
    for (std::uint16_t key : extended) {
        SCOPED_TRACE(key);
        EXPECT_EQ(Keypresser::make_event(key, 0).ki.dwFlags, Keypresser::flag_extended);
    }
    const std::uint16_t plain[] = {VK_CONTROL, VK_MENU,     VK_SHIFT, 'V',       'C',
                                   VK_RETURN,  VK_LCONTROL, VK_LMENU, VK_RSHIFT, 0x20,
                                   0x29,       0x2B,        0x2C,     0x2F,      VK_MULTIPLY};
    for (std::uint16_t key : plain) {
        SCOPED_TRACE(key);
        EXPECT_EQ(Keypresser::make_event(key, Keypresser::flag_key_up).ki.dwFlags,
                  Keypresser::flag_key_up);
    }
    // The Unicode path carries the character as scan code and no key.
    const INPUT unicode = Keypresser::make_event(0x263A, Keypresser::flag_unicode);
    EXPECT_EQ(unicode.ki.wVk, 0);
    EXPECT_EQ(unicode.ki.wScan, 0x263A);
    EXPECT_EQ(unicode.ki.dwFlags, Keypresser::flag_unicode);
    EXPECT_EQ(unicode.ki.time, 12u);
    EXPECT_EQ(Keypresser::make_event('V', 0).ki.time, 12u);
}

} // namespace
