// Key codes: the 32-bit combination code that bindings are keyed by.
//   bits 0-7   virtual key of the main key
//   bit 8      Shift, bit 9 Control, bit 10 Alt (AltGr sets 9 and 10)
//   bit 16     direct binding (works without the activation key)
// 0xFFFF in the low 16 bits stands for "no combination".
#pragma once

#include <cstdint>

namespace Key_code {

constexpr std::uint32_t virtual_key_mask = 0xFFu;
constexpr std::uint32_t shift = 0x100u;
constexpr std::uint32_t control = 0x200u;
constexpr std::uint32_t alt = 0x400u;
constexpr std::uint32_t direct = 0x10000u;
constexpr std::uint32_t low_mask = 0xFFFFu;
constexpr std::uint32_t none = 0xFFFFu;

// The host's key value: virtual key in bits 0-15, its modifier flags above.
namespace Host_flag {
constexpr std::uint32_t left_shift = 0x01000000u;
constexpr std::uint32_t right_shift = 0x02000000u;
constexpr std::uint32_t left_control = 0x04000000u;
constexpr std::uint32_t right_control = 0x08000000u;
constexpr std::uint32_t shift = 0x10000000u;
constexpr std::uint32_t right_alt = 0x20000000u;
constexpr std::uint32_t alt = 0x40000000u;
constexpr std::uint32_t control = 0x80000000u;
} // namespace Host_flag

constexpr bool is_none(std::uint32_t code) {
    return (code & low_mask) == none;
}
constexpr bool is_direct(std::uint32_t code) {
    return (code & direct) != 0;
}
constexpr std::uint32_t virtual_key(std::uint32_t code) {
    return code & virtual_key_mask;
}

// The host reports a modifier key pressed on its own without its own flag;
// this adds it, so that right Shift alone gives 0x1A1 like any Shift+key.
std::uint32_t with_own_modifier_flag(std::uint32_t host_value);

// The activation-key code for a host key value (bits 16-31 are 0). False
// when the virtual key does not fit in a byte: such a value is no key, and
// letting it through would alias a key with modifiers (0x141 is Shift+A).
bool from_host_value(std::uint32_t host_value, std::uint32_t& code);

// The code the keyboard listener compares, from a virtual key and the host's
// modifier state bits (0 Shift, 3 Control, 6 Alt).
std::uint32_t from_listener_event(std::uint32_t virtual_key, unsigned int modifiers);

} // namespace Key_code
