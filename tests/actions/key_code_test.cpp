#include "actions/key_code.h"

#include "contract/host_interface.h"

#include <gtest/gtest.h>

namespace {

std::uint32_t code_of(std::uint32_t host_value) {
    std::uint32_t code = 0;
    EXPECT_TRUE(Key_code::from_host_value(host_value, code)) << std::hex << host_value;
    return code;
}

} // namespace

TEST(Key_code, host_values_map_to_exact_codes) {
    EXPECT_EQ(code_of(0x41), 0x41u);
    // Only the summary flags count: left Shift (bit 24) alone is no Shift.
    EXPECT_EQ(code_of(0x41 | 0x10000000u), 0x141u);
    EXPECT_EQ(code_of(0x41 | 0x01000000u), 0x41u);
    EXPECT_EQ(code_of(0x41 | 0x80000000u), 0x241u);
    EXPECT_EQ(code_of(0x41 | 0x40000000u), 0x441u);
    EXPECT_EQ(code_of(0x41 | 0x20000000u), 0x441u);
    // AltGr: Control and right Alt.
    EXPECT_EQ(code_of(0x45 | 0x80000000u | 0x20000000u | 0x04000000u), 0x645u);
    EXPECT_EQ(code_of(0x41 | 0xFF000000u), 0x741u);
    // No bit above 10 ever leaks into the code.
    EXPECT_EQ(code_of(0xFE | 0xFF000000u) & ~0x7FFu, 0u);
}

TEST(Key_code, modifier_keys_pressed_alone_carry_their_own_flag) {
    EXPECT_EQ(code_of(VK_RSHIFT), 0x1A1u);
    EXPECT_EQ(code_of(VK_LSHIFT), 0x1A0u);
    EXPECT_EQ(code_of(VK_SHIFT), 0x110u);
    EXPECT_EQ(code_of(VK_LCONTROL), 0x2A2u);
    EXPECT_EQ(code_of(VK_RCONTROL), 0x2A3u);
    EXPECT_EQ(code_of(VK_CONTROL), 0x211u);
    EXPECT_EQ(code_of(VK_MENU), 0x412u);
    EXPECT_EQ(code_of(VK_LMENU), 0x4A4u);
    EXPECT_EQ(code_of(VK_RMENU), 0x4A5u);
    EXPECT_EQ(Key_code::with_own_modifier_flag(VK_RSHIFT), 0x12000000u | VK_RSHIFT);
    EXPECT_EQ(Key_code::with_own_modifier_flag(VK_RCONTROL), 0x88000000u | VK_RCONTROL);
    EXPECT_EQ(Key_code::with_own_modifier_flag(VK_LCONTROL), 0x84000000u | VK_LCONTROL);
    EXPECT_EQ(Key_code::with_own_modifier_flag('A'), static_cast<std::uint32_t>('A'));
}

TEST(Key_code, virtual_keys_beyond_a_byte_are_refused) {
    std::uint32_t code = 1;
    // 0x141 as a "virtual key" would otherwise read as Shift+A.
    EXPECT_FALSE(Key_code::from_host_value(0x141, code));
    EXPECT_EQ(code, Key_code::none);
    EXPECT_FALSE(Key_code::from_host_value(0xFFFF, code));
    EXPECT_TRUE(Key_code::from_host_value(0xFF, code));
    EXPECT_EQ(code, 0xFFu);
}

TEST(Key_code, listener_modifier_bits) {
    EXPECT_EQ(Key_code::from_listener_event(0x41, 0), 0x41u);
    EXPECT_EQ(Key_code::from_listener_event(0x41, listener_shift), 0x141u);
    EXPECT_EQ(Key_code::from_listener_event(0x41, listener_control), 0x241u);
    EXPECT_EQ(Key_code::from_listener_event(0x41, listener_alt), 0x441u);
    EXPECT_EQ(Key_code::from_listener_event(0x41, 0xFFFFFFFFu), 0x741u);
    // Bits other than 0, 3 and 6 mean nothing.
    EXPECT_EQ(Key_code::from_listener_event(0x41, 0x2 | 0x4 | 0x10 | 0x20 | 0x80), 0x41u);
    EXPECT_TRUE(Key_code::is_none(0x1FFFF));
    EXPECT_FALSE(Key_code::is_none(0xFFFE));
    EXPECT_TRUE(Key_code::is_direct(0x10241));
}
