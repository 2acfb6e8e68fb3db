#include "actions/key_code.h"

#include "contract/host_interface.h"

#include <gtest/gtest.h>

TEST(Key_code, host_values_and_listener_events_map_to_exact_codes) {
    // {host value, key code}: only the summary flags count (left Shift, bit
    // 24, alone is no Shift); modifier keys alone carry their own flag.
    // clang-format off
    const std::pair<std::uint32_t, std::uint32_t> host_cases[] = {
        {0x41, 0x41}, {0x41 | 0x10000000u, 0x141}, {0x41 | 0x01000000u, 0x41},
        {0x41 | 0x80000000u, 0x241}, {0x41 | 0x40000000u, 0x441}, {0x41 | 0x20000000u, 0x441},
        {0x45 | 0xA4000000u, 0x645}, {0x41 | 0xFF000000u, 0x741}, {0xFE | 0xFF000000u, 0x7FE},
        {VK_RSHIFT, 0x1A1}, {VK_LSHIFT, 0x1A0}, {VK_SHIFT, 0x110},
        {VK_LCONTROL, 0x2A2}, {VK_RCONTROL, 0x2A3}, {VK_CONTROL, 0x211},
        {VK_MENU, 0x412}, {VK_LMENU, 0x4A4}, {VK_RMENU, 0x4A5}, {0xFF, 0xFF}};
    // clang-format on
    for (auto [value, expected] : host_cases) {
        std::uint32_t code = 0;
        EXPECT_TRUE(Key_code::from_host_value(value, code)) << std::hex << value;
        EXPECT_EQ(code, expected) << std::hex << value;
    }
    // A "virtual key" beyond a byte (0x141 would read as Shift+A) is refused.
    for (std::uint32_t value : {0x141u, 0xFFFFu}) {
        std::uint32_t code = 1;
        EXPECT_FALSE(Key_code::from_host_value(value, code));
        EXPECT_EQ(code, Key_code::none);
    }
    EXPECT_EQ(Key_code::with_own_modifier_flag(VK_RSHIFT), 0x12000000u | VK_RSHIFT);
    EXPECT_EQ(Key_code::with_own_modifier_flag(VK_RCONTROL), 0x88000000u | VK_RCONTROL);
    EXPECT_EQ(Key_code::with_own_modifier_flag('A'), static_cast<std::uint32_t>('A'));

    // Listener modifier bits 0, 3 and 6; the others mean nothing.
    // clang-format off
    const std::pair<unsigned, std::uint32_t> listener_cases[] = {
        {0, 0x41}, {listener_shift, 0x141}, {listener_control, 0x241}, {listener_alt, 0x441},
        {0xFFFFFFFFu, 0x741}, {0x2 | 0x4 | 0x10 | 0x20 | 0x80, 0x41}};
    // clang-format on
    for (auto [modifiers, expected] : listener_cases)
        EXPECT_EQ(Key_code::from_listener_event(0x41, modifiers), expected) << modifiers;
    EXPECT_TRUE(Key_code::is_none(0x1FFFF));
    EXPECT_FALSE(Key_code::is_none(0xFFFE));
    EXPECT_TRUE(Key_code::is_direct(0x10241));
}
