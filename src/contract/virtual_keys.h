// Facts about Windows virtual-key codes that the plug-in's listener and the
// host's keyboard hook both need.
#pragma once

#include "contract/host_interface.h"

#include <cstdint>

// Keys that change what other keys mean rather than type anything: Shift,
// Control and Alt (generic and sided), the Windows keys and Caps Lock.
constexpr bool is_modifier_key(std::uint32_t virtual_key) {
    switch (virtual_key) {
    case VK_SHIFT:
    case VK_LSHIFT:
    case VK_RSHIFT:
    case VK_CONTROL:
    case VK_LCONTROL:
    case VK_RCONTROL:
    case VK_MENU:
    case VK_LMENU:
    case VK_RMENU:
    case VK_LWIN:
    case VK_RWIN:
    case VK_CAPITAL:
        return true;
    default:
        return false;
    }
}
