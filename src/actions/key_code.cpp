#include "actions/key_code.h"

#include "contract/host_interface.h"

namespace Key_code {

std::uint32_t with_own_modifier_flag(std::uint32_t host_value) {
    switch (host_value & 0xFFFFu) {
    case VK_SHIFT:
    case VK_LSHIFT:
        return host_value | Host_flag::shift | Host_flag::left_shift;
    case VK_RSHIFT:
        return host_value | Host_flag::shift | Host_flag::right_shift;
    case VK_MENU:
    case VK_LMENU:
        return host_value | Host_flag::alt;
    case VK_RMENU:
        return host_value | Host_flag::right_alt;
    case VK_CONTROL:
    case VK_LCONTROL:
        return host_value | Host_flag::control | Host_flag::left_control;
    case VK_RCONTROL:
        return host_value | Host_flag::control | Host_flag::right_control;
    default:
        return host_value;
    }
}

bool from_host_value(std::uint32_t host_value, std::uint32_t& code) {
    std::uint32_t value = with_own_modifier_flag(host_value);
    std::uint32_t key = value & 0xFFFFu;
    if (key > virtual_key_mask) {
        code = none;
        return false;
    }
    code = key;
    if (value & Host_flag::shift)
        code |= shift;
    if (value & Host_flag::control)
        code |= control;
    if (value & (Host_flag::alt | Host_flag::right_alt))
        code |= alt;
    return true;
}

std::uint32_t from_listener_event(std::uint32_t virtual_key, unsigned int modifiers) {
    std::uint32_t code = virtual_key;
    if (modifiers & listener_shift)
        code |= shift;
    if (modifiers & listener_control)
        code |= control;
    if (modifiers & listener_alt)
        code |= alt;
    return code;
}

} // namespace Key_code
